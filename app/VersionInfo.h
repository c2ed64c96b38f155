#pragma once
// The file version that a program file carries in its version block, as the About box shows it.

#include <string>

// The "FileVersion" string stored under the Chinese (PRC) code page 936 key "080403a8" of the
// file's version block, with "," turned into "." and the spaces taken out: "1, 0, 4, 0" gives
// "1.0.4.0". Empty when the file has no version block or no such string.
std::wstring GetVersionFromPath(const std::wstring& path);
