#pragma once
// Waiting out another program's short hold of a file: a virus scanner, an indexer, a backup or
// an editor saving may keep a file open without sharing it for a moment.

#include <windows.h>

#include <functional>
#include <string>

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
