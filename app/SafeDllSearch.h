// Keeps the loader from picking up DLLs planted beside the program or in the current folder.
#pragma once

#include <windows.h>

// Limits the default DLL search of later LoadLibrary calls to System32 where the system allows
// it (Windows 8, or Windows 7 and Vista with update KB2533623) and takes the current folder out
// of the search on every system. Call it first in wWinMain, before anything loads a DLL.
// Returns false when System32-only search could not be set (the current folder is still dropped
// whenever SetDllDirectoryW succeeds).
bool RestrictDllSearch();

// Loads a system DLL from System32 only, never from the program's folder: the way to use a DLL
// such as version.dll that must not be imported statically (a static import is resolved before
// wWinMain runs, with the program's folder searched first). Returns nullptr on failure, with
// GetLastError set.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

// The function that module exports under name, as the function type Fn; nullptr when it has
// none. For functions of DLLs loaded at run time, and of newer systems only.
template <typename Fn>
Fn FindFunction(HMODULE module, const char* name)
{
    const FARPROC proc = module == nullptr ? nullptr : GetProcAddress(module, name);
    // Through void(*)(): a direct cast from FARPROC to the real signature draws a warning.
    return proc == nullptr ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}
