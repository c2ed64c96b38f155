#include "app/MainDialog.h"

#include <initializer_list>
#include <string>

#include "app/AboutBox.h"
#include "app/AppText.h"
#include "app/ScriptActions.h"
#include "res/resource.h"
#include "script/AutoRender.h"
#include "script/ScriptLocation.h"
#include "textio/RunLog.h"

std::exception_ptr g_pendingException;

namespace {

const wchar_t kErrorCaption[] = L"错误";
const wchar_t kSuccessCaption[] = L"成功";
const wchar_t kEmptyPathText[] = L"javascript文件不能指定为空。";
const wchar_t kCannotOpenText[] = L"无法打开javascript文件，请检查其是否存在。";
// A file whose bytes could not all be written back as they are is neither shown nor saved.
const wchar_t kEncodingNotKeptText[] =
    L"无法保持javascript文件的编码不变（UTF-16大端序、含有NUL字符或不完整的UTF-16），为免损坏文件，未读取也未修改它。";

// The box for a failed read of the script.
const wchar_t* CannotReadText(ScriptAction action)
{
    return action == ScriptAction::EncodingNotKept ? kEncodingNotKeptText : kCannotOpenText;
}

void ShowBox(HWND owner, const wchar_t* text, const wchar_t* caption)
{
    if (MessageBoxW(owner, text, caption, MB_OK) == 0) {
        g_runLog.WriteFormat(L"MessageBox failed[%s]", text);
    }
}

// The whole text, however long: a pattern list larger than any fixed buffer must not be cut.
std::wstring ReadBoxText(HWND box)
{
    const LRESULT length = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(box, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                        reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 && static_cast<size_t>(copied) < text.size() ? static_cast<size_t>(copied) : 0);
    return text;
}

void SetBoxText(HWND dialog, int id, const std::wstring& text)
{
    if (!SetDlgItemTextW(dialog, id, text.c_str())) {
        g_runLog.Printf(L"%s:[%d]", L"SetDlgItemText failed", id);
    }
}

void ShowPatterns(HWND dialog)
{
    SetBoxText(dialog, IDC_INCLUDE_EDIT, g_autoRender.includeText);
    SetBoxText(dialog, IDC_EXCLUDE_EDIT, g_autoRender.excludeText);
}

void SetWindowIcon(HWND dialog)
{
    // A shared icon from the module: nothing to free, and the same for both sizes.
    HICON icon = LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_MORVANTI));
    if (icon == nullptr) return;
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void OnInitDialog(HWND dialog)
{
    g_runLog.WriteLine(L"WM_INITDIALOG");
    SetWindowIcon(dialog);
    // The edit control's default limit only stops typing and pasting, but a long pattern list
    // must stay editable as a whole.
    for (int id : {IDC_INCLUDE_EDIT, IDC_EXCLUDE_EDIT, IDC_PATH_EDIT}) {
        SendDlgItemMessageW(dialog, id, EM_SETLIMITTEXT, 0, 0);
    }
    CenterOnDesktop(dialog);
    OnInitDlg(dialog);
}

void OnSave(HWND dialog)
{
    const std::wstring pathText = ReadBoxText(GetDlgItem(dialog, IDC_PATH_EDIT));
    const std::wstring includeText = ReadBoxText(GetDlgItem(dialog, IDC_INCLUDE_EDIT));
    const std::wstring excludeText = ReadBoxText(GetDlgItem(dialog, IDC_EXCLUDE_EDIT));
    SavedLists saved;
    const ScriptAction action = SaveScriptTexts(pathText, includeText, excludeText, saved);
    // A list that took in another program's changes is shown as the file now holds it.
    if (saved.includeMerged) SetBoxText(dialog, IDC_INCLUDE_EDIT, saved.includeText);
    if (saved.excludeMerged) SetBoxText(dialog, IDC_EXCLUDE_EDIT, saved.excludeText);
    switch (action) {
    case ScriptAction::EmptyPath: ShowBox(dialog, kEmptyPathText, kErrorCaption); break;
    case ScriptAction::CannotOpen:
    case ScriptAction::EncodingNotKept: ShowBox(dialog, CannotReadText(action), kErrorCaption); break;
    case ScriptAction::PatternNotWritable: {
        const std::wstring text =
            L"javascript文件的编码无法表示这一行中的字符，文件未作修改：\r\n" + saved.unwritablePattern;
        ShowBox(dialog, text.c_str(), kErrorCaption);
        break;
    }
    case ScriptAction::MarkAtStart:
        ShowBox(dialog,
                L"保存后javascript文件的开头会被当作字节顺序标记（BOM），下次将无法按原编码读取，文件未作修改。"
                L"请保留第一个模式块，或先删去文件中随后一行开头的这些字符。",
                kErrorCaption);
        break;
    case ScriptAction::CannotWrite:
        ShowBox(dialog, L"无法写入javascript文件，请检查其是否可写。", kErrorCaption);
        break;
    case ScriptAction::Done: ShowBox(dialog, L"写入javascript文件成功。", kSuccessCaption); break;
    }
}

