// Drives morvanti.exe from outside, as a user would, for the end-to-end tests.
//
//   e2e_driver COMMAND ARGS... [COMMAND ARGS...]...
//
// Commands run in order; the first one that fails prints "FAIL: ...", ends the program under
// test and makes the driver exit with 1. Texts given to commands take the escapes \r, \n, \\ and
// \uXXXX (one UTF-16 unit in four hexadecimal digits): Wine decodes the driver's own arguments with
// the locale's character set, which an escape does not depend on.
//   timeout MS                      how long each wait lasts (default 15000)
//   desktop NAME                    runs the driver and what it starts on a desktop of its own
//   cwd DIR                         current directory of the next start
//   start EXE ARGS                  starts EXE with ARGS as its command line after the name
//   start-escaped EXE ARGS          the same, with the escapes above applied to ARGS
//   expect-box CAPTION TEXT         waits for a message box and compares caption and text
//   press-ok                        presses OK in that box and waits until it is gone
//   wait-dialog                     waits for the main dialog (the one with box 1000)
//   expect-edit ID TEXT             compares a box of the main dialog with TEXT
//   get-edit ID                     prints: edit ID "TEXT" (escaped)
//   set-edit ID TEXT                replaces the text of a box of the main dialog
//   set-edit-lines ID PREFIX COUNT  fills the box with PREFIX1 CR LF ... PREFIXCOUNT CR LF
//   click ID                        presses a button of the main dialog (posted)
//   click-wait ID                   presses it and waits until its handler has returned: for
//                                   buttons that open no box, so that what follows sees the result
//   expect-exit CODE                waits for the program to end and compares its exit code
//   wait-window CAPTION             waits for another dialog of the program with that caption;
//                                   press-ok and the commands below act on it
//   expect-item ID TEXT             compares the text of a control of that dialog
//   expect-image ID                 the picture control ID of that dialog holds an image
//   expect-centred                  that dialog stands in the middle of the desktop
//   press ID                        presses button ID of that dialog and waits until it is gone
//   menu-choose CHAR                waits for the popup menu, checks that it opened at the
//                                   lower-left corner of the Help button, types CHAR into it
//   alt-key CHAR                    types Alt+CHAR on the keyboard into the main dialog
//   type-key CHAR                   types CHAR on the keyboard into the main dialog; for both,
//                                   #N stands for the key of virtual-key code N (#27: Esc)
//   expect-quiet MS                 for MS milliseconds no other window of the program appears
//   run-beside EXE ARGS CAPTION TEXT  starts a second program (EXE with ARGS, escapes applied)
//                                   while the first runs on, expects its message box CAPTION TEXT,
//                                   presses OK and waits for its exit with code 0; the commands
//                                   after it act on the first program again
//   copy-file FROM TO               copies the file FROM over the file TO
//   wait-file PATH                  waits until the file PATH exists (another driver's signal)
//   run-many EXE COUNT ARGS         starts COUNT copies of EXE at once, copy N with ARGS in which
//                                   every {n} is N (escapes applied); prints each message box as
//                                   copy N box "CAPTION" "TEXT" and presses OK, closes a main
//                                   dialog that opens, and waits until every copy has ended
//                                   (copy N exit CODE); fails when one does not end in time
//   pipe-server NAME                creates the named pipe \\.\pipe\NAME and waits, without
//                                   blocking, for a client to open it
//   expect-pipe-unused              no client has opened that pipe
//   post MSG WPARAM                 posts the message MSG (numbers) to the main dialog
//   lock-file PATH                  holds an exclusive lock on the first byte of PATH (made when
//                                   missing), as another saving program does, until unlock-file
//   unlock-file                     lets that lock go
//   dpi-changed DPI L,T,R,B         sends WM_DPICHANGED for DPI with that suggested rectangle to
//                                   the window of the last wait-window, else the main dialog,
//                                   which must then stand exactly there

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

DWORD g_timeoutMs = 15000;
// The server end of the pipe that pipe-server made, and the wait for a client to open it.
HANDLE g_pipe = INVALID_HANDLE_VALUE;
OVERLAPPED g_pipeConnect = {};
std::wstring g_currentDir;
std::wstring g_desktopName;
PROCESS_INFORMATION g_process = {};
HWND g_lastBox = nullptr;
// The file of lock-file and its handle.
HANDLE g_lockedFile = INVALID_HANDLE_VALUE;

