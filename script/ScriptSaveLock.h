#pragma once
// Saves of one script take turns, in every instance of the program (a quick add as the dialog's
// Save), from the read that precedes the save through the replace of the file. Without it two
// instances read the same script, each adds its line and replaces the file, and the later replace
// drops the line of the earlier one.
//
// The turn is an exclusive byte-range lock (LockFileEx) on a hidden file, kCompanionName, beside
// the file the script's path names (links followed: every name of one script, and every profile
// that links it, takes its turn in one place), and one on a byte of the script itself, far beyond
// its end. File servers honour such locks for all their clients, so the instances of every session
// and of every PC that reaches the folder take turns, whatever spelling of the path each uses: the
// file system resolves the name. The system drops the locks when their handles close, the holder
// ends or its connection is lost, so no lock outlives a crash. The companion file is kept once
// made: deleting it while another instance opens it would give two turns. Its name does not end in
// ".js": Opera loads every "*.js" of the folder.
//
// The script's own lock gives the turn where no companion file can be made or opened (a folder that
// refuses new files, before anybody made one there); every instance takes it, so every instance
// honours it. An in-place save keeps the script's file, and its lock, to the end; a replace lets go
// of it just before the rename, still holding the companion's.

#include <windows.h>

#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"

class CScriptSaveLock {
public:
    // How long a save waits for the save of another instance to end.
    static constexpr DWORD kWaitMs = 10000;
    static constexpr const wchar_t* kCompanionName = L"Morvanti.lock";
    // The byte of the script that its own lock takes: beyond the end of any script a 32-bit
    // program can hold, so no reader or writer of the script ever meets it.
    static constexpr DWORD kScriptLockOffset = 0xFFFFFFFE;

    CScriptSaveLock() = default;
    ~CScriptSaveLock() = default;
    CScriptSaveLock(const CScriptSaveLock&) = delete;
    CScriptSaveLock& operator=(const CScriptSaveLock&) = delete;

    // Waits at most waitMs for the turn of the script at path (a relative path is taken from the
    // current directory). The scripts of one folder share their turn. False, with the reason in
    // Error(), when there is no script on a disk there (NoScript()), when the turn does not come
    // in time (ERROR_TIMEOUT), or when the script cannot be opened to take its own lock.
    bool Acquire(const std::wstring& path, DWORD waitMs = kWaitMs);
    // After a failed Acquire: no script on a disk to take a turn for (a missing file, a folder, a
    // device, or one that another program held open too long to be opened), a read failure.
    bool NoScript() const { return noScript_; }
    // Takes the script's own lock again, waiting at most waitMs, after a save let go of its handle
    // (a replace closes it before the rename) and must start again from the read.
    bool HoldScript(DWORD waitMs = kWaitMs);
    // Lets the next save have its turn; nothing when none is held.
    void Release();
    bool IsHeld() const { return companion_.IsValid() || script_.IsValid(); }
    // The script's own handle, which holds its lock: a save closes it before it renames the script,
    // and writes through it in place when ScriptWritable().
    CFileHandle& Script() { return script_; }
    bool ScriptWritable() const { return scriptWritable_; }
    // Where the turn is taken: the file the script's path names, links followed.
    const std::wstring& FinalPath() const { return finalPath_; }
    const CLastError& Error() const { return error_; }

private:
    // Opens (or makes) the companion file in folder; false when no companion can be had there.
    bool OpenCompanion(const std::wstring& folder);
    // Takes the exclusive lock of one byte of file, waiting until waitMs after start.
    bool Lock(HANDLE file, DWORD offset, DWORD start, DWORD waitMs);

    CFileHandle companion_;
    CFileHandle script_;
    bool scriptWritable_ = false;
    bool noScript_ = false;
    std::wstring finalPath_;
    CLastError error_;
};