void OnReload(HWND dialog)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 315);
    const ScriptAction action = ReloadScript(ReadBoxText(GetDlgItem(dialog, IDC_PATH_EDIT)));
    switch (action) {
    case ScriptAction::EmptyPath: ShowBox(dialog, kEmptyPathText, kErrorCaption); break;
    case ScriptAction::Done: ShowPatterns(dialog); break;
    default: ShowBox(dialog, CannotReadText(action), kErrorCaption); break;
    }
}

void OnClose(HWND dialog)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 255);
    // Failing to store the path is not worth a message on the way out.
    StoreScriptPathIfChanged();
    // A modeless dialog ends by being destroyed; its WM_DESTROY posts the quit message.
    if (!DestroyWindow(dialog)) {
        g_runLog.Printf(L"%s:[%d]", L"DestroyWindow failed", static_cast<int>(GetLastError()));
        PostQuitMessage(0);
    }
}

void OnPathChanged(WORD notification)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 302);
    if (notification == EN_CHANGE) g_pathChanged = true;
}

void OnExitCommand(HWND dialog)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 353);
    if (!DestroyWindow(dialog)) PostQuitMessage(0);
}

void OnWebPage(int traceNumber, UINT stringId)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", traceNumber);
    OpenWebPage(stringId);
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDOK: OnSave(dialog); return 0;
    case IDCANCEL: OnClose(dialog); return 1;
    case IDC_RELOAD: OnReload(dialog); return 0;
    case IDC_PATH_EDIT: OnPathChanged(HIWORD(wParam)); return 0;
    case IDC_HELP_BUTTON: ShowHelpMenu(dialog, GetDlgItem(dialog, IDC_HELP_BUTTON)); return 0;
    case IDM_HOME_PAGE: OnWebPage(279, IDS_HOME_PAGE); return 0;
    case IDM_HELP_PAGE: OnWebPage(287, IDS_HELP_PAGE); return 0;
    case IDM_FEEDBACK: OnWebPage(295, IDS_FEEDBACK_PAGE); return 0;
    case IDM_ABOUT: ShowAboutBox(dialog); return 0;
    case IDM_EXIT: OnExitCommand(dialog); return 0;
    default: return DefWindowProcW(dialog, WM_COMMAND, wParam, lParam);
    }
}

void OnPaint(HWND dialog)
{
    PAINTSTRUCT paint = {};
    if (BeginPaint(dialog, &paint) != nullptr) EndPaint(dialog, &paint);
}

void OnDestroy(HWND dialog)
{
    if (dialog == g_mainDialog) g_mainDialog = nullptr;
    PostQuitMessage(0);
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); return 0;
    case WM_COMMAND: return OnCommand(dialog, wParam, lParam);
    case WM_PAINT: OnPaint(dialog); return 0;
    case WM_DESTROY: OnDestroy(dialog); return 0;
    default: return 0;
    }
}

}  // namespace

void KeepPendingException()
{
    if (!g_pendingException) g_pendingException = std::current_exception();
    PostQuitMessage(-1);
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

void OnInitDlg(HWND dialog)
{
    g_runLog.Printf(L"%s:[%d]", L"OnInitDlg", 9);
    const ScriptSource source = LocateScript(true);
    if (source == ScriptSource::NotFound) {
        ShowBox(dialog, L"找不到javascript文件，请自己指定其路径。", kErrorCaption);
        return;
    }
    if (source == ScriptSource::Opera) g_pathChanged = true;
    SetBoxText(dialog, IDC_PATH_EDIT, g_scriptPath);
    const ScriptAction action = ReloadScript(g_scriptPath);
    if (action == ScriptAction::Done) {
        ShowPatterns(dialog);
    } else {
        g_runLog.WriteFormat(L"cann't open script[%s]", g_scriptPath);
        ShowBox(dialog, CannotReadText(action), kErrorCaption);
    }
}

INT_PTR CALLBACK WndProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // An exception must not unwind through the system's frames that called us.
    try {
        return HandleMessage(dialog, message, wParam, lParam);
    } catch (...) {
        KeepPendingException();
        return 0;
    }
}
