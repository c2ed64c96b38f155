#include "app/AppWindow.h"

#include "app/AppText.h"
#include "textio/RunLog.h"

std::exception_ptr g_pendingException;

void KeepPendingException()
{
    KeepPendingException(std::current_exception());
}

void KeepPendingException(const std::exception_ptr& thrown)
{
    if (!g_pendingException) g_pendingException = thrown;
    PostQuitMessage(-1);
}

void TakeSuggestedRect(HWND window, LPARAM suggested)
{
    const RECT* rect = reinterpret_cast<const RECT*>(suggested);
    if (rect == nullptr) return;
    if (!SetWindowPos(window, nullptr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                      SWP_NOZORDER | SWP_NOACTIVATE)) {
        g_runLog.Printf(L"%s:[%d]", L"SetWindowPos failed", static_cast<int>(GetLastError()));
    }
}

void CenterOnDesktop(HWND window)
{
    RECT desktop = {};
    RECT box = {};
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(window, &box)) return;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int x = CenteredOffset(desktop.right - desktop.left, width);
    const int y = CenteredOffset(desktop.bottom - desktop.top, height);
    if (!SetWindowPos(window, HWND_NOTOPMOST, x, y, width, height, SWP_SHOWWINDOW)) {
        g_runLog.Printf(L"%s:[%d]", L"SetWindowPos failed", static_cast<int>(GetLastError()));
    }
}
