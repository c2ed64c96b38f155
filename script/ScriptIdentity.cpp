#include "script/ScriptIdentity.h"

#include <windows.h>

#include <vector>

#include "support/Paths.h"

namespace {

// The path as the program opens it, made full, in its plain form, with short names expanded
// (GetLongPathNameW, which needs the file to exist; otherwise the full path stays).
std::wstring ResolvedPath(const std::wstring& path)
{
    std::wstring full = GetFullPath(path);
    if (full.empty()) full = path;
    const std::wstring openable = LongPathForm(full);
    const DWORD needed = GetLongPathNameW(openable.c_str(), nullptr, 0);
    if (needed != 0) {
        std::vector<wchar_t> buffer(needed + 1, L'\0');
        const DWORD length = GetLongPathNameW(openable.c_str(), buffer.data(), needed + 1);
        if (length != 0 && length <= needed) full.assign(buffer.data(), length);
    }
    return PlainPathForm(full);
}

// Upper case by the system's own table, the one CompareStringOrdinal ignores case with (and the
// file system too); not by any language's rules.
std::wstring UpperCaseOrdinal(const std::wstring& text)
{
    if (text.empty()) return text;
    const int size = static_cast<int>(text.size());
    std::wstring upper(text.size(), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), size, &upper[0], size, nullptr,
                      nullptr, 0) != size) {
        return std::wstring();
    }
    return upper;
}

} // namespace

std::wstring ScriptIdentity(const std::wstring& path)
{
    return UpperCaseOrdinal(ResolvedPath(path));
}
