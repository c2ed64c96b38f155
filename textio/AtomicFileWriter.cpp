#include "textio/AtomicFileWriter.h"

#include <windows.h>

#include <atomic>

#include "support/TextEdit.h"
#include "textio/FileUtil.h"
#include "textio/TextFile.h"

namespace {

// Antivirus scanners and indexers open new files for a moment; such a lock passes quickly.
const int kAttempts = 8;
const DWORD kRetryDelayMs = 40;

// A save file that has not been written for this long belongs to no save in progress: a save
// takes well under a second, and one in progress also holds its temporary file open.
const ULONGLONG kLeftoverAge = 10ULL * 60 * 10000000;   // in the 100 ns units of FILETIME

const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

bool IsTransient(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// The path as every file function takes it whatever its length: from MAX_PATH characters on, a
// plain path is refused, and the "\\?\" form (which takes only full paths) is not.
std::wstring ExtendedLengthPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH || StartsWith(path, kExtendedPrefix) || StartsWith(path, L"\\\\.\\")) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return kExtendedPrefix + path;
    if (StartsWith(path, L"\\\\")) return kExtendedUncPrefix + path.substr(2);
    return path;
}

// The path as a user knows it, for messages.
std::wstring PlainPath(const std::wstring& path)
{
    if (StartsWith(path, kExtendedUncPrefix)) return L"\\\\" + path.substr(wcslen(kExtendedUncPrefix));
    if (StartsWith(path, kExtendedPrefix)) return path.substr(wcslen(kExtendedPrefix));
    return path;
}

// The full path, or the path as given when it cannot be made full.
std::wstring FullPath(const std::wstring& path)
{
    std::wstring full = GetFullPath(path);
    return full.empty() ? path : full;
}

std::wstring FolderOf(const std::wstring& fullPath)
{
    size_t slash = fullPath.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".\\";
    return fullPath.substr(0, slash + 1);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

const wchar_t* SaveFilePrefix(SaveFileKind kind)
{
    return kind == SaveFileKind::Temporary ? L"~mvt" : L"~mvb";
}

bool IsHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

// prefix, exactly `digits` hexadecimal digits, ".tmp"; letters in any case, as file names compare.
bool HasSaveFileForm(const std::wstring& name, const wchar_t* prefix, size_t digits)
{
    const size_t prefixLength = wcslen(prefix);
    const std::wstring extension = L".tmp";
    if (name.size() != prefixLength + digits + extension.size()) return false;
    if (CompareNoCase(name.substr(0, prefixLength), prefix) != 0) return false;
    for (size_t i = prefixLength; i < prefixLength + digits; ++i) {
        if (!IsHexDigit(name[i])) return false;
    }
    return CompareNoCase(name.substr(prefixLength + digits), extension) == 0;
}

// The names this program gives its save files: today's, and those of earlier versions, which
// took them from GetTempFileNameW ("mvt" or "mvb", four hexadecimal digits, ".tmp").
bool IsSaveFileName(const std::wstring& name)
{
    return HasSaveFileForm(name, SaveFilePrefix(SaveFileKind::Temporary), 8) ||
           HasSaveFileForm(name, SaveFilePrefix(SaveFileKind::Backup), 8) ||
           HasSaveFileForm(name, L"mvt", 4) || HasSaveFileForm(name, L"mvb", 4);
}

ULONGLONG AsNumber(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Removes from folder the save files that saves interrupted long ago left behind. A file still
// open in another save cannot be deleted and stays; so does anything that is not plainly one of
// our files. Nothing here can fail the save that has just succeeded.
void RemoveSaveLeftovers(const std::wstring& folder)
{
    FILETIME nowTime = {};
    GetSystemTimeAsFileTime(&nowTime);
    const ULONGLONG now = AsNumber(nowTime);
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(ExtendedLengthPath(folder + L"*").c_str(), &found);
    // A folder that cannot be listed is not cleaned this time.
    if (search == INVALID_HANDLE_VALUE) return;
    const DWORD notOurs = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        if ((found.dwFileAttributes & notOurs) != 0 || !IsSaveFileName(found.cFileName)) continue;
        const ULONGLONG written = AsNumber(found.ftLastWriteTime);
        // A time in the future says nothing about the file's age.
        if (written > now || now - written < kLeftoverAge) continue;
        // Failure (the file is open, or just went) leaves it for a later save.
        DeleteFileW(ExtendedLengthPath(folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A number unlikely to be taken in the folder, so that the first name tried is usually free:
// it differs between calls in this process and between processes started at the same moment.
uint32_t FreshNumber()
{
    static std::atomic<uint32_t> calls{0};
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);   // cannot fail since Windows XP
    uint32_t x = static_cast<uint32_t>(counter.QuadPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount() ^
                 (++calls * 0x9E3779B9u);
    // Spreads the bits so that close inputs give far-apart numbers.
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

} // namespace

std::wstring SaveFilePath(const std::wstring& folder, SaveFileKind kind, uint32_t number)
{
    const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring name = SaveFilePrefix(kind);
    for (int shift = 28; shift >= 0; shift -= 4) name += digits[(number >> shift) & 0xF];
    name += L".tmp";
    return ExtendedLengthPath(folder + name);
}

bool CreateSaveFile(const std::wstring& folder, SaveFileKind kind, uint32_t firstNumber, std::wstring& path,
                    CLastError& error)
{
    for (unsigned attempt = 0; attempt < kSaveFileAttempts; ++attempt) {
        const std::wstring candidate = SaveFilePath(folder, kind, firstNumber + attempt);
        HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            if (!CloseHandle(file)) {
                error.SetErrorFromLastError();
                DeleteFileW(candidate.c_str());
                return false;
            }
            path = candidate;
            return true;
        }
        const DWORD code = GetLastError();
        // A name in the middle of being deleted answers "access denied" rather than "exists".
        const bool taken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ||
                           (code == ERROR_ACCESS_DENIED && Exists(candidate));
        if (!taken) {
            error.SetErrorFromCode(code);
            return false;
        }
    }
    error.SetErrorFromCode(ERROR_FILE_EXISTS);
    return false;
}

CAtomicFileWriter::CAtomicFileWriter(const std::wstring& targetPath)
    : targetPath_(ExtendedLengthPath(FullPath(targetPath)))
{
}

CAtomicFileWriter::~CAtomicFileWriter()
{
    if (!committed_) Discard();
}

bool CAtomicFileWriter::Begin()
{
    if (!CreateSaveFile(FolderOf(targetPath_), SaveFileKind::Temporary, FreshNumber(), tempPath_, error_)) {
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
    // The name is reserved by creating the file; ReplaceFileW wants it free.
    std::wstring backup;
    if (!CreateSaveFile(FolderOf(targetPath_), SaveFileKind::Backup, FreshNumber(), backup, error_)) return false;
    if (!DeleteFileW(backup.c_str())) {
        error_.SetErrorFromLastError();
        return false;
    }

    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD oldAttributes = GetFileAttributesW(targetPath_.c_str());
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (ReplaceFileW(targetPath_.c_str(), tempPath_.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr)) {
            // A backup that cannot go now is a leftover that a later save removes.
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
        if (keepTemp_) error_.SetError(L"The new content is kept in " + PlainPath(tempPath_), code);
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
        RemoveSaveLeftovers(FolderOf(targetPath_));
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