// A console takes text as text: bytes written to it would be read in its output code page (437
// or 936, not UTF-8) and come out garbled. A file or a pipe gets UTF-8.
void Print(const std::wstring& text)
{
    const std::wstring line = text + L"\n";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], size,
                        nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The value of four hexadecimal digits at text[at], or -1 when there are not four.
long HexUnit(const std::wstring& text, size_t at)
{
    if (at + 4 > text.size()) return -1;
    long value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const wchar_t c = text[i];
        const int digit = (c >= L'0' && c <= L'9') ? c - L'0'
                          : (c >= L'a' && c <= L'f') ? c - L'a' + 10
                          : (c >= L'A' && c <= L'F') ? c - L'A' + 10
                                                     : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

std::wstring Unescape(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'u' && HexUnit(text, i + 2) >= 0) {
            out += static_cast<wchar_t>(HexUnit(text, i + 2));
            i += 5;
        } else if (text[i] == L'\\' && i + 1 < text.size()) {
            const wchar_t next = text[++i];
            out += next == L'r' ? L'\r' : next == L'n' ? L'\n' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::wstring Escape(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r') out += L"\\r";
        else if (c == L'\n') out += L"\\n";
        else if (c == L'\\') out += L"\\\\";
        else out += c;
    }
    return out;
}

struct WindowSearch {
    DWORD processId;
    bool wantBox;       // a message box; else the main dialog
    HWND found;
};

bool IsDialogClass(HWND window)
{
    wchar_t name[64] = {};
    return GetClassNameW(window, name, 64) > 0 && std::wcscmp(name, L"#32770") == 0;
}

// Windows puts a message box's text in the static control 0xFFFF; Wine's own message box
// template numbers it 100.
HWND MessageTextControl(HWND box)
{
    HWND text = GetDlgItem(box, 0xFFFF);
    if (text == nullptr) text = GetDlgItem(box, 100);
    return text;
}

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || !IsDialogClass(window)) return TRUE;
    const bool isMain = GetDlgItem(window, 1000) != nullptr;
    const bool isBox = !isMain && MessageTextControl(window) != nullptr;
    if ((search->wantBox && isBox) || (!search->wantBox && isMain)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

bool ProcessEnded()
{
    return g_process.hProcess != nullptr && WaitForSingleObject(g_process.hProcess, 0) == WAIT_OBJECT_0;
}

// Asks find for a window until it has one, the program ends or the timeout passes.
template <typename Find>
HWND PollForWindow(Find find)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HWND found = find();
        if (found != nullptr) return found;
        if (ProcessEnded() || GetTickCount() - start > g_timeoutMs) return nullptr;
        Sleep(50);
    }
}

HWND WaitForWindow(bool wantBox)
{
    return PollForWindow([wantBox]() {
        WindowSearch search = {g_process.dwProcessId, wantBox, nullptr};
        EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
        return search.found;
    });
}

bool ReadTextOnce(HWND window, std::wstring& text)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, g_timeoutMs, &length)) {
        return false;
    }
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, g_timeoutMs, &copied)) {
        return false;
    }
    text.assign(buffer.data(), copied < buffer.size() ? copied : 0);
    return true;
}

// A window's text. Under load Wine may take a busy program (one starting in a new prefix) for a
// hung one and not ask it: a window that does not answer is asked again for up to five seconds.
bool ReadText(HWND window, std::wstring& text)
{
    for (int tries = 0; tries < 250; ++tries) {
        if (ReadTextOnce(window, text)) return true;
        if (!IsWindow(window)) return false;
        Sleep(20);
    }
    return false;
}

bool Fail(const std::wstring& why)
{
    Print(L"FAIL: " + why);
    return false;
}

struct CaptionSearch {
    DWORD processId;
    const wchar_t* className;   // "#32770" for a dialog, "#32768" for a popup menu
    const std::wstring* caption;  // nullptr: any window of the class but the main dialog
    HWND found;
};

