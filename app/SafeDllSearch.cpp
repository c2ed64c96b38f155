#include "app/SafeDllSearch.h"

#include <cstddef>

namespace {

// Both flags date from KB2533623; LoadLibraryExW rejects them with ERROR_INVALID_PARAMETER on a
// system without it.
const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

bool RestrictDllSearch()
{
    // An empty string removes the current folder from the search; it is done first because it
    // works on every supported system.
    SetDllDirectoryW(L"");
    // Resolved at run time: a static import of SetDefaultDllDirectories would keep the program
    // from starting at all on a Windows 7 without the update.
    const SetDefaultDllDirectoriesFn setDefault =
        FindFunction<SetDefaultDllDirectoriesFn>(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault == nullptr) return false;
    return setDefault(kSearchSystem32) != FALSE;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName)
{
    HMODULE module = LoadLibraryExW(fileName, nullptr, kSearchSystem32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A system without the search flags: name the file in System32 in full.
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::size_t at = length;
    if (path[at - 1] != L'\\') path[at++] = L'\\';
    for (const wchar_t* c = fileName; *c != L'\0'; ++c) {
        if (at + 1 >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
        path[at++] = *c;
    }
    path[at] = L'\0';
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
