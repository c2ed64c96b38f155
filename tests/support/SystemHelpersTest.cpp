#include "support/Paths.h"
#include "support/SystemHelpers.h"

#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/TestFiles.h"

namespace {

// The process tests start this executable again as their child. With this variable set, the
// child writes its command line (UTF-16) to the file the variable names and ends before any
// test runs. It waits a moment first, so that a parent that does not wait can tell.
const wchar_t kChildVariable[] = L"MORVANTI_SYSTEM_TEST_CHILD";
const DWORD kChildDelayMs = 500;

struct ChildMode {
    ChildMode()
    {
        wchar_t target[MAX_PATH + 1] = {};
        DWORD length = GetEnvironmentVariableW(kChildVariable, target, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        Sleep(kChildDelayMs);
        std::wstring partial = std::wstring(target) + L".part";
        HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const wchar_t* line = GetCommandLineW();
            DWORD bytes = static_cast<DWORD>(wcslen(line) * sizeof(wchar_t));
            DWORD written = 0;
            WriteFile(file, line, bytes, &written, nullptr);
            CloseHandle(file);
            MoveFileW(partial.c_str(), target);
        }
        ExitProcess(0);
    }
} g_childMode;

// Runs start() with the child's output file announced to the child; true when the file was
// there the moment start() returned, and then its content in commandLine.
template <typename Start>
bool ChildHadEndedOnReturn(Start start, std::wstring& commandLine)
{
    CTempDir dir;
    const std::wstring path = dir.File(L"child.txt");
    SetEnvironmentVariableW(kChildVariable, path.c_str());
    bool started = start();
    SetEnvironmentVariableW(kChildVariable, nullptr);
    if (!started || !PathExists(path)) return false;
    std::string bytes = ReadFileBytes(path);
    commandLine.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return true;
}

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EndsInOneBackslash(const std::wstring& path)
{
    size_t n = path.size();
    return n >= 2 && path[n - 1] == L'\\' && path[n - 2] != L'\\';
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[1024] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 1023);
    return length > 0 && length < 1023 ? std::wstring(value) : std::wstring();
}

// Attributes of the privilege in the token, or ~0 when the token does not hold it.
DWORD PrivilegeAttributes(HANDLE token, const wchar_t* name)
{
    LUID luid = {};
    if (!LookupPrivilegeValueW(nullptr, name, &luid)) return ~0u;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size + 1, 0);
    if (!GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) return ~0u;
    const TOKEN_PRIVILEGES* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& have = privileges->Privileges[i].Luid;
        if (have.LowPart == luid.LowPart && have.HighPart == luid.HighPart) return privileges->Privileges[i].Attributes;
    }
    return ~0u;
}

} // namespace

TEST(SystemHelpers, FoldersEndInOneBackslashAndPathPartsStayInsideTheirStrings)
{
    EXPECT_EQ(L"C:\\Tools\\", DirectoryOfPath(L"C:\\Tools\\app.exe"));
    EXPECT_EQ(L"app.exe", DirectoryOfPath(L"app.exe"));
    EXPECT_EQ(L"", DirectoryOfPath(L""));
    EXPECT_EQ(L"\\", DirectoryOfPath(L"\\"));
    const std::wstring longPath = L"C:\\" + std::wstring(249, L'd') + L"\\app.exe";
    ASSERT_EQ(260u, longPath.size());
    EXPECT_EQ(longPath.substr(0, 253), DirectoryOfPath(longPath));
    EXPECT_EQ(L"", WithTrailingBackslash(L""));
    EXPECT_EQ(L"\\", WithTrailingBackslash(L"\\"));
    EXPECT_EQ(L"C:\\Temp\\", WithTrailingBackslash(L"C:\\Temp"));

    const std::wstring path = GetModulePath();
    const std::wstring dir = GetModuleDir();
    EXPECT_TRUE(PathExists(path) && !IsFolder(path)) << path;
    EXPECT_TRUE(EndsInOneBackslash(dir) && IsFolder(dir)) << dir;
    ASSERT_EQ(0u, path.find(dir));
    EXPECT_EQ(L"support_system_tests.exe", Lower(path.substr(dir.size())));

    const std::wstring appData = GetAppDataDir();
    EXPECT_TRUE(EndsInOneBackslash(appData)) << appData;
    EXPECT_TRUE(IsFolder(appData));
    EXPECT_EQ(Lower(WithTrailingBackslash(Variable(L"APPDATA"))), Lower(appData));
    EXPECT_TRUE(EndsInOneBackslash(GetMyDocumentsDir()) && IsFolder(GetMyDocumentsDir())) << GetMyDocumentsDir();
    EXPECT_TRUE(PathExists(GetSystemDir() + L"kernel32.dll")) << GetSystemDir();
    // GetTempPathW already ends in a backslash; none may be added to it.
    EXPECT_TRUE(EndsInOneBackslash(GetTempDir()) && IsFolder(GetTempDir())) << GetTempDir();
}