BOOL CALLBACK FindByCaption(HWND window, LPARAM param)
{
    CaptionSearch* search = reinterpret_cast<CaptionSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    if (owner != search->processId || !IsWindowVisible(window) || GetClassNameW(window, name, 64) <= 0
        || std::wcscmp(name, search->className) != 0) {
        return TRUE;
    }
    if (search->caption == nullptr) {
        if (GetDlgItem(window, 1000) != nullptr) return TRUE;
    } else {
        std::wstring caption;
        if (!ReadText(window, caption) || caption != *search->caption) return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND FindOtherWindow(const wchar_t* className, const std::wstring* caption)
{
    CaptionSearch search = {g_process.dwProcessId, className, caption, nullptr};
    EnumWindows(FindByCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForOtherWindow(const wchar_t* className, const std::wstring* caption)
{
    return PollForWindow([className, caption]() { return FindOtherWindow(className, caption); });
}

std::wstring RectText(const RECT& rect)
{
    return L"(" + std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L")-("
        + std::to_wstring(rect.right) + L"," + std::to_wstring(rect.bottom) + L")";
}

bool WaitWindow(const std::wstring& caption)
{
    g_lastBox = WaitForOtherWindow(L"#32770", &caption);
    if (g_lastBox == nullptr) return Fail(L"no window \"" + caption + L"\"");
    Print(L"window \"" + caption + L"\"");
    return true;
}

bool ExpectItem(const std::wstring& id, const std::wstring& text)
{
    if (g_lastBox == nullptr) return Fail(L"expect-item without a window");
    HWND item = GetDlgItem(g_lastBox, _wtoi(id.c_str()));
    std::wstring got;
    if (item == nullptr || !ReadText(item, got)) return Fail(L"cannot read item " + id);
    Print(L"item " + id + L" \"" + Escape(got) + L"\"");
    return got == text || Fail(L"expected \"" + Escape(text) + L"\"");
}

bool ExpectImage(const std::wstring& id)
{
    if (g_lastBox == nullptr) return Fail(L"expect-image without a window");
    HWND item = GetDlgItem(g_lastBox, _wtoi(id.c_str()));
    if (item == nullptr) return Fail(L"no item " + id);
    DWORD_PTR bitmap = 0;
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(item, STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_ABORTIFHUNG, g_timeoutMs, &bitmap);
    SendMessageTimeoutW(item, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, g_timeoutMs, &icon);
    RECT rect = {};
    GetWindowRect(item, &rect);
    Print(L"image " + id + L" " + RectText(rect));
    return bitmap != 0 || icon != 0 || Fail(L"item " + id + L" shows no image");
}

bool ExpectCentred()
{
    if (g_lastBox == nullptr) return Fail(L"expect-centred without a window");
    RECT desktop = {};
    RECT box = {};
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(g_lastBox, &box)) {
        return Fail(L"cannot read the window's place");
    }
    Print(L"desktop " + RectText(desktop) + L" window " + RectText(box));
    const long dx = (box.left - desktop.left) - (desktop.right - box.right);
    const long dy = (box.top - desktop.top) - (desktop.bottom - box.bottom);
    return (dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1) || Fail(L"the window is not centred");
}

bool PressButton(const std::wstring& id)
{
    if (g_lastBox == nullptr) return Fail(L"press without a window");
    const int control = _wtoi(id.c_str());
    PostMessageW(g_lastBox, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(g_lastBox, control)));
    const DWORD start = GetTickCount();
    while (IsWindow(g_lastBox)) {
        if (GetTickCount() - start > g_timeoutMs) return Fail(L"the window stays open after " + id);
        Sleep(20);
    }
    g_lastBox = nullptr;
    // What the answer starts in the main dialog (a Reload after 是) has run before what follows
    // looks at it: a sent message is taken only between the dialog's handlers (or in the next
    // box's own loop).
    WindowSearch search = {g_process.dwProcessId, false, nullptr};
    EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    DWORD_PTR ignored = 0;
    if (search.found != nullptr) {
        SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_NORMAL, g_timeoutMs, &ignored);
    }
    return true;
}

bool MenuChoose(const std::wstring& key)
{
    HWND dialog = WaitForWindow(false);
    if (dialog == nullptr || key.empty()) return Fail(L"no main dialog");
    HWND menu = WaitForOtherWindow(L"#32768", nullptr);
    if (menu == nullptr) return Fail(L"no popup menu");
    RECT menuRect = {};
    RECT button = {};
    GetWindowRect(menu, &menuRect);
    GetWindowRect(GetDlgItem(dialog, 1005), &button);
    Print(L"menu " + RectText(menuRect) + L" button " + RectText(button));
    // A menu that would run off the bottom of the screen is moved up until it fits.
    RECT desktop = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    const bool belowButton = menuRect.top == button.bottom;
    const bool pushedUp = menuRect.top < button.bottom && menuRect.bottom == desktop.bottom
        && button.bottom + (menuRect.bottom - menuRect.top) > desktop.bottom;
    if (menuRect.left != button.left || !(belowButton || pushedUp)) {
        return Fail(L"the menu did not open at the button's lower-left corner");
    }
    // The menu's own loop reads the keys from the program's queue.
    PostMessageW(dialog, WM_CHAR, key[0], 1);
    const DWORD start = GetTickCount();
    while (IsWindow(menu) && IsWindowVisible(menu)) {
        if (GetTickCount() - start > g_timeoutMs) return Fail(L"the menu stays open");
        Sleep(20);
    }
    return true;
}

// Real key strokes, so that the program's queue records Alt as held down while the character
// arrives, as it does for a person at the keyboard.
bool TypeKey(const std::wstring& key, bool withAlt)
{
    HWND dialog = WaitForWindow(false);
    if (dialog == nullptr || key.empty()) return Fail(L"no main dialog");
    const bool byCode = key.size() > 1 && key[0] == L'#';
    const SHORT scan = byCode ? static_cast<SHORT>(_wtoi(key.c_str() + 1)) : VkKeyScanW(key[0]);
    if (scan == -1) return Fail(L"no key types " + key);
    SetForegroundWindow(dialog);
    Sleep(300);
    const WORD vk = LOBYTE(scan);
    const bool shift = (HIBYTE(scan) & 1) != 0;
    std::vector<INPUT> inputs;
    auto add = [&inputs](WORD code, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (withAlt) add(VK_MENU, false);
    if (shift) add(VK_SHIFT, false);
    add(vk, false);
    add(vk, true);
    if (shift) add(VK_SHIFT, true);
    if (withAlt) add(VK_MENU, true);
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size() || Fail(L"SendInput failed");
}

bool ExpectQuiet(const std::wstring& msText)
{
    const DWORD start = GetTickCount();
    const DWORD span = static_cast<DWORD>(_wtoi(msText.c_str()));
    while (GetTickCount() - start < span) {
        HWND other = FindOtherWindow(L"#32770", nullptr);
        if (other != nullptr) {
            std::wstring caption;
            ReadText(other, caption);
            return Fail(L"a window appeared: \"" + caption + L"\"");
        }
        if (ProcessEnded()) return Fail(L"the program ended");
        Sleep(50);
    }
    return true;
}

bool MainDialogBox(const std::wstring& idText, HWND& box)
{
    HWND dialog = WaitForWindow(false);
    if (dialog == nullptr) return Fail(L"no main dialog");
    box = GetDlgItem(dialog, _wtoi(idText.c_str()));
    return box != nullptr || Fail(L"no control " + idText);
}

bool PostToDialog(const std::wstring& message, const std::wstring& wParam)
{
    HWND dialog = WaitForWindow(false);
    if (dialog == nullptr) return Fail(L"no main dialog");
    return PostMessageW(dialog, static_cast<UINT>(_wtoi(message.c_str())), static_cast<WPARAM>(_wtoi(wParam.c_str())),
                        0) ||
           Fail(L"cannot post message " + message);
}

bool LockFile(const std::wstring& path)
{
    g_lockedFile = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED firstByte = {};
    if (g_lockedFile == INVALID_HANDLE_VALUE ||
        !LockFileEx(g_lockedFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &firstByte)) {
        return Fail(L"cannot lock " + path + L", error " + std::to_wstring(GetLastError()));
    }
    Print(L"locked");
    return true;
}

bool UnlockFile()
{
    if (g_lockedFile == INVALID_HANDLE_VALUE) return Fail(L"unlock-file without lock-file");
    CloseHandle(g_lockedFile);
    g_lockedFile = INVALID_HANDLE_VALUE;
    Print(L"unlocked");
    return true;
}

// WM_DPICHANGED carries a pointer to the suggested rectangle, which the system does not carry
// across processes: the rectangle is put into the program's own memory.
bool DpiChanged(const std::wstring& dpiText, const std::wstring& rectText)
{
    RECT rect = {};
    RECT got = {};
    HWND window = g_lastBox != nullptr ? g_lastBox : WaitForWindow(false);
    if (window == nullptr || swscanf(rectText.c_str(), L"%ld,%ld,%ld,%ld", &rect.left, &rect.top, &rect.right,
                                     &rect.bottom) != 4) {
        return Fail(L"dpi-changed without a window or a rectangle");
    }
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, g_process.dwProcessId);
    void* remote = process == nullptr ? nullptr
                                      : VirtualAllocEx(process, nullptr, sizeof(rect), MEM_COMMIT, PAGE_READWRITE);
    const WORD dpi = static_cast<WORD>(_wtoi(dpiText.c_str()));
    DWORD_PTR result = 0;
    const bool sent = remote != nullptr && WriteProcessMemory(process, remote, &rect, sizeof(rect), nullptr) &&
                      SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote),
                                          SMTO_ABORTIFHUNG, g_timeoutMs, &result);
    if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (process != nullptr) CloseHandle(process);
    if (!sent || !GetWindowRect(window, &got)) return Fail(L"cannot send WM_DPICHANGED");
    Print(L"rect " + RectText(got));
    return EqualRect(&rect, &got) || Fail(L"expected " + RectText(rect));
}

