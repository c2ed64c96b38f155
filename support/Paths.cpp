#include "support/Paths.h"

#include <windows.h>

#include <vector>

#include "support/TextEdit.h"

namespace {

const wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kDevicePrefix[] = L"\\\\.\\";

}  // namespace

std::wstring GetFullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
    if (length == 0 || length > needed) return std::wstring();
    return std::wstring(buffer.data(), length);
}

std::wstring LongPathForm(const std::wstring& path)
{
    if (StartsWith(path, kExtendedPrefix) || StartsWith(path, kDevicePrefix)) return path;
    // Cheap for the usual short path; a relative one is measured by its full path, as the system
    // measures it.
    const std::wstring full = GetFullPath(path);
    if (full.size() < MAX_PATH) return path;
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return kExtendedPrefix + full;
    if (StartsWith(full, L"\\\\")) return kExtendedUncPrefix + full.substr(2);
    return path;
}

std::wstring PlainPathForm(const std::wstring& path)
{
    if (StartsWith(path, kExtendedUncPrefix)) return L"\\\\" + path.substr((sizeof kExtendedUncPrefix / sizeof(wchar_t) - 1));
    if (StartsWith(path, kExtendedPrefix)) return path.substr((sizeof kExtendedPrefix / sizeof(wchar_t) - 1));
    return path;
}

std::wstring DirectoryOfPath(const std::wstring& path)
{
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return path;
    return path.substr(0, slash + 1);
}

std::wstring WithTrailingBackslash(const std::wstring& folder)
{
    if (folder.empty() || folder.back() == L'\\') return folder;
    return folder + L'\\';
}

bool IsPathSeparator(wchar_t unit)
{
    return unit == L'\\' || unit == L'/';
}

std::wstring WithoutTrailingBackslash(std::wstring folder)
{
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

bool SameFolder(const std::wstring& a, const std::wstring& b)
{
    return CompareNoCase(WithoutTrailingBackslash(a), WithoutTrailingBackslash(b)) == 0;
}

bool IsInFolder(const std::wstring& path, const std::wstring& folder)
{
    const std::wstring inside = WithTrailingBackslash(path);
    const std::wstring prefix = WithTrailingBackslash(folder);
    return inside.size() >= prefix.size() && CompareNoCase(inside.substr(0, prefix.size()), prefix) == 0;
}

std::wstring VirtualStorePathFor(const std::wstring& path, const StringList& virtualizedFolders,
                                 const std::wstring& localAppData)
{
    // Only a path from a drive's root: the VirtualStore holds it below the drive's name.
    if (localAppData.empty() || path.size() < 3 || path[1] != L':' || path[2] != L'\\') return std::wstring();
    for (const std::wstring& folder : virtualizedFolders) {
        if (!folder.empty() && IsInFolder(path, folder)) {
            return WithTrailingBackslash(localAppData) + L"VirtualStore" + path.substr(2);
        }
    }
    return std::wstring();
}