TEST(SystemHelpers, TheSystemFolderIsTheOneThatProgramsOfEachKindSeeAndVirtualizedFilesHaveCopies)
{
    // 32-bit Windows; a 64-bit process; a 32-bit one on 64-bit Windows, which reaches the real
    // System32 as Sysnative.
    const SystemFolderFacts windows32{false, false, L"C:\\W\\system32\\", L"", L"C:\\W\\"};
    const SystemFolderFacts process64{true, false, L"C:\\W\\system32\\", L"C:\\W\\SysWOW64\\", L"C:\\W\\"};
    const SystemFolderFacts wow64{false, true, L"C:\\W\\system32\\", L"C:\\W\\SysWOW64\\", L"C:\\W\\"};
    EXPECT_EQ(L"C:\\W\\system32\\", SystemDirOf(ProgramBits::Bits32, windows32));
    EXPECT_EQ(L"C:\\W\\system32\\", SystemDirOf(ProgramBits::Bits64, windows32));
    EXPECT_EQ(L"C:\\W\\SysWOW64\\", SystemDirOf(ProgramBits::Bits32, process64));
    EXPECT_EQ(L"C:\\W\\system32\\", SystemDirOf(ProgramBits::Bits64, process64));
    EXPECT_EQ(L"C:\\W\\SysWOW64\\", SystemDirOf(ProgramBits::Bits32, wow64));
    EXPECT_EQ(L"C:\\W\\Sysnative\\", SystemDirOf(ProgramBits::Bits64, wow64));
    const SystemFolderFacts facts = GetSystemFolderFacts();
    EXPECT_EQ(sizeof(void*) == 8, facts.process64);
    EXPECT_EQ(facts.process64 || facts.wow64, !facts.systemWow64Dir.empty() && !GetProgramFiles64Dir().empty());

    const StringList folders = {L"C:\\Program Files\\", L"C:\\Windows"};
    const std::wstring store = L"C:\\L\\VirtualStore";
    EXPECT_EQ(store + L"\\PROGRAM FILES\\Opera\\x.ini",
              VirtualStorePathFor(L"c:\\PROGRAM FILES\\Opera\\x.ini", folders, L"C:\\L"));
    EXPECT_EQ(store + L"\\Windows", VirtualStorePathFor(L"C:\\Windows", folders, L"C:\\L\\"));
    for (const wchar_t* outside : {L"C:\\Program Files2\\x", L"D:\\Program Files\\x", L"Program Files\\x", L""}) {
        EXPECT_EQ(L"", VirtualStorePathFor(outside, folders, L"C:\\L")) << outside;
    }
    const std::wstring windows = Variable(L"SystemRoot");
    EXPECT_EQ(Lower(WithTrailingBackslash(Variable(L"LOCALAPPDATA")) + L"VirtualStore" + windows.substr(2)),
              Lower(GetVirtualStorePath(windows)));
}

TEST(SystemHelpers, LanguageAndUserName)
{
    EXPECT_EQ(L"chinese", LanguageNameOf(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)));
    EXPECT_EQ(L"chinese", LanguageNameOf(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)));
    EXPECT_EQ(L"chinese", LanguageNameOf(0x7C04));
    EXPECT_EQ(L"english", LanguageNameOf(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK)));
    EXPECT_EQ(L"unknow", LanguageNameOf(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)));
    EXPECT_EQ(LanguageNameOf(GetSystemDefaultLangID()), GetSystemLanguage());

    const std::wstring user = Variable(L"USERNAME");
    ASSERT_FALSE(user.empty());
    EXPECT_EQ(Lower(user), Lower(GetCurrentUserName()));
}

TEST(SystemHelpers, StartedProcessesAreWaitedForAndGetTheWholeCommandLine)
{
    const std::wstring self = GetModulePath();
    std::wstring commandLine = L"\"" + self + L"\" ";
    commandLine += std::wstring(1500 - commandLine.size() - 1, L'a') + L"Z";
    std::wstring seen;
    EXPECT_TRUE(ChildHadEndedOnReturn([&] { return CreateProcessAndWait(commandLine, true); }, seen));
    EXPECT_EQ(commandLine, seen) << "a cut command line runs something else";
    EXPECT_TRUE(ChildHadEndedOnReturn([&] { return ShellExecuteAndWait(self, SW_HIDE, true); }, seen));

    EXPECT_FALSE(CreateProcessAndWait(L"", true));
    EXPECT_FALSE(CreateProcessAndWait(L"\"Z:\\no\\such\\folder\\program.exe\"", true));
    EXPECT_FALSE(ShellExecuteAndWait(L"", SW_HIDE, true));
    EXPECT_FALSE(ShellExecuteAndWait(L"Z:\\no\\such\\folder\\program.exe", SW_HIDE, true));
}