bool Start(const std::wstring& exe, const std::wstring& args)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!args.empty()) commandLine += L" " + args;
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!g_desktopName.empty()) startup.lpDesktop = &g_desktopName[0];
    if (!CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        g_currentDir.empty() ? nullptr : g_currentDir.c_str(), &startup, &g_process)) {
        return Fail(L"cannot start " + exe + L", error " + std::to_wstring(GetLastError()));
    }
    Print(L"started");
    return true;
}

// A message box's caption and text. Under load Wine may show the box a moment before it has
// set them, or take a busy program for a hung one and not ask it, so a box that gives no text is
// asked again for up to five seconds.
bool ReadBox(HWND box, std::wstring& caption, std::wstring& text)
{
    for (int tries = 0;; ++tries) {
        const bool read = ReadText(box, caption) && ReadText(MessageTextControl(box), text);
        if ((read && !caption.empty() && !text.empty()) || tries == 250) return read;
        Sleep(20);
    }
}

bool ExpectBox(const std::wstring& caption, const std::wstring& text)
{
    g_lastBox = WaitForWindow(true);
    if (g_lastBox == nullptr) return Fail(L"no message box (expected \"" + Escape(text) + L"\")");
    std::wstring gotCaption;
    std::wstring gotText;
    if (!ReadBox(g_lastBox, gotCaption, gotText)) return Fail(L"cannot read the message box");
    Print(L"box \"" + gotCaption + L"\" \"" + Escape(gotText) + L"\"");
    if (gotCaption != caption || gotText != text) {
        return Fail(L"expected box \"" + caption + L"\" \"" + Escape(text) + L"\"");
    }
    return true;
}


