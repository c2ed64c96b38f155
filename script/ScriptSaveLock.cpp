#include "script/ScriptSaveLock.h"

#include "textio/FileUtil.h"

namespace {

// How often a waiting save asks again: a lock that another PC or another Wine server holds gives
// no wait that ends at a deadline.
const DWORD kPollMs = 20;

} // namespace

bool CScriptSaveLock::Acquire(const std::wstring& path, DWORD waitMs)
{
    Release();
    error_.ClearError();
    DWORD code = ERROR_SUCCESS;
    // Where no script on a disk is (a missing file, a folder, a device) the read fails and nothing
    // is saved: no companion file is made there.
    HANDLE probe = OpenDiskFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, code);
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    if (probe == INVALID_HANDLE_VALUE && !HeldByAnotherProgram(path, code)) return true;
    const std::wstring full = GetFullPath(path);
    // Read and write access: under Wine a lock through a read-only handle is a shared one.
    // Deleting is not shared: while any instance has the file open, its name stays that file.
    HANDLE file = OpenDiskFile(full.substr(0, full.find_last_of(L'\\') + 1) + kCompanionName,
                               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN, code);
    const DWORD start = GetTickCount();
    OVERLAPPED firstByte = {};
    while (file != INVALID_HANDLE_VALUE &&
           !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &firstByte)) {
        code = GetLastError();
        if (code == ERROR_LOCK_VIOLATION && GetTickCount() - start < waitMs) {
            Sleep(kPollMs);
            continue;
        }
        if (code == ERROR_LOCK_VIOLATION) code = ERROR_TIMEOUT;
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error_.SetErrorFromCode(code);
        return false;
    }
    file_ = file;
    return true;
}

void CScriptSaveLock::Release()
{
    if (file_ == INVALID_HANDLE_VALUE) return;
    // Closing the handle drops its lock.
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}
