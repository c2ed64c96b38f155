#include "textio/HeldFile.h"

#include <algorithm>

#include "support/LastError.h"
#include "support/Paths.h"
#include "textio/RunLog.h"

bool HeldByAnotherProgram(const std::wstring& path, DWORD code)
{
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    // A file being deleted cannot even be asked.
    const DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

DWORD RetryWhileHeld(const std::wstring& path, const std::function<DWORD()>& step)
{
    DWORD code = step();
    for (DWORD waited = 0, pause = 50; HeldByAnotherProgram(path, code); pause *= 2) {
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
