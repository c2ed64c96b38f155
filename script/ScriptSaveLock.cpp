#include "script/ScriptSaveLock.h"

#include "support/Paths.h"
#include "textio/FileUtil.h"
#include "textio/HeldFile.h"
#include "textio/RunLog.h"

namespace {

// How often a waiting save asks again: a lock that another PC or another Wine server holds gives
// no wait that ends at a deadline.
const DWORD kPollMs = 20;

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens path with access, waiting out another program's short hold; the system's code.
DWORD OpenWaitingOutHolds(const std::wstring& path, DWORD access, DWORD share, DWORD creation, DWORD attributes,
                          CFileHandle& file, CLastError& error)
{
    return RetryWhileHeld(path, access, [&] {
        file = OpenDiskFile(path, access, share, creation, attributes, error);
        return file.IsValid() ? DWORD(ERROR_SUCCESS) : error.GetErrorCode();
    });
}

} // namespace

bool CScriptSaveLock::Acquire(const std::wstring& path, DWORD waitMs)
{
    Release();
    error_.ClearError();
    noScript_ = false;
    const DWORD start = GetTickCount();
    // Where no script on a disk is (a missing file, a folder, a device) the read fails and nothing
    // is saved: no companion file is made there. Asking for attributes alone meets no other
    // program's hold.
    {
        const CFileHandle script = OpenDiskFile(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, error_);
        if (!script.IsValid()) {
            noScript_ = true;
            return false;
        }
        finalPath_ = FinalPathOf(script.Get());
    }
    if (finalPath_.empty()) finalPath_ = PlainPathForm(GetFullPath(path));
    if (OpenCompanion(DirectoryOfPath(finalPath_)) && !Lock(companion_.Get(), 0, start, waitMs)) {
        companion_.Close();
        return false;
    }
    const DWORD waited = GetTickCount() - start;
    if (!HoldScript(waited < waitMs ? waitMs - waited : 0)) {
        Release();
        return false;
    }
    error_.ClearError();
    return true;
}

bool CScriptSaveLock::OpenCompanion(const std::wstring& folder)
{
    const std::wstring path = folder + kCompanionName;
    // Read and write access where the companion allows it, for every platform: under Wine an
    // exclusive lock through a read-only handle is a shared one on the host, which excludes the
    // other Wine servers' writers but not their readers. Deleting is not shared: while any
    // instance has the file open, its name stays that file.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
    DWORD code = OpenWaitingOutHolds(path, readWrite, share, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, companion_, error_);
    if (code == ERROR_SUCCESS) return true;
    // A companion that is read-only or another user's (copied from a backup, made by the first
    // user of a shared folder) still gives the turn. On Windows an exclusive lock through a handle
    // with read access alone is exclusive for every client of the file; under Wine it is among
    // the programs of one Wine server, and the script's own lock keeps the others apart.
    code = OpenWaitingOutHolds(path, GENERIC_READ, share, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, companion_, error_);
    if (code == ERROR_SUCCESS) return true;
    g_runLog.WriteFormat(L"no lock file beside the script, its own lock is the turn[%s]", path);
    return false;
}

bool CScriptSaveLock::HoldScript(DWORD waitMs)
{
    const DWORD start = GetTickCount();
    script_.Close();
    // Read and write access where the user may write the script: a save writes through it in
    // place, and under Wine only a lock through it keeps other Wine servers' instances out. Read
    // access alone where the user may not, or another program holds the script shared for reading
    // only (its hold is then waited out where the save writes), which on Windows is enough for an
    // exclusive lock.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    script_ = OpenDiskFile(finalPath_, GENERIC_READ | GENERIC_WRITE, share, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           error_);
    scriptWritable_ = script_.IsValid();
    const DWORD code = scriptWritable_ ? DWORD(ERROR_SUCCESS)
                                       : OpenWaitingOutHolds(finalPath_, GENERIC_READ, share, OPEN_EXISTING,
                                                             FILE_ATTRIBUTE_NORMAL, script_, error_);
    if (code != ERROR_SUCCESS) {
        // Gone, or held by another program for longer than a hold is waited out: not read either.
        noScript_ = true;
        return false;
    }
    if (!Lock(script_.Get(), kScriptLockOffset, start, waitMs)) {
        script_.Close();
        return false;
    }
    return true;
}

bool CScriptSaveLock::Lock(HANDLE file, DWORD offset, DWORD start, DWORD waitMs)
{
    OVERLAPPED at = {};
    at.Offset = offset;
    while (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD code = GetLastError();
        if (code != ERROR_LOCK_VIOLATION) {
            error_.SetErrorFromCode(code);
            return false;
        }
        if (GetTickCount() - start >= waitMs) {
            error_.SetErrorFromCode(ERROR_TIMEOUT);
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

void CScriptSaveLock::Release()
{
    // Closing the handles drops their locks.
    script_.Close();
    companion_.Close();
}
