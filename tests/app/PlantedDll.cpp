// A system DLL as someone might plant it beside the program or in the current folder (built as
// version.dll, copied under other names). When it is loaded it leaves a file NAME.loaded beside
// itself (NAME: its own file name), and as version.dll it reports no version.

#include <windows.h>

namespace {

void LeaveMark(HMODULE self)
{
    wchar_t path[MAX_PATH + 32] = {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcpyW(path + length, L".loaded");
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) LeaveMark(instance);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD handle)
{
    if (handle != nullptr) *handle = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

extern "C" __declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID)
{
    return FALSE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT)
{
    return FALSE;
}
