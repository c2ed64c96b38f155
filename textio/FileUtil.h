#pragma once
// Opening, testing, copying and removing files on a disk, each reporting its failures through the
// caller's error record, and how much one read or write of a file may move.

#include <cstddef>
#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"

// The most bytes that one ReadFile or WriteFile is given; longer runs go in pieces. Windows'
// network redirector has refused single reads and writes of 64 MB and more
// (ERROR_NO_SYSTEM_RESOURCES), and a script may live on a network folder.
constexpr size_t kMostBytesPerCall = size_t(4) << 20;

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
