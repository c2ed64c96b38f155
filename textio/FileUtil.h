#pragma once
// File utilities that report their failures through the caller's error record.

#include <functional>
#include <string>

#include "support/LastError.h"
#include "support/OwnedHandle.h"

// The full path of path (GetFullPathNameW); empty when it cannot be made.
std::wstring GetFullPath(const std::wstring& path);
// The path as every file function takes it, whatever its length. A path whose full path has
// MAX_PATH characters or more is refused in its plain form, so it comes back as that full path in
// the "\\?\" form ("\\?\UNC\" for a share), which the system takes as it stands, without
// normalising it. Any shorter path, and one already in a "\\?\" or "\\.\" form, comes back as
// given. Every open, read and write of the script and the settings file goes through this.
std::wstring LongPathForm(const std::wstring& path);
// The path as a user knows it: a "\\?\" or "\\?\UNC\" path without its prefix, for messages.
std::wstring PlainPathForm(const std::wstring& path);
// True when the name alone shows that path is a device or a pipe, never a file on a disk:
// - a DOS device name as its last part (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9, LPT1
//   to LPT9, also with the digits 1 to 3 in superscript), in any letter case and any folder,
//   whatever follows it after a dot or a colon and with spaces before that (NUL.js, com1 .txt,
//   CON:, LPT1...);
// - a path in the device namespace ("\\.\", as "\\.\pipe\x" or "\\.\C:\x");
// - a "\\?\" or "\??\" path that names neither a drive ("\\?\C:\") nor a share ("\\?\UNC\");
// - a share's pipe or mailslot folder ("\\server\pipe\x").
// Opening such a path can wait (a serial port under Wine) and reading it can wait for ever.
bool NamesDevice(const std::wstring& path);
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
// How long a file that another program holds is waited for, in all.
const unsigned kHeldFileWaitMs = 2000;
// True when code, from opening or replacing path, says that another program holds the file for
// the moment (a virus scanner, an indexer, a backup, an editor saving): a sharing or lock
// violation, or access denied to a file that is neither a folder nor read-only.
bool HeldByAnotherProgram(const std::wstring& path, DWORD code);
// Runs step, which gives a system error code (ERROR_SUCCESS when it worked), again while it
// fails because another program holds path, with growing pauses, up to kHeldFileWaitMs in all;
// gives its last code. A hold that outlasts that goes to the run log with the system's reason.
DWORD RetryWhileHeld(const std::wstring& path, const std::function<DWORD()>& step);
