#pragma once
// Saves of one script take turns. Every instance of the program, for a quick add as for the
// dialog's Save, holds the turn from the read that precedes the save through the replace of the
// file. Without it two instances read the same script, each adds its line and replaces the file,
// and the later replace drops the line of the earlier one.
//
// The turn is an exclusive byte-range lock (LockFileEx) on a hidden file beside the script,
// kCompanionName. File servers honour such locks for all their clients, so the instances of
// every session and of every PC that reaches the folder take turns, whatever spelling of the
// path each uses: the file system resolves the name. The system drops the lock when its handle
// closes, the holder ends or its connection is lost, so no lock outlives a crash. The file is
// kept once made: deleting it while another instance opens it would give two turns. Its name
// does not end in ".js": Opera loads every "*.js" of the folder.

#include <windows.h>

#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"

class CScriptSaveLock {
public:
    // How long a save waits for the save of another instance to end.
    static constexpr DWORD kWaitMs = 10000;
    static constexpr const wchar_t* kCompanionName = L"Morvanti.lock";

    CScriptSaveLock() = default;
    ~CScriptSaveLock() = default;
    CScriptSaveLock(const CScriptSaveLock&) = delete;
    CScriptSaveLock& operator=(const CScriptSaveLock&) = delete;

    // Waits at most waitMs for the turn of the script at path (a relative path is taken from the
    // current directory). The scripts of one folder share their turn. False, with the reason in
    // Error(), when the turn does not come in time (ERROR_TIMEOUT) or the companion file cannot
    // be opened or made (a folder that refuses new files refuses the save's new file too). True
    // with nothing held where no script on a disk is (a missing file, a folder, a device): the
    // read that follows fails, and nothing is saved.
    bool Acquire(const std::wstring& path, DWORD waitMs = kWaitMs);
    // Lets the next save have its turn; nothing when none is held.
    void Release();
    bool IsHeld() const { return file_.IsValid(); }
    const CLastError& Error() const { return error_; }

private:
    CFileHandle file_;
    CLastError error_;
};
