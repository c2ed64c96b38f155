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
