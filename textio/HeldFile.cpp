#include "textio/HeldFile.h"

#include <algorithm>
#include <vector>

#include "support/LastError.h"
#include "support/OwnedHandle.h"
#include "support/Paths.h"
#include "textio/RunLog.h"

namespace {

// Whether the access list of path grants this process access; true when the system cannot tell
// (then a denial is taken for a hold, as it always was). Under Wine the list is the one Wine makes
// from the host's file permissions, so the answer is the host's, as the denial was.
bool AccessListGrants(const std::wstring& path, DWORD access)
{
    const SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    const std::wstring name = LongPathForm(path);
    DWORD needed = 0;
    GetFileSecurityW(name.c_str(), parts, nullptr, 0, &needed);
    if (needed == 0) return true;
    std::vector<unsigned char> descriptor(needed);
    if (!GetFileSecurityW(name.c_str(), parts, descriptor.data(), needed, &needed)) return true;
    HANDLE process = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) return true;
    const CKernelHandle processToken(process);
    HANDLE impersonation = nullptr;
    if (!DuplicateToken(processToken.Get(), SecurityImpersonation, &impersonation)) return true;
    const CKernelHandle token(impersonation);
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&access, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    if (!AccessCheck(descriptor.data(), token.Get(), access, &mapping, &privileges, &privilegesSize, &granted,
                     &status)) {
        return true;
    }
    return status != FALSE;
}

} // namespace

bool HeldByAnotherProgram(const std::wstring& path, DWORD code, DWORD access)
{
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    // A file being deleted cannot even be asked; one that is not there was refused by its folder.
    const DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD why = GetLastError();
        return why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return false;
    return AccessListGrants(path, access);
}

DWORD RetryWhileHeld(const std::wstring& path, DWORD access, const std::function<DWORD()>& step)
{
    DWORD code = step();
    for (DWORD waited = 0, pause = 50; HeldByAnotherProgram(path, code, access); pause *= 2) {
        if (waited >= kHeldFileWaitMs) {
            std::wstring reason;
            if (g_runLog.IsOpen() && FormatSystemMessage(code, reason)) {
                g_runLog.WriteFormat(L"file held by another program[%s][%s]", path, reason);
            }
            break;
        }
        pause = std::min<DWORD>(pause, kHeldFileWaitMs - waited);
        Sleep(pause);
        waited += pause;
        code = step();
    }
    return code;
}
