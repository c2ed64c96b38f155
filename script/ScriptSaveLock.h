#pragma once
// Saves of one script take turns. Every instance of the program, for a quick add as for the
// dialog's Save, holds the script's named mutex from the read that precedes the save through
// the replace of the file. Without it two instances read the same script, each adds its line and
// replaces the file, and the later replace drops the line of the earlier one.

#include <windows.h>

#include <string>

#include "support/LastError.h"

class CScriptSaveLock {
public:
    // How long a save waits for the save of another instance to end.
    static constexpr DWORD kWaitMs = 10000;

    CScriptSaveLock() = default;
    ~CScriptSaveLock() { Release(); }
    CScriptSaveLock(const CScriptSaveLock&) = delete;
    CScriptSaveLock& operator=(const CScriptSaveLock&) = delete;

    // Waits at most waitMs for the turn of the script at path (the path the script is opened
    // under; a relative one is taken from the current directory). An instance that ended while
    // it held the turn leaves it to the next one: its save replaced the file whole or not at all.
    // False, with the reason in Error(), when the turn does not come in time (ERROR_TIMEOUT)
    // or the system gives no mutex.
    bool Acquire(const std::wstring& path, DWORD waitMs = kWaitMs);
    // Lets the next save have its turn; nothing when none is held.
    void Release();
    bool IsHeld() const { return mutex_ != nullptr; }
    const CLastError& Error() const { return error_; }

    // The mutex name for a script: made of its ScriptIdentity, so the same for every spelling of
    // the script's path; a hash of it where the path is too long for a name.
    static std::wstring MutexName(const std::wstring& path);

private:
    HANDLE mutex_ = nullptr;
    CLastError error_;
};
