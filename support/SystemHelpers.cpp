#include "support/SystemHelpers.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "support/OwnedHandle.h"
#include "support/Paths.h"

namespace {

// Folder buffers: 260 characters for the path, room for the terminator and a zero guard.
const DWORD kPathBuffer = 262;
const DWORD kModulePathSize = MAX_PATH;
const DWORD kFolderSize = MAX_PATH + 1;
// The longest path the wide API accepts.
const DWORD kLongestPath = 32768;
const DWORD kUserNameSize = 100;

const wchar_t kPrivilegeError[] = L"LookupPrivilege error";

// This process holds the instance mutex; set once, never cleared.
bool g_ownsInstanceMutex = false;

// Access rights of the private check object that IsUserAdmin builds.
const DWORD kAccessRead = 1;
const DWORD kAccessWrite = 2;

std::wstring SpecialFolder(int csidl)
{
    wchar_t buffer[kPathBuffer] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, TRUE)) buffer[0] = L'\0';
    std::wstring folder(buffer);
    // Callers append file names without looking, so even a failure ends in a backslash.
    if (folder.empty()) return L"\\";
    return WithTrailingBackslash(folder);
}

// call(buffer, size) behaves as GetSystemDirectoryW and GetTempPathW: the length written, or
// the size needed (terminator included) when the buffer is too small, or 0 on failure.
template <typename Call>
std::wstring FolderFromSystem(Call call)
{
    std::vector<wchar_t> buffer(kPathBuffer, L'\0');
    DWORD size = kFolderSize;
    DWORD length = call(buffer.data(), size);
    if (length >= size) {
        // A cut folder would be a different folder: ask again with the size the system named.
        if (length > kLongestPath) return std::wstring();
        size = length + 1;
        buffer.assign(size + 1, L'\0');
        length = call(buffer.data(), size);
        if (length >= size) return std::wstring();
    }
    if (length == 0) return std::wstring();
    return WithTrailingBackslash(std::wstring(buffer.data(), length));
}

// A shell folder as it is, none created; empty when the shell cannot name it.
std::wstring ExistingSpecialFolder(int csidl)
{
    wchar_t buffer[kPathBuffer] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return std::wstring();
    return WithTrailingBackslash(buffer);
}

// An environment variable's value; empty when it is not set.
std::wstring EnvironmentValue(const wchar_t* name)
{
    std::vector<wchar_t> buffer(kPathBuffer, L'\0');
    DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length >= buffer.size()) {
        if (length > kLongestPath) return std::wstring();
        buffer.assign(length + 1, L'\0');
        length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length >= buffer.size()) return std::wstring();
    }
    return std::wstring(buffer.data(), length);
}

bool OpenQueryToken(HANDLE& token)
{
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token)) return true;
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) != FALSE;
}

// Builds an object that only the built-in Administrators group may read and asks whether the
// token may read it. Group membership alone is not enough: a group that is present but
// disabled (a filtered token under UAC) fails the check.
bool PassesAdministratorsCheck(HANDLE token)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                  0, 0, 0, &admins)) {
        return false;
    }

    bool granted = false;
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(admins) - sizeof(DWORD);
    PSECURITY_DESCRIPTOR descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    PACL acl = static_cast<PACL>(LocalAlloc(LPTR, aclSize));
    if (descriptor != nullptr && acl != nullptr &&
        InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        InitializeAcl(acl, aclSize, ACL_REVISION2) &&
        AddAccessAllowedAce(acl, ACL_REVISION2, kAccessRead | kAccessWrite, admins) &&
        SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) &&
        SetSecurityDescriptorGroup(descriptor, admins, FALSE) &&
        SetSecurityDescriptorOwner(descriptor, admins, FALSE) && IsValidSecurityDescriptor(descriptor)) {
        GENERIC_MAPPING mapping = {kAccessRead, kAccessWrite, 0, kAccessRead | kAccessWrite};
        PRIVILEGE_SET privileges = {};
        DWORD privilegesLength = sizeof(privileges);
        DWORD grantedAccess = 0;
        BOOL status = FALSE;
        if (AccessCheck(descriptor, token, kAccessRead, &mapping, &privileges, &privilegesLength, &grantedAccess,
                        &status)) {
            granted = status != FALSE;
        }
    }
    if (acl != nullptr) LocalFree(acl);
    if (descriptor != nullptr) LocalFree(descriptor);
    FreeSid(admins);
    return granted;
}

} // namespace

