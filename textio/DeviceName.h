#pragma once
// Paths that name a device or a pipe rather than a file on a disk.

#include <string>

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