bool SetEdit(const std::wstring& id, const std::wstring& text)
{
    HWND box = nullptr;
    if (!MainDialogBox(id, box)) return false;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_ABORTIFHUNG, g_timeoutMs, &result) || !result) {
        return Fail(L"cannot set box " + id);
    }
    return true;
}

bool Click(const std::wstring& id, bool wait)
{
    HWND dialog = WaitForWindow(false);
    if (dialog == nullptr) return Fail(L"no main dialog");
    const int control = _wtoi(id.c_str());
    if (wait) {
        // A posted message would come after messages sent later (a read of a box) do.
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)),
                                 SMTO_ABORTIFHUNG, g_timeoutMs, &result)) {
            return Fail(L"the click on " + id + L" did not return");
        }
        return true;
    }
    // Posted: the click may open a modal box, which would block a sent message.
    if (!PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)))) {
        return Fail(L"cannot post the click on " + id);
    }
    return true;
}

bool ExpectExit(const std::wstring& codeText)
{
    if (g_process.hProcess == nullptr) return Fail(L"nothing started");
    if (WaitForSingleObject(g_process.hProcess, g_timeoutMs) != WAIT_OBJECT_0) {
        return Fail(L"the program did not end");
    }
    DWORD code = 0;
    GetExitCodeProcess(g_process.hProcess, &code);
    Print(L"exit " + std::to_wstring(static_cast<int>(code)));
    CloseHandle(g_process.hProcess);
    CloseHandle(g_process.hThread);
    g_process = PROCESS_INFORMATION();
    return static_cast<int>(code) == _wtoi(codeText.c_str()) || Fail(L"expected exit " + codeText);
}

