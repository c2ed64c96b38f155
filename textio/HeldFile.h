#pragma once
// Waiting out another program's short hold of a file: a virus scanner, an indexer, a backup or
// an editor saving may keep a file open without sharing it for a moment. A refusal that no wait
// changes (a read-only file, a folder, rights the user lacks) is told apart and fails at once.

#include <windows.h>

#include <functional>
#include <string>

// How long a file that another program holds is waited for, in all.
const unsigned kHeldFileWaitMs = 2000;
// True when code, from opening path with access (GENERIC_READ, DELETE for a replace, ...) or
// replacing it, says that another program holds the file for the moment: a sharing or lock
// violation, or access denied to a file that is neither a folder nor read-only and whose access
// list grants this user that access (so the denial is a state of the moment: a file being
// deleted, or, under Wine, a replace of a file that another program has open). Access denied by
// the access list itself is a refusal.
bool HeldByAnotherProgram(const std::wstring& path, DWORD code, DWORD access);
// Runs step, which gives a system error code (ERROR_SUCCESS when it worked), again while it
// fails because another program holds path (opened or replaced with access), with growing
// pauses, up to kHeldFileWaitMs in all; gives its last code. A hold that outlasts that goes to
// the run log with the system's reason.
DWORD RetryWhileHeld(const std::wstring& path, DWORD access, const std::function<DWORD()>& step);
