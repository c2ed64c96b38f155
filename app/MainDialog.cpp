#include "app/MainDialog.h"

#include <initializer_list>
#include <string>
#include <utility>

#include "app/AboutBox.h"
#include "app/AppText.h"
#include "app/AppWindow.h"
#include "app/SaveWorker.h"
#include "app/ScriptActions.h"
#include "res/resource.h"
#include "script/AutoRender.h"
#include "script/ScriptLocation.h"
#include "textio/RunLog.h"

namespace {

// Posted by the save's thread when a step of a Save has ended.
const UINT kSaveStepEnded = WM_APP + 1;

// The pattern boxes as they were last filled from a script or saved to it: anything else in
// them is an edit that Close or Reload would throw away. path: the path box's text then, empty
// when the boxes came from no script.
struct ShownLists {
    std::wstring path;
    std::wstring includeText;
    std::wstring excludeText;
};
ShownLists g_shown;

// One Save, from its button (or a Close answered 是) to its message box. The save's thread
// writes the outcome of the step it runs; the window's thread reads it once that step ended.
struct PendingSave {
    std::wstring pathText;
    std::wstring includeText;
    std::wstring excludeText;
    bool closeAfter = false;  // a Close that asked first: the dialog ends when the save succeeds
    bool confirmed = false;   // 是 to the question before replacing another script's lists
    bool mustAsk = false;     // the step found that question to be asked; nothing was written
    ScriptAction action = ScriptAction::CannotWrite;
    SavedLists saved;
};
PendingSave g_save;
CSaveWorker g_saveWorker;
HWND g_focusBeforeSave = nullptr;
// A question of the dialog is up or a Save has not ended: the buttons, menus and Close wait.
bool g_busy = false;

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

// The whole text of the dialog's box id, however long: a pattern list larger than any fixed
// buffer must not be cut.
std::wstring ReadBoxText(HWND dialog, int id)
{
    const HWND box = GetDlgItem(dialog, id);
    const LRESULT length = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(box, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                        reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 && static_cast<size_t>(copied) < text.size() ? static_cast<size_t>(copied) : 0);
    return text;
}

// A question owned by the dialog, with its caption (the display name); 0 when it cannot be shown.
int Ask(HWND dialog, const std::wstring& text, UINT buttons)
{
    wchar_t caption[100] = {};
    GetWindowTextW(dialog, caption, 100);
    const bool wasBusy = std::exchange(g_busy, true);
    const int answer = MessageBoxW(dialog, text.c_str(), caption, buttons);
    g_busy = wasBusy;
    if (answer == 0) g_runLog.WriteFormat(L"MessageBox failed[%s]", text);
    return answer;
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

void ShowWaitCursor()
{
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
}

void RememberShownLists(HWND dialog, const std::wstring& path)
{
    g_shown.path = path;
    g_shown.includeText = ReadBoxText(dialog, IDC_INCLUDE_EDIT);
    g_shown.excludeText = ReadBoxText(dialog, IDC_EXCLUDE_EDIT);
}

bool HasUnsavedEdits(HWND dialog)
{
    return ReadBoxText(dialog, IDC_INCLUDE_EDIT) != g_shown.includeText ||
           ReadBoxText(dialog, IDC_EXCLUDE_EDIT) != g_shown.excludeText;
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

// On the save's thread: the question about another script's lists is asked first (the read
// that decides it may wait for a held file too), then the save.
void RunSaveStep(PendingSave& save)
{
    save.mustAsk = !save.confirmed && SaveReplacesUnseenLists(save.pathText);
    if (save.mustAsk) return;
    save.action = SaveScriptTexts(save.pathText, save.includeText, save.excludeText, save.saved);
}

// The window stays drawn and answering while the save waits for its turn or for a held script;
// disabled, it takes no typing, clicks or Close, and shows the wait cursor.
void StartSaveStep(HWND dialog)
{
    g_busy = true;
    g_focusBeforeSave = GetFocus();
    EnableWindow(dialog, FALSE);
    ShowWaitCursor();
    g_saveWorker.Start(dialog, kSaveStepEnded, [] { RunSaveStep(g_save); });
}

void OnSave(HWND dialog, bool closeAfter)
{
    g_save = PendingSave();
    g_save.pathText = ReadBoxText(dialog, IDC_PATH_EDIT);
    g_save.includeText = ReadBoxText(dialog, IDC_INCLUDE_EDIT);
    g_save.excludeText = ReadBoxText(dialog, IDC_EXCLUDE_EDIT);
    g_save.closeAfter = closeAfter;
    StartSaveStep(dialog);
}

void ShowSaveOutcome(HWND dialog, const PendingSave& save)
{
    const SavedLists& saved = save.saved;
    // A list that took in another program's changes is shown as the file now holds it.
    if (saved.includeMerged) SetBoxText(dialog, IDC_INCLUDE_EDIT, saved.includeText);
    if (saved.excludeMerged) SetBoxText(dialog, IDC_EXCLUDE_EDIT, saved.excludeText);
    if (save.action == ScriptAction::Done) RememberShownLists(dialog, save.pathText);
    switch (save.action) {
    case ScriptAction::EmptyPath: ShowBox(dialog, kEmptyPathText, kErrorCaption); break;
    case ScriptAction::CannotOpen:
    case ScriptAction::EncodingNotKept: ShowBox(dialog, CannotReadText(save.action), kErrorCaption); break;
    case ScriptAction::PatternNotWritable: {
        const std::wstring text = kPatternNotWritableText + saved.unwritablePattern;
        ShowBox(dialog, text.c_str(), kErrorCaption);
        break;
    }
    case ScriptAction::MarkAtStart:
        ShowBox(dialog, kMarkAtStartText, kErrorCaption);
        break;
    case ScriptAction::CannotWrite:
        ShowBox(dialog, kCannotWriteText, kErrorCaption);
        break;
    case ScriptAction::Done:
        // A Close that saved first ends the dialog: that is the news of the save.
        if (!save.closeAfter) ShowBox(dialog, kSavedText, kSuccessCaption);
        break;
    }
}

void CloseDialog(HWND dialog);

void OnSaveStepEnded(HWND dialog)
{
    const std::exception_ptr thrown = g_saveWorker.Finish();
    EnableWindow(dialog, TRUE);
    if (g_focusBeforeSave != nullptr && IsChild(dialog, g_focusBeforeSave)) SetFocus(g_focusBeforeSave);
    if (thrown) {
        KeepPendingException(thrown);
        return;
    }
    if (g_save.mustAsk) {
        // Nothing was written: the lists of that script are replaced only when the user says so.
        if (Ask(dialog, ReplaceOtherListsQuestion(g_save.pathText, g_shown.path), MB_YESNO) == IDYES) {
            g_save.confirmed = true;
            StartSaveStep(dialog);
            return;
        }
        g_busy = false;
        return;
    }
    ShowSaveOutcome(dialog, g_save);
    g_busy = false;
    if (g_save.closeAfter && g_save.action == ScriptAction::Done) CloseDialog(dialog);
}

// While a save runs, the dialog shows the wait cursor wherever the mouse is on it.
bool OnSetCursor(HWND dialog)
{
    if (!g_saveWorker.IsRunning()) return false;
    ShowWaitCursor();
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
    return true;
}

void OnReload(HWND dialog)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 315);
    const std::wstring pathText = ReadBoxText(dialog, IDC_PATH_EDIT);
    // Edits in the boxes would be replaced: only when the user says so.
    if (!pathText.empty() && HasUnsavedEdits(dialog) &&
        Ask(dialog, ReloadDiscardsEditsQuestion(), MB_YESNO) != IDYES) {
        return;
    }
    const ScriptAction action = ReloadScript(pathText);
    switch (action) {
    case ScriptAction::EmptyPath: ShowBox(dialog, kEmptyPathText, kErrorCaption); break;
    case ScriptAction::Done:
        ShowPatterns(dialog);
        RememberShownLists(dialog, pathText);
        break;
    default: ShowBox(dialog, CannotReadText(action), kErrorCaption); break;
    }
}

// Stores a changed path and ends the dialog, and with it the program.
void CloseDialog(HWND dialog)
{
    // Failing to store the path is not worth a message on the way out.
    StoreScriptPathIfChanged();
    // A modeless dialog ends by being destroyed; its WM_DESTROY posts the quit message.
    if (!DestroyWindow(dialog)) {
        g_runLog.Printf(L"%s:[%d]", L"DestroyWindow failed", static_cast<int>(GetLastError()));
        PostQuitMessage(0);
    }
}

// Close, Esc, the close box, Alt+F4 and the system menu's Close all come here. Edited lists are
// not thrown away without a word: 是 saves first and ends the dialog once the save succeeded, 否
// ends it as it is, 取消 keeps it open with the edits.
void OnClose(HWND dialog)
{
    g_runLog.Printf(L"%s:[%d]", L"WndProc", 255);
    if (HasUnsavedEdits(dialog)) {
        const int answer = Ask(dialog, UnsavedEditsQuestion(), MB_YESNOCANCEL);
        if (answer == IDYES) {
            OnSave(dialog, true);
            return;
        }
        if (answer != IDNO) return;
    }
    CloseDialog(dialog);
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
    // While a question is up or a Save runs, only the path box's notes count: a second Save, a
    // Reload or a Close then would act on the state that the first one is changing.
    if (g_busy && LOWORD(wParam) != IDC_PATH_EDIT) return 0;
    switch (LOWORD(wParam)) {
    case IDOK: OnSave(dialog, false); return 0;
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
    case WM_SETCURSOR: return OnSetCursor(dialog) ? TRUE : FALSE;
    case kSaveStepEnded: OnSaveStepEnded(dialog); return 0;
    // Windows ends the process once this returns: a running save ends first.
    case WM_ENDSESSION:
        if (wParam != FALSE) g_saveWorker.Wait();
        return 0;
    // Not reported as handled: where the system scales a dialog's controls itself (Windows 10
    // 1703 and later), it goes on to do so.
    case WM_DPICHANGED: TakeSuggestedRect(dialog, lParam); return 0;
    default: return 0;
    }
}

}  // namespace

void WaitForPendingSave()
{
    g_saveWorker.Wait();
}

void OnInitDlg(HWND dialog)
{
    g_runLog.Printf(L"%s:[%d]", L"OnInitDlg", 9);
    const ScriptSource source = LocateScript(true);
    if (source == ScriptSource::NotFound) {
        ShowBox(dialog, kNotFoundText, kErrorCaption);
        return;
    }
    if (source == ScriptSource::Opera) g_pathChanged = true;
    SetBoxText(dialog, IDC_PATH_EDIT, g_scriptPath);
    const ScriptAction action = ReloadScript(g_scriptPath);
    if (action == ScriptAction::Done) {
        ShowPatterns(dialog);
        RememberShownLists(dialog, g_scriptPath);
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
