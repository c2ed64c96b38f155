#include "script/ScriptSaveLock.h"

#include <cstdint>

#include "script/ScriptIdentity.h"

namespace {

// In the session's namespace: the instances that edit one user's script run in that user's
// session.
const wchar_t kNamePrefix[] = L"Local\\Morvanti.ScriptSave:";
const wchar_t kHashedNamePrefix[] = L"Local\\Morvanti.ScriptSave#";

// 64-bit FNV-1a over the UTF-16 units: two different scripts that ever shared a hashed name
// would only take turns where they need not.
uint64_t HashOf(const std::wstring& text)
{
    uint64_t hash = 0xCBF29CE484222325ULL;
    for (wchar_t unit : text) {
        hash ^= static_cast<uint64_t>(unit & 0xFF);
        hash *= 0x100000001B3ULL;
        hash ^= static_cast<uint64_t>(unit >> 8);
        hash *= 0x100000001B3ULL;
    }
    return hash;
}

} // namespace

std::wstring CScriptSaveLock::MutexName(const std::wstring& path)
{
    std::wstring folded = ScriptIdentity(path);
    // A backslash would name a namespace; no file name holds a slash, so the swap loses nothing.
    for (wchar_t& unit : folded) {
        if (unit == L'\\') unit = L'/';
    }
    std::wstring name = kNamePrefix + folded;
    // Object names are limited to MAX_PATH characters.
    if (name.size() < MAX_PATH) return name;
    const wchar_t digits[] = L"0123456789ABCDEF";
    const uint64_t hash = HashOf(folded);
    std::wstring hashed = kHashedNamePrefix;
    for (int shift = 60; shift >= 0; shift -= 4) hashed += digits[(hash >> shift) & 0xF];
    return hashed;
}

bool CScriptSaveLock::Acquire(const std::wstring& path, DWORD waitMs)
{
    Release();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName(path).c_str());
    if (mutex == nullptr) {
        error_.SetErrorFromLastError();
        return false;
    }
    const DWORD waited = WaitForSingleObject(mutex, waitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        mutex_ = mutex;
        error_.ClearError();
        return true;
    }
    if (waited == WAIT_TIMEOUT) {
        error_.SetErrorFromCode(ERROR_TIMEOUT);
    } else {
        error_.SetErrorFromLastError();
    }
    CloseHandle(mutex);
    return false;
}

void CScriptSaveLock::Release()
{
    if (mutex_ == nullptr) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
    mutex_ = nullptr;
}