// Another copy of the program, run to its end while the first one keeps its windows open: the
// way a quick add from the browser meets an open settings dialog.
bool RunBeside(const std::wstring& exe, const std::wstring& args, const std::wstring& caption,
               const std::wstring& text)
{
    const PROCESS_INFORMATION first = g_process;
    const HWND firstBox = g_lastBox;
    g_process = PROCESS_INFORMATION();
    g_lastBox = nullptr;
    const bool ok = Start(exe, args) && ExpectBox(caption, text) && PressButton(L"1") && ExpectExit(L"0");
    // ExpectExit has closed the handles of a program that ended; one that did not is ended here.
    if (g_process.hProcess != nullptr) {
        if (!ProcessEnded()) TerminateProcess(g_process.hProcess, 99);
        CloseHandle(g_process.hProcess);
        CloseHandle(g_process.hThread);
    }
    g_process = first;
    g_lastBox = firstBox;
    return ok;
}

bool CopyOver(const std::wstring& from, const std::wstring& to)
{
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        return Fail(L"cannot copy " + from + L" to " + to + L", error " + std::to_wstring(GetLastError()));
    }
    Print(L"copied");
    return true;
}

bool WaitFile(const std::wstring& path)
{
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > g_timeoutMs) return Fail(L"no file " + path);
        Sleep(20);
    }
    return true;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Copies of the program started at the same moment, as when a browser's button is pressed a few
// times: each is answered as a person would, OK in every box and Close in the dialog.
bool RunMany(const std::wstring& exe, const std::wstring& countText, const std::wstring& args)
{
    const int count = _wtoi(countText.c_str());
    std::vector<PROCESS_INFORMATION> copies;
    bool ok = true;
    for (int n = 1; n <= count && ok; ++n) {
        g_process = PROCESS_INFORMATION();
        ok = Start(exe, ReplaceAll(args, L"{n}", std::to_wstring(n)));
        if (ok) copies.push_back(g_process);
    }
    g_process = PROCESS_INFORMATION();
    std::vector<bool> ended(copies.size(), false);
    std::vector<HWND> answered;
    const DWORD start = GetTickCount();
    size_t running = copies.size();
    while (running > 0 && GetTickCount() - start <= g_timeoutMs) {
        for (size_t i = 0; i < copies.size(); ++i) {
            if (ended[i]) continue;
            const std::wstring copy = L"copy " + std::to_wstring(i + 1);
            if (WaitForSingleObject(copies[i].hProcess, 0) == WAIT_OBJECT_0) {
                DWORD code = 0;
                GetExitCodeProcess(copies[i].hProcess, &code);
                Print(copy + L" exit " + std::to_wstring(static_cast<int>(code)));
                ended[i] = true;
                --running;
                continue;
            }
            for (bool wantBox : {true, false}) {
                WindowSearch search = {copies[i].dwProcessId, wantBox, nullptr};
                EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
                if (search.found == nullptr ||
                    std::find(answered.begin(), answered.end(), search.found) != answered.end()) {
                    continue;
                }
                answered.push_back(search.found);
                if (wantBox) {
                    std::wstring caption;
                    std::wstring text;
                    ReadBox(search.found, caption, text);
                    Print(copy + L" box \"" + caption + L"\" \"" + Escape(text) + L"\"");
                }
                PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(wantBox ? IDOK : IDCANCEL, BN_CLICKED), 0);
                break;
            }
        }
        Sleep(20);
    }
    for (size_t i = 0; i < copies.size(); ++i) {
        if (!ended[i]) {
            TerminateProcess(copies[i].hProcess, 99);
            ok = Fail(L"copy " + std::to_wstring(i + 1) + L" did not end");
        }
        CloseHandle(copies[i].hProcess);
        CloseHandle(copies[i].hThread);
    }
    return ok;
}

