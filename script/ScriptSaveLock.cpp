#include "script/ScriptSaveLock.h"

#include <utility>

#include "support/Paths.h"
#include "textio/FileUtil.h"
#include "textio/HeldFile.h"

namespace {

// How often a waiting save asks again: a lock that another PC or another Wine server holds gives
// no wait that ends at a deadline.
const DWORD kPollMs = 20;

} // namespace

bool CScriptSaveLock::Acquire(const std::wstring& path, DWORD waitMs)
{
    Release();
    error_.ClearError();
    // Where no script on a disk is (a missing file, a folder, a device) the read fails and nothing
    // is saved: no companion file is made there.
    if (!OpenDiskFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, error_)
             .IsValid() &&
        !HeldByAnotherProgram(path, error_.GetErrorCode())) {
        error_.ClearError();
        return true;
    }
    // Read and write access: under Wine a lock through a read-only handle is a shared one.
    // Deleting is not shared: while any instance has the file open, its name stays that file.
    CFileHandle file = OpenDiskFile(DirectoryOfPath(GetFullPath(path)) + kCompanionName,
                                    GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN, error_);
    if (!file.IsValid()) return false;
    const DWORD start = GetTickCount();
    OVERLAPPED firstByte = {};
    while (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &firstByte)) {
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
    error_.ClearError();
    file_ = std::move(file);
    return true;
}

void CScriptSaveLock::Release()
{
    // Closing the handle drops its lock.
    file_.Close();
}
