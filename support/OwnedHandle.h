#pragma once
// A system handle that closes itself when it goes: a file, process, token or mutex (CloseHandle),
// a registry key (RegCloseKey), a file search (FindClose), a loaded module (FreeLibrary), a menu
// (DestroyMenu), a GDI object (DeleteObject) or the screen's device context (ReleaseDC). Moved,
// never copied; the one place where any of these is freed.

#include <windows.h>

#include <utility>

template <typename Type, Type (*Invalid)(), bool (*Closer)(Type)>
class COwnedHandle {
public:
    COwnedHandle() = default;
    explicit COwnedHandle(Type handle) : handle_(handle) {}
    ~COwnedHandle() { Close(); }
    COwnedHandle(const COwnedHandle&) = delete;
    COwnedHandle& operator=(const COwnedHandle&) = delete;
    COwnedHandle(COwnedHandle&& other) noexcept : handle_(other.Release()) {}
    COwnedHandle& operator=(COwnedHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Type Get() const { return handle_; }
    bool IsValid() const { return handle_ != Invalid(); }
    // Closes what is held and takes handle.
    void Reset(Type handle = Invalid())
    {
        Close();
        handle_ = handle;
    }
    // Closes the handle now; false, with the reason in GetLastError(), when the system refuses.
    bool Close() { return !IsValid() || Closer(Release()); }
    Type Release() { return std::exchange(handle_, Invalid()); }

private:
    Type handle_ = Invalid();
};

namespace owned_handle {
inline HANDLE NoFile() { return INVALID_HANDLE_VALUE; }
inline HANDLE NoObject() { return nullptr; }
inline HKEY NoKey() { return nullptr; }
inline bool CloseObject(HANDLE handle) { return CloseHandle(handle) != FALSE; }
inline bool CloseSearch(HANDLE handle) { return FindClose(handle) != FALSE; }
inline HMODULE NoModule() { return nullptr; }
inline HMENU NoMenu() { return nullptr; }
inline HGDIOBJ NoGdiObject() { return nullptr; }
inline HDC NoDc() { return nullptr; }
inline bool UnloadModule(HMODULE module) { return FreeLibrary(module) != FALSE; }
inline bool FreeMenu(HMENU menu) { return DestroyMenu(menu) != FALSE; }
inline bool FreeGdiObject(HGDIOBJ object) { return DeleteObject(object) != FALSE; }
inline bool ReleaseScreenDc(HDC dc) { return ReleaseDC(nullptr, dc) != 0; }
inline bool CloseKey(HKEY key)
{
    const LONG status = RegCloseKey(key);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}
} // namespace owned_handle

// Files, which CreateFileW gives as INVALID_HANDLE_VALUE when it fails.
using CFileHandle = COwnedHandle<HANDLE, owned_handle::NoFile, owned_handle::CloseObject>;
// Processes, threads, tokens and mutexes, which are null when there is none.
using CKernelHandle = COwnedHandle<HANDLE, owned_handle::NoObject, owned_handle::CloseObject>;
using CRegistryHandle = COwnedHandle<HKEY, owned_handle::NoKey, owned_handle::CloseKey>;
using CFindHandle = COwnedHandle<HANDLE, owned_handle::NoFile, owned_handle::CloseSearch>;
using CModuleHandle = COwnedHandle<HMODULE, owned_handle::NoModule, owned_handle::UnloadModule>;
using CMenuHandle = COwnedHandle<HMENU, owned_handle::NoMenu, owned_handle::FreeMenu>;
using CGdiObject = COwnedHandle<HGDIOBJ, owned_handle::NoGdiObject, owned_handle::FreeGdiObject>;
// GetDC(nullptr), the whole screen's.
using CScreenDc = COwnedHandle<HDC, owned_handle::NoDc, owned_handle::ReleaseScreenDc>;
