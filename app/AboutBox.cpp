#include "app/AboutBox.h"

#include <shellapi.h>

#include "app/AppWindow.h"
#include "app/SafeDllSearch.h"
#include "app/VersionInfo.h"
#include "res/resource.h"
#include "support/OwnedHandle.h"
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
    const CMenuHandle menu(LoadMenuW(g_hInstance, MAKEINTRESOURCEW(IDR_HELP_MENU)));
    if (!menu.IsValid()) {
        g_runLog.Printf(L"%s:[%d]", L"LoadMenu failed", static_cast<int>(GetLastError()));
        return;
    }
    HMENU popup = GetSubMenu(menu.Get(), 0);
    if (popup != nullptr) {
        TrackPopupMenu(popup, TPM_VERTICAL, corner.x, corner.y, 0, dialog, nullptr);
    }
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

// The DPI the box is shown at: that of its monitor (Windows 10 and later), else the system's.
UINT DialogDpi(HWND dialog)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto dpiOf = FindFunction<GetDpiForWindowFn>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (dpiOf != nullptr) return dpiOf(dialog);
    const CScreenDc screen(GetDC(nullptr));
    return static_cast<UINT>(screen.IsValid() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96);
}

// The picture of bitmap resource id (32 bits a pixel, premultiplied alpha) laid on the colour
// face, as an opaque bitmap of 24 bits a pixel; nullptr when the resource is not such a bitmap.
HBITMAP PictureOnFace(UINT id, COLORREF face)
{
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(id), RT_BITMAP);
    HGLOBAL loaded = found == nullptr ? nullptr : LoadResource(g_hInstance, found);
    const auto* source = static_cast<const BITMAPINFOHEADER*>(loaded == nullptr ? nullptr : LockResource(loaded));
    // The program's own pictures, which the build checks: bottom-up, 32 bits a pixel.
    if (source == nullptr || source->biBitCount != 32 || source->biWidth <= 0 || source->biHeight <= 0) return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader = *source;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biSizeImage = 0;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr) return nullptr;
    const BYTE* from = reinterpret_cast<const BYTE*>(source + 1);
    const BYTE under[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};
    const LONG stride = (source->biWidth * 3 + 3) / 4 * 4;  // rows of a DIB are whole DWORDs
    for (LONG y = 0; y < source->biHeight; ++y) {
        BYTE* to = static_cast<BYTE*>(bits) + y * stride;
        for (LONG x = 0; x < source->biWidth; ++x, from += 4) {
            for (int c = 0; c < 3; ++c) {
                *to++ = static_cast<BYTE>(from[c] + (under[c] * (255 - from[3]) + 127) / 255);
            }
        }
    }
    return picture;
}

// Puts bitmap into the picture control, which does not own it, and deletes the one it held.
void SetPicture(HWND dialog, HBITMAP bitmap)
{
    const CGdiObject held(reinterpret_cast<HGDIOBJ>(
        SendDlgItemMessageW(dialog, IDC_ABOUT_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap))));
}

// Posted to the box by its WM_DPICHANGED, with the new DPI: the picture is picked once the
// system has done its own part of the change (on Windows 10 1703 and later it scales the
// controls of a dialog after the dialog procedure).
const UINT kPickPictureForDpi = WM_APP + 2;

// The picture drawn for the DPI (48 pixels at 96 DPI, 72 at 144, 96 at 192): the largest one not
// larger than the DPI asks for that fits its control whole, else the smallest.
HBITMAP AboutPicture(HWND dialog, UINT dpi)
{
    RECT room = {};
    if (!GetClientRect(GetDlgItem(dialog, IDC_ABOUT_PICTURE), &room)) return nullptr;
    const int wanted = MulDiv(48, static_cast<int>(dpi), 96);
    const struct { UINT id; int size; } pictures[] = {{IDB_ABOUT_200, 96}, {IDB_ABOUT_150, 72}};
    UINT chosen = IDB_ABOUT;
    for (const auto& picture : pictures) {
        if (picture.size <= wanted && picture.size <= room.right && picture.size <= room.bottom) {
            chosen = picture.id;
            break;
        }
    }
    return PictureOnFace(chosen, GetSysColor(COLOR_3DFACE));
}

INT_PTR HandleAboutMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        g_runLog.Printf(L"%s:[%d]", L"About", 383);
        SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, GetVersionFromPath(GetModulePath()).c_str());
        SetPicture(dialog, AboutPicture(dialog, DialogDpi(dialog)));
        CenterOnDesktop(dialog);
        return TRUE;
    // Moved to a monitor of another DPI. Windows 8.1 and Windows 10 before 1703 have no
    // GetDpiForWindow for the box's own DPI: the message brings it (the same on both axes).
    // Not reported as handled, so that where the system scales the controls it goes on to.
    case WM_DPICHANGED:
        TakeSuggestedRect(dialog, lParam);
        PostMessageW(dialog, kPickPictureForDpi, HIWORD(wParam), 0);
        return FALSE;
    case kPickPictureForDpi:
        SetPicture(dialog, AboutPicture(dialog, static_cast<UINT>(wParam)));
        return TRUE;
    case WM_DESTROY:
        SetPicture(dialog, nullptr);
        return FALSE;
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

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // An exception must not unwind through the system's frames that called us. The quit message
    // ends the About box's own message loop, which posts it again for the program's loop; that
    // loop rethrows the exception.
    try {
        return HandleAboutMessage(dialog, message, wParam, lParam);
    } catch (...) {
        KeepPendingException();
        return FALSE;
    }
}
