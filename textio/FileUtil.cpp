#include "textio/FileUtil.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "textio/TextFile.h"

std::wstring GetFullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
    if (length == 0 || length > needed) return std::wstring();
    return std::wstring(buffer.data(), length);
}

namespace {

const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kDevicePrefix[] = L"\\\\.\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

} // namespace

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
    if (StartsWith(path, kExtendedUncPrefix)) return L"\\\\" + path.substr(wcslen(kExtendedUncPrefix));
    if (StartsWith(path, kExtendedPrefix)) return path.substr(wcslen(kExtendedPrefix));
    return path;
}

bool RemoveFile(const std::wstring& path, CLastError& error)
{
    error.ClearError();
    if (DeleteFileW(LongPathForm(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    error.SetErrorFromLastError();
    return false;
}

bool CopyFileContents(const std::wstring& source, const std::wstring& destination, bool overwrite,
                      CLastError& error)
{
    if (!overwrite && FileExists(destination)) return true;
    std::ifstream in(std::filesystem::path(LongPathForm(source)), std::ios_base::in | std::ios_base::binary);
    if (!in.is_open()) {
        error.SetErrorFromLastError();
        return false;
    }
    std::ofstream out(std::filesystem::path(LongPathForm(destination)),
                      std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
    if (!out.is_open()) {
        error.SetErrorFromLastError();
        return false;
    }
    char chunk[4096];
    for (;;) {
        in.read(chunk, sizeof chunk);
        std::streamsize got = in.gcount();
        if (got > 0) out.write(chunk, got);
        if (out.fail() || in.bad()) break;
        if (in.eof()) {
            out.close();
            if (!out.fail()) return true;
            break;
        }
    }
    error.SetErrorFromLastError();
    return false;
}
