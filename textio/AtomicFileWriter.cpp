#include "textio/AtomicFileWriter.h"

#include <windows.h>

#include "support/TextEdit.h"
#include "textio/FileUtil.h"
#include "textio/TextFile.h"

namespace {

// Antivirus scanners and indexers open new files for a moment; such a lock passes quickly.
const int kAttempts = 8;
const DWORD kRetryDelayMs = 40;

// A save file whose name is this old belongs to no save in progress: a save takes well under a
// second, and one that waits for its turn at the script waits ten seconds at most.
const uint32_t kLeftoverAgeSeconds = 10 * 60;

// FILETIME counts 100 ns units from 1601; save file names count seconds from 1970.
const ULONGLONG kFileTimeOf1970 = 116444736000000000ULL;
const ULONGLONG kFileTimeUnitsPerSecond = 10000000ULL;

bool IsTransient(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
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

// The value of a hexadecimal digit in either case; -1 for any other character.
int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

// True when name is one this program gives its save files: "~mvt" or "~mvb", eight hexadecimal
// digits and ".tmp", letters in any case, as file names compare. The digits, the time the file
// was made, go to seconds.
bool ReadSaveFileName(const std::wstring& name, uint32_t& seconds)
{
    const size_t prefixLength = 4;
    const size_t digits = 8;
    const std::wstring extension = L".tmp";
    if (name.size() != prefixLength + digits + extension.size()) return false;
    const std::wstring prefix = name.substr(0, prefixLength);
    if (CompareNoCase(prefix, SaveFilePrefix(SaveFileKind::Temporary)) != 0 &&
        CompareNoCase(prefix, SaveFilePrefix(SaveFileKind::Backup)) != 0) {
        return false;
    }
    uint32_t value = 0;
    for (size_t i = prefixLength; i < prefixLength + digits; ++i) {
        const int digit = HexValue(name[i]);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    if (CompareNoCase(name.substr(prefixLength + digits), extension) != 0) return false;
    seconds = value;
    return true;
}

// Removes from folder the save files that saves interrupted long ago left behind. Their age is
// read from their names alone: the backup that ReplaceFileW makes keeps the replaced file's time
// stamps, so by its own times a backup that another save still needs can look hours old. A file
// still open cannot be deleted and stays; so does anything that is not plainly one of our files.
// Nothing here can fail the save that has just succeeded.
void RemoveSaveLeftovers(const std::wstring& folder)
{
    const uint32_t now = SaveFileTimeNow();
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(LongPathForm(folder + L"*").c_str(), &found);
    // A folder that cannot be listed is not cleaned this time.
    if (search == INVALID_HANDLE_VALUE) return;
    const DWORD notOurs = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        uint32_t made = 0;
        if ((found.dwFileAttributes & notOurs) != 0 || !ReadSaveFileName(found.cFileName, made)) continue;
        // A time in the future says nothing about the file's age.
        if (made > now || now - made < kLeftoverAgeSeconds) continue;
        // Failure (the file is open, or just went) leaves it for a later save.
        DeleteFileW(LongPathForm(folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace

uint32_t SaveFileTimeNow()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG units = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<uint32_t>((units - kFileTimeOf1970) / kFileTimeUnitsPerSecond);
}

std::wstring SaveFilePath(const std::wstring& folder, SaveFileKind kind, uint32_t number)
{
    const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring name = SaveFilePrefix(kind);
    for (int shift = 28; shift >= 0; shift -= 4) name += digits[(number >> shift) & 0xF];
    name += L".tmp";
    return LongPathForm(folder + name);
}

bool CreateSaveFile(const std::wstring& folder, SaveFileKind kind, uint32_t firstNumber, std::wstring& path,
                    CLastError& error)
{
    for (unsigned attempt = 0; attempt < kSaveFileAttempts; ++attempt) {
        const std::wstring candidate = SaveFilePath(folder, kind, firstNumber + attempt);
        DWORD code = ERROR_SUCCESS;
        HANDLE file = OpenDiskFile(candidate, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, code);
        if (file != INVALID_HANDLE_VALUE) {
            if (!CloseHandle(file)) {
                error.SetErrorFromLastError();
                DeleteFileW(candidate.c_str());
                return false;
            }
            path = candidate;
            return true;
        }
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
    : targetPath_(LongPathForm(FullPath(targetPath)))
{
}

CAtomicFileWriter::~CAtomicFileWriter()
{
    if (!committed_) Discard();
}

bool CAtomicFileWriter::Begin()
{
    // A device or a pipe is never written to, nor a file made beside it.
    if (NamesDevice(targetPath_)) {
        error_.SetErrorFromCode(ERROR_BAD_FILE_TYPE);
        return false;
    }
    if (!CreateSaveFile(FolderOf(targetPath_), SaveFileKind::Temporary, SaveFileTimeNow(), tempPath_, error_)) {
        tempPath_.clear();
        return false;
    }
    return true;
}

void CAtomicFileWriter::Discard()
{
    if (!tempPath_.empty()) DeleteFileW(tempPath_.c_str());
    tempPath_.clear();
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

bool CAtomicFileWriter::CarryAttributesOver()
{
    const DWORD old = GetFileAttributesW(targetPath_.c_str());
    // No file yet; or one that cannot even be asked, which the move then answers for.
    if (old == INVALID_FILE_ATTRIBUTES) return true;
    // Windows does not rename over a read-only file (Wine would): it is not replaced.
    if ((old & FILE_ATTRIBUTE_READONLY) != 0) {
        error_.SetErrorFromCode(ERROR_ACCESS_DENIED);
        return false;
    }
    const DWORD kept = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept == 0) return true;
    if (!SetFileAttributesW(tempPath_.c_str(), kept)) {
        error_.SetErrorFromLastError();
        return false;
    }
    return true;
}

bool CAtomicFileWriter::Commit()
{
    if (tempPath_.empty()) return false;
    // The new content takes the name in one rename, which replaces the old file: at every moment
    // the name holds the whole old or the whole new file. ReplaceFileW is not that step: with a
    // backup name it moves the old file away first, and without one it may also leave the name
    // empty (ERROR_UNABLE_TO_MOVE_REPLACEMENT), which Wine's does by moving the old file away and
    // deleting it before the new one is moved in. The old file's attributes go to the new one
    // before the rename.
    if (!FlushToDisk() || !CarryAttributesOver() || !MoveIntoPlace()) return false;
    committed_ = true;
    tempPath_.clear();
    RemoveSaveLeftovers(FolderOf(targetPath_));
    return true;
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
