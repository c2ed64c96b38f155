#include "app/AboutBox.h"

#include <shellapi.h>

#include "app/MainDialog.h"
#include "app/VersionInfo.h"
#include "res/resource.h"
#include "support/SystemHelpers.h"
#include "textio/RunLog.h"

void ShowHelpMenu(HWND dialog, HWND helpButton)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 337);
    RECT button = {};
    if (helpButton == nullptr || !GetClientRect(helpButton, &button)) return;
    // The menu opens at the button's lower-left corner.
    POINT corner = {button.left, button.bottom};
    if (!ClientToScreen(helpButton, &corner)) return;
    HMENU menu = LoadMenuW(g_hInstance, MAKEINTRESOURCEW(IDR_HELP_MENU));
    if (menu == nullptr) {
        g_runLog.Printf(L"%s:[%d]", L"LoadMenu failed", static_cast<int>(GetLastError()));
        return;
    }
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != nullptr) {
        TrackPopupMenu(popup, TPM_VERTICAL, corner.x, corner.y, 0, dialog, nullptr);
    }
    DestroyMenu(menu);
}

void OpenWebPage(UINT stringId)
{
    wchar_t address[260] = {};
    if (LoadStringW(g_hInstance, stringId, address, 260) <= 0) return;
    ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

void ShowAboutBox(HWND owner)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 275);
    if (DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDlgProc, 0) == -1) {
        g_runLog.Printf(L"%s:[%d]", L"DialogBox failed", static_cast<int>(GetLastError()));
    }
}

namespace {

INT_PTR HandleAboutMessage(HWND dialog, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG:
        g_runLog.Printf(L"%s:[%d]", L"About", 383);
        SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, GetVersionFromPath(GetModulePath()).c_str());
        CenterOnDesktop(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    // An exception must not unwind through the system's frames that called us. The quit message
    // ends the About box's own message loop, which posts it again for the program's loop; that
    // loop rethrows the exception.
    try {
        return HandleAboutMessage(dialog, message, wParam);
    } catch (...) {
        KeepPendingException();
        return FALSE;
    }
}