bool PipeServer(const std::wstring& name)
{
    const std::wstring path = L"\\\\.\\pipe\\" + name;
    g_pipe = CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT,
                              1, 4096, 4096, 0, nullptr);
    if (g_pipe == INVALID_HANDLE_VALUE) {
        return Fail(L"cannot create " + path + L", error " + std::to_wstring(GetLastError()));
    }
    g_pipeConnect.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ConnectNamedPipe(g_pipe, &g_pipeConnect) || GetLastError() != ERROR_IO_PENDING) {
        return Fail(L"the pipe " + path + L" was opened before the program started");
    }
    Print(L"pipe " + path);
    return true;
}

bool ExpectPipeUnused()
{
    if (g_pipe == INVALID_HANDLE_VALUE) return Fail(L"expect-pipe-unused without a pipe");
    // A client that opened the pipe completes the wait, even when it has closed it again.
    const bool opened = WaitForSingleObject(g_pipeConnect.hEvent, 0) == WAIT_OBJECT_0;
    Print(opened ? L"pipe opened" : L"pipe unused");
    return !opened || Fail(L"the program opened the pipe");
}

// Under Wine the desktop process of the prefix may have been started before our X server and
// cannot show windows there; a desktop of our own is served by a process started from here,
// with our DISPLAY.
bool UseDesktop(const std::wstring& name)
{
    HDESK desktop = CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop == nullptr) return Fail(L"cannot create desktop " + name);
    if (!SetThreadDesktop(desktop)) return Fail(L"cannot use desktop " + name);
    g_desktopName = name;
    return true;
}

struct Command {
    const wchar_t* name;
    int arity;
};

const Command kCommands[] = {
    {L"timeout", 1}, {L"desktop", 1}, {L"cwd", 1}, {L"start", 2}, {L"start-escaped", 2},
    {L"expect-box", 2}, {L"press-ok", 0}, {L"wait-dialog", 0}, {L"expect-edit", 2}, {L"get-edit", 1},
    {L"set-edit", 2}, {L"set-edit-lines", 3}, {L"click", 1}, {L"click-wait", 1}, {L"expect-exit", 1},
    {L"show-boxes-until-exit", 0}, {L"wait-window", 1}, {L"expect-item", 2}, {L"expect-image", 1},
    {L"expect-centred", 0}, {L"press", 1}, {L"menu-choose", 1}, {L"alt-key", 1}, {L"type-key", 1},
    {L"expect-quiet", 1}, {L"run-beside", 4}, {L"copy-file", 2}, {L"wait-file", 1}, {L"run-many", 3},
    {L"pipe-server", 1}, {L"expect-pipe-unused", 0}, {L"post", 2}, {L"lock-file", 1},
    {L"unlock-file", 0}, {L"dpi-changed", 2},
};

// For a person watching from a terminal: prints every message box and answers it with OK; a
// main dialog that opens is shown (its three boxes) and closed; ends with the exit code.
bool ShowUntilExit()
{
    const DWORD start = GetTickCount();
    while (!ProcessEnded()) {
        if (GetTickCount() - start > g_timeoutMs) return Fail(L"the program did not end");
        WindowSearch boxSearch = {g_process.dwProcessId, true, nullptr};
        EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&boxSearch));
        if (boxSearch.found != nullptr) {
            std::wstring caption;
            std::wstring text;
            if (ReadBox(boxSearch.found, caption, text)) {
                Print(L"[" + caption + L"] " + text);
            }
            g_lastBox = boxSearch.found;
            if (!PressButton(L"1")) return false;
            continue;
        }
        WindowSearch dialogSearch = {g_process.dwProcessId, false, nullptr};
        EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&dialogSearch));
        if (dialogSearch.found != nullptr) {
            // Give the dialog time to show its own error box first.
            Sleep(500);
            WindowSearch again = {g_process.dwProcessId, true, nullptr};
            EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&again));
            if (again.found != nullptr) continue;
            const wchar_t* names[] = {L"include list", L"exclude list", L"script path"};
            for (int id = 1000; id <= 1002; ++id) {
                std::wstring text;
                if (ReadText(GetDlgItem(dialogSearch.found, id), text)) {
                    Print(std::wstring(L"[dialog: ") + names[id - 1000] + L"]\r\n" + text);
                }
            }
            Print(L"[dialog closed: run with a display to use it]");
            PostMessageW(dialogSearch.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            Sleep(500);
            continue;
        }
        Sleep(50);
    }
    DWORD code = 0;
    GetExitCodeProcess(g_process.hProcess, &code);
    Print(L"exit code " + std::to_wstring(static_cast<int>(code)));
    return true;
}