const wchar_t kInstanceMutexName[] = L"Local\\Morvanti.Instance";

std::wstring GetModulePath()
{
    std::vector<wchar_t> buffer(kPathBuffer, L'\0');
    DWORD size = kModulePathSize;
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return std::wstring();
        if (length < size) return std::wstring(buffer.data(), length);
        // The path was cut to fit; a cut path names some other file, so ask with more room.
        if (size >= kLongestPath) return std::wstring();
        size *= 2;
        if (size > kLongestPath) size = kLongestPath;
        buffer.assign(size + 2, L'\0');
    }
}

std::wstring GetModuleDir()
{
    return DirectoryOfPath(GetModulePath());
}

std::wstring GetAppDataDir()
{
    return SpecialFolder(CSIDL_APPDATA);
}

std::wstring GetMyDocumentsDir()
{
    return SpecialFolder(CSIDL_PERSONAL);
}

std::wstring GetSystemDir()
{
    return FolderFromSystem([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
}

std::wstring GetTempDir()
{
    return FolderFromSystem([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
}

SystemFolderFacts GetSystemFolderFacts()
{
    SystemFolderFacts facts;
    facts.process64 = sizeof(void*) == 8;
    BOOL wow64 = FALSE;
    facts.wow64 = !facts.process64 && IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
    facts.systemDir = GetSystemDir();
    facts.systemWow64Dir =
        FolderFromSystem([](wchar_t* buffer, DWORD size) { return GetSystemWow64DirectoryW(buffer, size); });
    facts.windowsDir =
        FolderFromSystem([](wchar_t* buffer, DWORD size) { return GetSystemWindowsDirectoryW(buffer, size); });
    return facts;
}

std::wstring SystemDirOf(ProgramBits bits, const SystemFolderFacts& facts)
{
    if (bits == ProgramBits::Bits64) {
        // A 32-bit process asking for System32 gets SysWOW64; Sysnative is the name that reaches
        // the real one. A 64-bit process, and 32-bit Windows, have only the one folder.
        if (facts.wow64) return facts.windowsDir.empty() ? std::wstring() : facts.windowsDir + L"Sysnative\\";
        return facts.systemDir;
    }
    // 64-bit Windows gives 32-bit programs SysWOW64, whichever kind of process asks for it.
    return facts.systemWow64Dir.empty() ? facts.systemDir : facts.systemWow64Dir;
}

std::wstring GetSystemDirOf(ProgramBits bits)
{
    return SystemDirOf(bits, GetSystemFolderFacts());
}

std::wstring GetProgramFiles64Dir()
{
    // Set for every process of 64-bit Windows (from Windows 7 on), never on 32-bit Windows.
    const std::wstring folder = EnvironmentValue(L"ProgramW6432");
    return WithTrailingBackslash(folder);
}

std::wstring ExpandEnvironmentText(const std::wstring& text, ProgramBits bits)
{
    // The two names whose values differ between the kinds of program, and the variables that
    // hold each kind's value on 64-bit Windows.
    struct PerKind {
        const wchar_t* name;
        const wchar_t* bits32;
        const wchar_t* bits64;
    };
    static const PerKind kPerKind[] = {
        {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"},
        {L"CommonProgramFiles", L"CommonProgramFiles(x86)", L"CommonProgramW6432"},
    };
    // Left to right, as the system reads references: each %name% pair once.
    std::wstring chosen;
    size_t done = 0;
    for (size_t open = text.find(L'%'); open != std::wstring::npos; open = text.find(L'%', done)) {
        const size_t close = text.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        const std::wstring name = text.substr(open + 1, close - open - 1);
        std::wstring value;
        for (const PerKind& kind : kPerKind) {
            if (CompareNoCase(name, kind.name) != 0) continue;
            value = EnvironmentValue(bits == ProgramBits::Bits64 ? kind.bits64 : kind.bits32);
        }
        chosen += text.substr(done, open - done);
        chosen += value.empty() ? text.substr(open, close - open + 1) : value;
        done = close + 1;
    }
    chosen += text.substr(done);

    std::vector<wchar_t> buffer(kPathBuffer, L'\0');
    for (;;) {
        const DWORD needed =
            ExpandEnvironmentStringsW(chosen.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) return chosen;
        if (needed <= buffer.size()) return std::wstring(buffer.data());
        if (needed > kLongestPath) return chosen;
        buffer.assign(needed, L'\0');
    }
}

StringList GetVirtualizedFolders()
{
    StringList folders;
    const std::wstring candidates[] = {
        ExistingSpecialFolder(CSIDL_PROGRAM_FILES), ExistingSpecialFolder(CSIDL_PROGRAM_FILESX86),
        GetProgramFiles64Dir(), ExistingSpecialFolder(CSIDL_WINDOWS), ExistingSpecialFolder(CSIDL_COMMON_APPDATA)};
    for (const std::wstring& folder : candidates) {
        bool known = folder.empty();
        for (const std::wstring& earlier : folders) known = known || CompareNoCase(earlier, folder) == 0;
        if (!known) folders.push_back(folder);
    }
    return folders;
}

std::wstring GetVirtualStorePath(const std::wstring& path)
{
    return VirtualStorePathFor(path, GetVirtualizedFolders(), ExistingSpecialFolder(CSIDL_LOCAL_APPDATA));
}

std::wstring LanguageNameOf(LANGID language)
{
    switch (PRIMARYLANGID(language)) {
    case LANG_CHINESE:
        return L"chinese";
    case LANG_ENGLISH:
        return L"english";
    default:
        return L"unknow";
    }
}

std::wstring GetSystemLanguage()
{
    return LanguageNameOf(GetSystemDefaultLangID());
}

bool ShellExecuteAndWait(const std::wstring& file, int showCommand, bool wait)
{
    // The shell opens the current folder for an empty name, which is not what was asked for.
    if (file.empty()) return false;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = nullptr;
    info.lpFile = file.c_str();
    info.lpParameters = nullptr;
    info.lpDirectory = nullptr;
    info.nShow = showCommand;
    if (!ShellExecuteExW(&info)) return false;
    // A document handed to a program that was already running comes back without a process.
    if (info.hProcess == nullptr) return true;
    const CKernelHandle process(info.hProcess);
    return !wait || WaitForSingleObject(process.Get(), INFINITE) != WAIT_FAILED;
}

bool CreateProcessAndWait(const std::wstring& commandLine, bool wait)
{
    if (commandLine.empty()) return false;
    // CreateProcessW may write into the command line, so it gets a private copy. The copy is
    // whole: a command cut short could run something other than what was asked for.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
        return false;
    }
    const CKernelHandle thread(process.hThread);
    const CKernelHandle owned(process.hProcess);
    return !wait || WaitForSingleObject(owned.Get(), INFINITE) != WAIT_FAILED;
}

bool IsAnotherInstanceRunning(const std::wstring& mutexName)
{
    if (g_ownsInstanceMutex) return false;
    const std::wstring name = mutexName.empty() ? std::wstring(kInstanceMutexName) : mutexName;
    CKernelHandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    if (!mutex.IsValid()) return false;
    // Keeping this handle would keep the name alive after the other instance has ended, and
    // every later start would then find a holder that is gone.
    if (GetLastError() == ERROR_ALREADY_EXISTS) return true;
    // The handle stays open until the process ends: it is what marks this process.
    mutex.Release();
    g_ownsInstanceMutex = true;
    return false;
}

bool IsUserAdmin()
{
    if (!ImpersonateSelf(SecurityImpersonation)) return false;
    bool isAdmin = false;
    HANDLE token = nullptr;
    if (OpenQueryToken(token)) {
        const CKernelHandle owned(token);
        isAdmin = PassesAdministratorsCheck(owned.Get());
    }
    // Every path ends the impersonation; the thread must not go on under the copied token.
    if (!RevertToSelf()) return false;
    return isAdmin;
}

bool EnablePrivilege(HANDLE token, const std::wstring& privilegeName, bool enable, CLastError& error)
{
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    // The adjustment also succeeds when the token does not hold the privilege at all; only the
    // last error then tells that nothing was changed.
    if (LookupPrivilegeValueW(nullptr, privilegeName.c_str(), &privileges.Privileges[0].Luid) &&
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr) &&
        GetLastError() != ERROR_NOT_ALL_ASSIGNED) {
        return true;
    }
    error.SetError(kPrivilegeError, GetLastError());
    return false;
}

std::wstring GetCurrentUserName()
{
    wchar_t buffer[kUserNameSize + 1] = {};
    DWORD size = kUserNameSize;
    if (!GetUserNameW(buffer, &size)) return std::wstring();
    return std::wstring(buffer);
}
