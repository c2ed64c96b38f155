#include "textio/AtomicFileWriter.h"

#include <windows.h>

#include <vector>

#include "textio/TextFile.h"

namespace {

// Antivirus scanners and indexers open new files for a moment; such a lock passes quickly.
const int kAttempts = 8;
const DWORD kRetryDelayMs = 40;

bool IsTransient(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

std::wstring FullPath(const std::wstring& path)
{
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
    if (length == 0 || length > needed) return path;
    return std::wstring(buffer.data(), length);
}

std::wstring FolderOf(const std::wstring& fullPath)
{
    size_t slash = fullPath.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    return fullPath.substr(0, slash + 1);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A free name in folder, made unique by GetTempFileNameW (which creates the file).
bool CreateUniqueFile(const std::wstring& folder, const wchar_t* prefix, std::wstring& path)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    if (GetTempFileNameW(folder.c_str(), prefix, 0, buffer) == 0) return false;
    path = buffer;
    return true;
}

} // namespace

CAtomicFileWriter::CAtomicFileWriter(const std::wstring& targetPath) : targetPath_(FullPath(targetPath)) {}

CAtomicFileWriter::~CAtomicFileWriter()
{
    if (!committed_) Discard();
}

bool CAtomicFileWriter::Begin()
{
    if (!CreateUniqueFile(FolderOf(targetPath_), L"mvt", tempPath_)) {
        error_.SetErrorFromLastError();
        tempPath_.clear();
        return false;
    }
    return true;
}

void CAtomicFileWriter::Discard()
{
    if (!tempPath_.empty() && !keepTemp_) DeleteFileW(tempPath_.c_str());
    if (!keepTemp_) tempPath_.clear();
}

bool CAtomicFileWriter::FlushToDisk()
{
    HANDLE file = CreateFileW(tempPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_.SetErrorFromLastError();
        return false;
    }
    bool ok = FlushFileBuffers(file) != FALSE;
    if (!ok) error_.SetErrorFromLastError();
    CloseHandle(file);
    return ok;
}

bool CAtomicFileWriter::MoveIntoPlace()
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (MoveFileExW(tempPath_.c_str(), targetPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD code = GetLastError();
        if (!IsTransient(code)) break;
        Sleep(kRetryDelayMs);
    }
    error_.SetErrorFromLastError();
    return false;
}

bool CAtomicFileWriter::ReplaceExisting()
{
    // With a backup name, ReplaceFileW tells exactly where each file is after a partial failure.
    std::wstring backup;
    if (!CreateUniqueFile(FolderOf(targetPath_), L"mvb", backup)) {
        error_.SetErrorFromLastError();
        return false;
    }
    DeleteFileW(backup.c_str());

    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD oldAttributes = GetFileAttributesW(targetPath_.c_str());
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (ReplaceFileW(targetPath_.c_str(), tempPath_.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr)) {
            DeleteFileW(backup.c_str());
            // Windows carries the attributes over; not every platform that runs the program does.
            DWORD now = GetFileAttributesW(targetPath_.c_str());
            if (oldAttributes != INVALID_FILE_ATTRIBUTES && now != INVALID_FILE_ATTRIBUTES &&
                (now & kept) != (oldAttributes & kept)) {
                DWORD wanted = (now & ~(kept | FILE_ATTRIBUTE_NORMAL)) | (oldAttributes & kept);
                SetFileAttributesW(targetPath_.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
            }
            return true;
        }
        code = GetLastError();
        if (!IsTransient(code)) break;
        // A failed attempt may have moved the original aside already; never retry from there.
        if (!Exists(targetPath_)) break;
        Sleep(kRetryDelayMs);
    }
    error_.SetErrorFromCode(code);

    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (and any surprise) can leave the original under the
    // backup name: put it back. The new content then stays under the temporary name.
    if (!Exists(targetPath_) && Exists(backup)) {
        MoveFileExW(backup.c_str(), targetPath_.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    if (!Exists(targetPath_)) {
        // The old file is gone: the new content is the only complete copy. Put it in place,
        // or, failing that, keep it under its temporary name and say where.
        if (Exists(tempPath_) && MoveIntoPlace()) return true;
        keepTemp_ = Exists(tempPath_);
        if (keepTemp_) error_.SetError(L"The new content is kept in " + tempPath_, code);
    }
    if (Exists(backup) && Exists(targetPath_)) DeleteFileW(backup.c_str());
    return false;
}

bool CAtomicFileWriter::Commit()
{
    if (tempPath_.empty()) return false;
    if (!FlushToDisk()) return false;
    bool ok = Exists(targetPath_) ? ReplaceExisting() : MoveIntoPlace();
    if (ok) {
        committed_ = true;
        tempPath_.clear();
    }
    return ok;
}

bool SaveTextFileAtomically(const std::wstring& path, bool unicode,
                            const std::function<bool(CTextStream&)>& writeLines, CLastError& error)
{
    CAtomicFileWriter writer(path);
    if (!writer.Begin()) {
        error = writer.Error();
        return false;
    }
    {
        CTextFile file;
        if (!file.Open(writer.GetTempPath(), kOpenWrite, unicode)) {
            error = file.Error();
            return false;
        }
        bool written = writeLines(file) && file.Flush() && !file.HasError();
        bool closed = file.Close();
        if (!written || !closed) {
            error.SetError(L"File Write Failed.", ERROR_WRITE_FAULT);
            return false;
        }
    }
    if (!writer.Commit()) {
        error = writer.Error();
        return false;
    }
    return true;
}