bool RunCommand(const std::wstring& name, const std::vector<std::wstring>& a)
{
    if (name == L"timeout") { g_timeoutMs = static_cast<DWORD>(_wtoi(a[0].c_str())); return true; }
    if (name == L"cwd") { g_currentDir = a[0]; return true; }
    if (name == L"desktop") return UseDesktop(a[0]);
    if (name == L"start") return Start(a[0], a[1]);
    if (name == L"start-escaped") return Start(a[0], Unescape(a[1]));
    if (name == L"expect-box") return ExpectBox(Unescape(a[0]), Unescape(a[1]));
    if (name == L"press-ok") return PressButton(L"1");
    if (name == L"wait-dialog") return WaitForWindow(false) != nullptr || Fail(L"no main dialog");
    if (name == L"set-edit") return SetEdit(a[0], Unescape(a[1]));
    if (name == L"set-edit-lines") {
        std::wstring text;
        const int count = _wtoi(a[2].c_str());
        for (int i = 1; i <= count; ++i) text += a[1] + std::to_wstring(i) + L"\r\n";
        return SetEdit(a[0], text);
    }
    if (name == L"click") return Click(a[0], false);
    if (name == L"click-wait") return Click(a[0], true);
    if (name == L"expect-exit") return ExpectExit(a[0]);
    if (name == L"show-boxes-until-exit") return ShowUntilExit();
    if (name == L"wait-window") return WaitWindow(Unescape(a[0]));
    if (name == L"expect-item") return ExpectItem(a[0], Unescape(a[1]));
    if (name == L"expect-image") return ExpectImage(a[0]);
    if (name == L"expect-centred") return ExpectCentred();
    if (name == L"press") return PressButton(a[0]);
    if (name == L"menu-choose") return MenuChoose(Unescape(a[0]));
    if (name == L"alt-key") return TypeKey(Unescape(a[0]), true);
    if (name == L"type-key") return TypeKey(Unescape(a[0]), false);
    if (name == L"expect-quiet") return ExpectQuiet(a[0]);
    if (name == L"run-beside") return RunBeside(a[0], Unescape(a[1]), Unescape(a[2]), Unescape(a[3]));
    if (name == L"copy-file") return CopyOver(a[0], a[1]);
    if (name == L"wait-file") return WaitFile(a[0]);
    if (name == L"run-many") return RunMany(a[0], a[1], Unescape(a[2]));
    if (name == L"pipe-server") return PipeServer(a[0]);
    if (name == L"expect-pipe-unused") return ExpectPipeUnused();
    if (name == L"post") return PostToDialog(a[0], a[1]);
    if (name == L"lock-file") return LockFile(a[0]);
    if (name == L"unlock-file") return UnlockFile();
    if (name == L"dpi-changed") return DpiChanged(a[0], a[1]);
    // get-edit and expect-edit
    HWND box = nullptr;
    std::wstring text;
    if (!MainDialogBox(a[0], box)) return false;
    if (!ReadText(box, text)) return Fail(L"cannot read box " + a[0]);
    Print(L"edit " + a[0] + L" \"" + Escape(text) + L"\"");
    return name == L"get-edit" || text == Unescape(a[1]) || Fail(L"expected \"" + a[1] + L"\"");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int i = 1;
    while (i < argc) {
        const std::wstring name = argv[i++];
        const Command* command = nullptr;
        for (const Command& c : kCommands) {
            if (name == c.name) command = &c;
        }
        if (command == nullptr || i + command->arity > argc) {
            Print(L"FAIL: bad command " + name);
            return 2;
        }
        std::vector<std::wstring> args(argv + i, argv + i + command->arity);
        i += command->arity;
        if (!RunCommand(name, args)) {
            if (g_process.hProcess != nullptr && !ProcessEnded()) TerminateProcess(g_process.hProcess, 99);
            return 1;
        }
    }
    return 0;
}
