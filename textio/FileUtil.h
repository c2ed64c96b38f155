#pragma once
// File utilities that report their failures through the caller's error record.

#include <string>

#include "support/LastError.h"

// The full path of path (GetFullPathNameW); empty when it cannot be made.
std::wstring GetFullPath(const std::wstring& path);
// Deletes the file; a file that is already gone counts as success.
bool RemoveFile(const std::wstring& path, CLastError& error);
// Copies the bytes of source to destination. Without overwrite an existing destination is kept
// and the result is true.
bool CopyFileContents(const std::wstring& source, const std::wstring& destination, bool overwrite,
                      CLastError& error);
