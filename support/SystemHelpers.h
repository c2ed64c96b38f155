#pragma once
// Questions the program asks Windows about its surroundings: its own file and folders, the
// shell's special folders, the system language, starting processes, the single-instance
// test, administrator rights, privileges and the user name. Nothing here keeps state except
// the single-instance mark.

#include <windows.h>

#include <string>

#include "support/LastError.h"

// Full path of the program's own file; empty when the system cannot tell.
std::wstring GetModulePath();
// The program's folder, ending in a backslash, so a file name can be appended directly.
std::wstring GetModuleDir();
// The per-user application-data folder (created when missing), ending in a backslash;
// a lone backslash when the shell cannot name it.
std::wstring GetAppDataDir();
// The user's documents folder (created when missing), as GetAppDataDir.
std::wstring GetMyDocumentsDir();
// The system folder, ending in a backslash; empty on failure.
std::wstring GetSystemDir();
// The temporary folder, ending in a backslash; empty on failure.
std::wstring GetTempDir();

// "chinese", "english" or "unknow" for the system's default language.
std::wstring GetSystemLanguage();
// The same naming for any language identifier; only its primary language counts.
std::wstring LanguageNameOf(LANGID language);

// Opens file with its default action. With wait, returns once the started process has ended.
bool ShellExecuteAndWait(const std::wstring& file, int showCommand, bool wait);
// Runs the command line in a new console. With wait, returns once the process has ended.
bool CreateProcessAndWait(const std::wstring& commandLine, bool wait);

// The mutex name used when the caller gives none.
extern const wchar_t kInstanceMutexName[];
// True when another process already holds the named instance mutex. The first call that
// finds no other holder makes this process the instance for the rest of its life; from then
// on the answer is false without asking the system again.
bool IsAnotherInstanceRunning(const std::wstring& mutexName = kInstanceMutexName);

// True when the calling thread's user passes an access check that only the built-in
// Administrators group passes.
bool IsUserAdmin();
// Enables or disables one privilege (by name, say SE_SHUTDOWN_NAME) in the token, which needs
// TOKEN_ADJUST_PRIVILEGES. False, with the reason in error, when the name is unknown, the call
// fails or the token does not hold the privilege.
bool EnablePrivilege(HANDLE token, const std::wstring& privilegeName, bool enable, CLastError& error);
// The name of the user the calling thread runs as; empty on failure.
std::wstring GetCurrentUserName();
