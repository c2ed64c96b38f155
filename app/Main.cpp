// Process entry: the command-line quick add, then the main dialog and its message loop.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/AppText.h"
#include "app/AppWindow.h"
#include "app/MainDialog.h"
#include "app/SafeDllSearch.h"
#include "res/resource.h"
#include "script/ScriptLocation.h"
#include "textio/RunLog.h"

HINSTANCE g_hInstance = nullptr;
HWND g_mainDialog = nullptr;

namespace {

const int kTextBufferSize = 100;
wchar_t g_title[kTextBufferSize] = {};
wchar_t g_windowClass[kTextBufferSize] = {};
std::wstring g_commandLine;

void LoadText(HINSTANCE instance, UINT id, wchar_t* buffer)
{
    if (LoadStringW(instance, id, buffer, kTextBufferSize) == 0) {
        g_runLog.Printf(L"%s:[%d]", L"LoadString failed", static_cast<int>(id));
    }
}

}  // namespace

// The class is registered for the program's identity (icon, menu, name); the dialog does not
// use it, so the default procedure serves it.
void MyRegisterClass(HINSTANCE instance)
{
    g_runLog.Printf(L"%s:[%d]", L"MyRegisterClass", 118);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MORVANTI));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_MORVANTI);
    windowClass.lpszClassName = g_windowClass;
    if (RegisterClassExW(&windowClass) == 0) {
        g_runLog.Printf(L"%s:[%d]", L"RegisterClassEx failed", static_cast<int>(GetLastError()));
    }
}

bool InitInstance(HINSTANCE instance, int showMode)
{
    g_runLog.Printf(L"%s:[%d]", L"InitInstance", 150);
    g_hInstance = instance;
    g_mainDialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, WndProc, 0);
    if (g_mainDialog == nullptr) return false;
    ShowWindow(g_mainDialog, showMode);
    UpdateWindow(g_mainDialog);
    return true;
}

namespace {

// Returns the process exit code.
int Run(HINSTANCE instance, const wchar_t* commandLine, int showMode)
{
    g_hInstance = instance;
    LoadText(instance, IDS_APP_TITLE, g_title);
    LoadText(instance, IDS_WINDOW_CLASS, g_windowClass);
    MyRegisterClass(instance);

    g_commandLine = commandLine != nullptr ? commandLine : L"";
    if (!g_commandLine.empty()) {
        g_runLog.WriteFormat(L"cmd start[%s]", g_commandLine);
        g_commandLine = StripOuterQuotes(g_commandLine);
        const bool added = AddURLtoInlcude(g_commandLine);
        const std::wstring text = QuickAddMessage(g_commandLine, added);
        if (MessageBoxW(nullptr, text.c_str(), g_title, MB_OK) == 0) {
            g_runLog.WriteFormat(L"MessageBox failed[%s]", text);
        }
        if (added) return 0;
        g_runLog.WriteLine(L"cmd end");
    }

    if (!InitInstance(instance, showMode)) {
        g_runLog.WriteLine(L"InitInstance False");
        return 0;
    }
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_MORVANTI));

    MSG message = {};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) {
            // Only an invalid argument makes GetMessage fail; retrying would spin for ever.
            g_runLog.Printf(L"%s:[%d]", L"GetMessage failed", static_cast<int>(GetLastError()));
            return -1;
        }
        // The dialog's own keyboard handling takes every key typed into it, so its accelerators
        // are looked at first, and their command goes to the dialog, not to the focused box.
        const bool forDialog = g_mainDialog != nullptr
            && (message.hwnd == g_mainDialog || IsChild(g_mainDialog, message.hwnd));
        const bool handled =
            // turned into a command of the dialog
            (forDialog && accelerators != nullptr
                && TranslateAcceleratorW(g_mainDialog, accelerators, &message))
            // handled by the dialog
            || (g_mainDialog != nullptr && IsDialogMessageW(g_mainDialog, &message))
            // turned into a command
            || (accelerators != nullptr && TranslateAcceleratorW(message.hwnd, accelerators, &message));
        if (!handled) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (g_pendingException) std::rethrow_exception(g_pendingException);
    }
    if (g_pendingException) std::rethrow_exception(g_pendingException);
    const int exitCode = static_cast<int>(message.wParam);
    g_runLog.Printf(L"Applaction End[%d]", exitCode);
    return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showMode)
{
    // Before anything can load a DLL: no DLL from the current folder or the program's folder.
    RestrictDllSearch();
    // Version 6 of the common controls (named in the manifest) draws the visual styles.
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    try {
        const int exitCode = Run(instance, commandLine, showMode);
        WaitForPendingSave();
        return exitCode;
    } catch (...) {
        // Not in the middle of a write, whatever went wrong elsewhere.
        WaitForPendingSave();
        const std::wstring text = ApologyText();
        MessageBoxW(nullptr, text.c_str(), kApologyCaption, MB_OK | MB_ICONERROR);
        return -1;
    }
}
