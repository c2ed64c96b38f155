#pragma once
// Paths as text: their full and long forms, their folder, their separators. Nothing here opens
// a file.

#include <string>

#include "support/TextEdit.h"

// The prefix of a path in the form that the system takes as it stands ("\\?\").
constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";

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
// Everything up to and including the last backslash of path; a path without one comes back whole.
std::wstring DirectoryOfPath(const std::wstring& path);
// The folder with one backslash appended when it has none at its end; empty stays empty.
std::wstring WithTrailingBackslash(const std::wstring& folder);
// The folder without the backslash at its end.
std::wstring WithoutTrailingBackslash(std::wstring folder);
// A backslash or a slash: what parts a path, as the system reads it.
bool IsPathSeparator(wchar_t unit);
// Whether two folders are one, compared as the file system does: without letter case or a
// backslash at the end.
bool SameFolder(const std::wstring& a, const std::wstring& b);
// Whether path is folder or lies in it, compared without letter case.
bool IsInFolder(const std::wstring& path, const std::wstring& folder);
// The user's VirtualStore copy of path (localAppData\VirtualStore\ followed by the path
// without its drive) when path lies in one of the folders, compared without letter case; empty
// otherwise. Neither need exist.
std::wstring VirtualStorePathFor(const std::wstring& path, const StringList& virtualizedFolders,
                                 const std::wstring& localAppData);