TEST(SystemHelpers, SingleInstanceMutexMarksThisProcessOnceAndForAll)
{
    const std::wstring prefix = L"Local\\MorvantiTest." + std::to_wstring(GetCurrentProcessId()) + L".";
    const std::wstring notAMutex = prefix + L"event";
    const std::wstring held = prefix + L"held";
    const std::wstring ours = prefix + L"ours";
    const std::wstring later = prefix + L"later";

    // A name taken by another kind of object makes CreateMutexW fail: no mark is set.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, notAMutex.c_str());
    ASSERT_NE(nullptr, event);
    EXPECT_FALSE(IsAnotherInstanceRunning(notAMutex));
    CloseHandle(event);

    HANDLE other = CreateMutexW(nullptr, FALSE, held.c_str());
    ASSERT_NE(nullptr, other);
    EXPECT_TRUE(IsAnotherInstanceRunning(held));
    CloseHandle(other);
    // The helper let go of the name too, so once its holder is gone nobody keeps it alive.
    EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, held.c_str()));

    EXPECT_FALSE(IsAnotherInstanceRunning(ours));
    HANDLE mark = OpenMutexW(SYNCHRONIZE, FALSE, ours.c_str());
    EXPECT_NE(nullptr, mark) << "the instance mutex must stay open";
    if (mark != nullptr) CloseHandle(mark);

    // From now on this process is the instance, whatever name is asked about.
    HANDLE again = CreateMutexW(nullptr, FALSE, held.c_str());
    ASSERT_NE(nullptr, again);
    EXPECT_FALSE(IsAnotherInstanceRunning(held));
    CloseHandle(again);
    EXPECT_FALSE(IsAnotherInstanceRunning(later));
    EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, later.c_str())) << "no further mutex may be created";
}

TEST(SystemHelpers, AdministratorTestAgreesWithGroupMembershipAndEndsImpersonation)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                         0, 0, 0, 0, &admins));
    BOOL member = FALSE;
    ASSERT_TRUE(CheckTokenMembership(nullptr, admins, &member));
    FreeSid(admins);

    // A leaked token would hold on to the handle slot that the next new handle gets.
    // (GetProcessHandleCount would be plainer, but Wine answers 0.)
    ASSERT_EQ(member != FALSE, IsUserAdmin());
    HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, probe);
    CloseHandle(probe);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(member != FALSE, IsUserAdmin());
    HANDLE probeAgain = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, probeAgain);
    CloseHandle(probeAgain);
    EXPECT_EQ(probe, probeAgain) << "a token handle was not closed";

    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) << "still impersonating";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_TOKEN), GetLastError());
}

TEST(SystemHelpers, PrivilegesAreSwitchedAndFailuresRecorded)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));

    CLastError error;
    EXPECT_FALSE(EnablePrivilege(token, L"SeNoSuchPrivilege", true, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE), error.GetErrorCode());
    EXPECT_EQ(L"LookupPrivilege error", error.GetErrorText());

    EXPECT_FALSE(EnablePrivilege(nullptr, SE_SHUTDOWN_NAME, true, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), error.GetErrorCode());

    // No ordinary token, an administrator's included, holds the right to create tokens; the
    // system call then succeeds without changing anything, which is no success.
    ASSERT_EQ(~0u, PrivilegeAttributes(token, SE_CREATE_TOKEN_NAME));
    EXPECT_FALSE(EnablePrivilege(token, SE_CREATE_TOKEN_NAME, true, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), error.GetErrorCode());

    DWORD before = PrivilegeAttributes(token, SE_SHUTDOWN_NAME);
    ASSERT_NE(~0u, before) << "the shutdown privilege is held by every interactive user";
    error.ClearError();
    EXPECT_TRUE(EnablePrivilege(token, SE_SHUTDOWN_NAME, true, error));
    EXPECT_NE(0u, PrivilegeAttributes(token, SE_SHUTDOWN_NAME) & SE_PRIVILEGE_ENABLED);
    EXPECT_TRUE(EnablePrivilege(token, SE_SHUTDOWN_NAME, false, error));
    EXPECT_EQ(0u, PrivilegeAttributes(token, SE_SHUTDOWN_NAME) & SE_PRIVILEGE_ENABLED);
    EXPECT_EQ(0u, error.GetErrorCode());
    if ((before & SE_PRIVILEGE_ENABLED) != 0) {
        EnablePrivilege(token, SE_SHUTDOWN_NAME, true, error);
    }
    CloseHandle(token);
}
