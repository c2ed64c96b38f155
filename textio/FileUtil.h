#pragma once
// Opening, testing, copying and removing files on a disk, each reporting its failures through the
// caller's error record, and how much one read or write of a file may move.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"

// The most bytes that one ReadFile or WriteFile is given; longer runs go in pieces. Windows'
// network redirector has refused single reads and writes of 64 MB and more
// (ERROR_NO_SYSTEM_RESOURCES), and a script may live on a network folder.
constexpr size_t kMostBytesPerCall = size_t(4) << 20;

// Writes all count bytes to file in pieces of at most kMostBytesPerCall, each through write, which
// acts as WriteFile does without an OVERLAPPED. False, with the reason in GetLastError(), when a
// write fails, or takes nothing (ERROR_WRITE_FAULT): a file on a disk takes all or fails, and a
// write that takes nothing would never end.
template <typename Write>
bool WriteInPieces(HANDLE file, const void* bytes, size_t count, Write write)
{
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        DWORD written = 0;
        if (!write(file, next, static_cast<DWORD>(count < kMostBytesPerCall ? count : kMostBytesPerCall), written)) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        next += written;
        count -= written;
    }
    return true;
}
// The same through WriteFile.
bool WriteAll(HANDLE file, const void* bytes, size_t count);

// What the system answers when a file changed while it was read, or between its read and the save
// that puts new content in its place: the file an open handle showed is no longer the one there.
// A save that meets it reads the file again.
constexpr DWORD kFileChangedMeanwhile = ERROR_FILE_INVALID;

// What tells one state of a file on a disk from another: which file it is (its index on its
// volume, which a rename keeps and a new file under the same name does not share), its size and
// its last-write time; and what a save must keep of it (its names, attributes and creation time).
struct FileState {
    uint64_t index = 0;
    uint64_t size = 0;
    int64_t lastWrite = 0;
    int64_t created = 0;
    uint32_t links = 0;       // how many names the file has
    uint32_t attributes = 0;
};

// The state of the file open as file (any access). False, with the reason in error, when the
// system cannot tell. (Neither GetFileInformationByHandle nor FileIdInfo: both also ask for the
// volume's serial number, which costs a millisecond or more under Wine; the path names the volume.)
bool ReadFileState(HANDLE file, FileState& state, CLastError& error);
// True when now is still the file that read describes: the same file, size and last-write time.
bool StillTheFileRead(const FileState& read, const FileState& now);
// The path of the file open as file as the system resolves it (symbolic links and junctions
// followed, long names), in its plain form; empty when the system cannot tell (some network file
// systems).
std::wstring FinalPathOf(HANDLE file);

// Opens path as CreateFileW does (through LongPathForm), but only a file on a disk: a path whose
// name shows a device is refused before any open, and a handle that is not FILE_TYPE_DISK, or
// is a folder's, is closed again before a byte went through it. No handle, with the reason in
// error (ERROR_BAD_FILE_TYPE for a device or pipe), when it cannot be opened so.
CFileHandle OpenDiskFile(const std::wstring& path, DWORD access, DWORD share, DWORD creation, DWORD flags,
                         CLastError& error);
// True when the file exists and can be opened for reading as a file on a disk (OpenDiskFile):
// neither a folder nor a device counts.
bool FileExists(const std::wstring& path);
// Deletes the file; a file that is already gone counts as success.
bool RemoveFile(const std::wstring& path, CLastError& error);
// Copies the bytes of source to destination. Without overwrite an existing destination is kept
// and the result is true.
bool CopyFileContents(const std::wstring& source, const std::wstring& destination, bool overwrite,
                      CLastError& error);
