#pragma once
// Questions the program asks Windows about its surroundings: its own file and folders, the
// shell's special folders, the system language, starting processes, the single-instance
// test, administrator rights, privileges and the user name. Nothing here keeps state except
// the single-instance mark.

#include <windows.h>

#include <string>

#include "support/LastError.h"
#include "support/TextEdit.h"

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

// The two kinds of program that 64-bit Windows runs side by side. Each sees a system folder of
// its own (a 32-bit program's System32 is SysWOW64), its own Program Files and its own view of
// the registry; 32-bit Windows runs only the one kind.
enum class ProgramBits { Bits32, Bits64 };

// What decides the system folder that either kind of program sees, as this process learns it.
struct SystemFolderFacts {
    bool process64 = false;       // this process is a 64-bit program
    bool wow64 = false;           // this 32-bit process runs on 64-bit Windows
    std::wstring systemDir;       // this process's own system folder (GetSystemDirectoryW)
    std::wstring systemWow64Dir;  // the 32-bit programs' one on 64-bit Windows; empty on 32-bit Windows
    std::wstring windowsDir;      // the Windows folder shared by all users (GetSystemWindowsDirectoryW)
};
SystemFolderFacts GetSystemFolderFacts();
// The system folder that a program of that kind reads, named so that this process reaches it
// (from a 32-bit process on 64-bit Windows the 64-bit one is %windir%\Sysnative), ending in a
// backslash; empty when the facts name no such folder.
std::wstring SystemDirOf(ProgramBits bits, const SystemFolderFacts& facts);
std::wstring GetSystemDirOf(ProgramBits bits);
// The Program Files folder of 64-bit programs, ending in a backslash; empty on 32-bit Windows.
std::wstring GetProgramFiles64Dir();

// The text with its environment variables (%name%) replaced by their values as a program of
// that kind gets them: %ProgramFiles% and %CommonProgramFiles% name that kind's folders on
// 64-bit Windows. A name the environment lacks stays as written.
std::wstring ExpandEnvironmentText(const std::wstring& text, ProgramBits bits);

// The folders whose files Windows virtualizes for a legacy 32-bit program, one without a
// manifest that says it knows User Account Control: both Program Files folders, the Windows
// folder and ProgramData. What such a program writes there goes to the user's VirtualStore, and
// a copy there is what it reads from then on.
StringList GetVirtualizedFolders();
// The user's VirtualStore copy of path (VirtualStorePathFor) for this user and system; empty also when the local application-data folder is unknown.
std::wstring GetVirtualStorePath(const std::wstring& path);

// "chinese", "english" or "unknow" for the system's default language.
std::wstring GetSystemLanguage();
// The same naming for any language identifier; only its primary language counts.
std::wstring LanguageNameOf(LANGID language);

// Opens file with its default action. With wait, returns once the started process has ended.
bool ShellExecuteAndWait(const std::wstring& file, int showCommand, bool wait);
// Runs the command line in a new console. With wait, returns once the process has ended.
bool CreateProcessAndWait(const std::wstring& commandLine, bool wait);

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
