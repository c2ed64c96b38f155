#pragma once
// File utilities that report their failures through the caller's error record.

#include <string>

#include "support/LastError.h"

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
// Deletes the file; a file that is already gone counts as success.
bool RemoveFile(const std::wstring& path, CLastError& error);
// Copies the bytes of source to destination. Without overwrite an existing destination is kept
// and the result is true.
bool CopyFileContents(const std::wstring& source, const std::wstring& destination, bool overwrite,
                      CLastError& error);
