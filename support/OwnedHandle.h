#pragma once
// A system handle that closes itself when it goes: a file, process, token or mutex (CloseHandle),
// a registry key (RegCloseKey) or a file search (FindClose). Moved, never copied; the one place
// where any of these is closed.

#include <windows.h>

#include <utility>

template <typename Traits>
class COwnedHandle {
public:
    using Type = typename Traits::Type;

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
    bool IsValid() const { return handle_ != Traits::Invalid(); }
    // Closes what is held and takes handle.
    void Reset(Type handle = Traits::Invalid())
    {
        Close();
        handle_ = handle;
    }
    // Closes the handle now; false, with the reason in GetLastError(), when the system refuses.
    bool Close()
    {
        if (!IsValid()) return true;
        const bool closed = Traits::Close(handle_);
        handle_ = Traits::Invalid();
        return closed;
    }
    Type Release() { return std::exchange(handle_, Traits::Invalid()); }

private:
    Type handle_ = Traits::Invalid();
};

// Files, which CreateFileW gives as INVALID_HANDLE_VALUE when it fails.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type handle) { return CloseHandle(handle) != FALSE; }
};
// Processes, threads, tokens and mutexes, which are null when there is none.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type handle) { return CloseHandle(handle) != FALSE; }
};
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool Close(Type key)
    {
        const LONG status = RegCloseKey(key);
        SetLastError(static_cast<DWORD>(status));
        return status == ERROR_SUCCESS;
    }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type handle) { return FindClose(handle) != FALSE; }
};

using CFileHandle = COwnedHandle<FileHandleTraits>;
using CKernelHandle = COwnedHandle<KernelHandleTraits>;
using CRegistryHandle = COwnedHandle<RegistryKeyTraits>;
using CFindHandle = COwnedHandle<FindHandleTraits>;
