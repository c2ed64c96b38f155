#pragma once
// A system handle that closes itself when it goes: a file, process, token or mutex (CloseHandle),
// a registry key (RegCloseKey) or a file search (FindClose). Moved, never copied; the one place
// where any of these is closed.

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
