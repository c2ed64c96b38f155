#include "app/ScriptActions.h"

#include <initializer_list>
#include <utility>

#include "profile/ProfileCFile.h"
#include "script/AutoRender.h"
#include "script/PatternMerge.h"
#include "script/ScriptIdentity.h"
#include "script/ScriptLocation.h"
#include "script/ScriptSaveLock.h"

namespace {

// The two lists as the file held them when the boxes last showed its content (filled from it or
// saved to it), and which file that was (its ScriptIdentity); an empty identity when the boxes
// came from no file.
struct LoadedLists {
    std::wstring identity;
    std::wstring includeText;
    std::wstring excludeText;
};
LoadedLists g_loaded;

void RememberLoadedLists(const std::wstring& path, const std::wstring& includeText, const std::wstring& excludeText)
{
    g_loaded.identity = ScriptIdentity(path);
    g_loaded.includeText = includeText;
    g_loaded.excludeText = excludeText;
}

// What a failed Init or Save of g_autoRender means to the dialog.
ScriptAction FailedAction(ScriptAction otherwise)
{
    switch (g_autoRender.GetFailure()) {
    case ScriptFailure::EncodingNotKept: return ScriptAction::EncodingNotKept;
    case ScriptFailure::PatternNotWritable: return ScriptAction::PatternNotWritable;
    case ScriptFailure::MarkAtStart: return ScriptAction::MarkAtStart;
    default: return otherwise;
    }
}

}  // namespace

ScriptAction SaveScriptTexts(const std::wstring& pathText, const std::wstring& includeText,
                             const std::wstring& excludeText, SavedLists& saved)
{
    saved = SavedLists();
    if (pathText.empty()) return ScriptAction::EmptyPath;
    g_scriptPath = pathText;
    // Init right before Save: lines changed in the file outside the pattern blocks since the
    // boxes were filled survive, and the pattern blocks are not written twice.
    const std::wstring path = ResolveScriptPath(pathText);
    // Saves of one script take turns, from this read through the replace; the turn ends on
    // return, before the dialog shows its box. One that does not come fails the save.
    CScriptSaveLock turn;
    if (!turn.Acquire(path)) return ScriptAction::CannotWrite;
    if (!g_autoRender.Init(path)) return FailedAction(ScriptAction::CannotOpen);
    SavedLists lists;
    // Any spelling of the path (a short name, other letter case, the "\\?\" form) names the file
    // the boxes came from when it names the same file.
    if (!g_loaded.identity.empty() && ScriptIdentity(path) == g_loaded.identity) {
        // g_autoRender holds the lists as the file holds them now: the merge's third side.
        lists.includeMerged = MergePatternText(g_loaded.includeText, includeText,
                                               g_autoRender.includeText, lists.includeText);
        lists.excludeMerged = MergePatternText(g_loaded.excludeText, excludeText,
                                               g_autoRender.excludeText, lists.excludeText);
    } else {
        // Another file: the boxes were not read from it, so nothing in it is theirs to merge.
        lists.includeText = includeText;
        lists.excludeText = excludeText;
    }
    g_autoRender.includeText = lists.includeText;
    g_autoRender.excludeText = lists.excludeText;
    if (!g_autoRender.Save()) {
        saved.unwritablePattern = g_autoRender.GetUnwritablePattern();
        return FailedAction(ScriptAction::CannotWrite);
    }
    // The lists as the written file gives them, not as the boxes hold them, each line ended as
    // when they are read: the next merge compares the file with what it held.
    lists.includeText = g_autoRender.includeText;
    lists.excludeText = g_autoRender.excludeText;
    for (std::wstring* text : {&lists.includeText, &lists.excludeText}) {
        if (!text->empty()) *text += L"\r\n";
    }
    RememberLoadedLists(path, lists.includeText, lists.excludeText);
    saved = std::move(lists);
    return ScriptAction::Done;
}

ScriptAction ReloadScript(const std::wstring& pathText)
{
    if (pathText.empty()) return ScriptAction::EmptyPath;
    const std::wstring path = ResolveScriptPath(pathText);
    if (!g_autoRender.Init(path)) return FailedAction(ScriptAction::CannotOpen);
    g_scriptPath = pathText;
    RememberLoadedLists(path, g_autoRender.includeText, g_autoRender.excludeText);
    return ScriptAction::Done;
}

bool StoreScriptPathIfChanged()
{
    if (!g_pathChanged) return false;
    // A fresh document: the settings file holds this one value and nothing else.
    CProfileCFile settings;
    if (!settings.SetString(L"AutoRenderInIE", L"ScriptPath", g_scriptPath)) return false;
    return settings.SaveAs(GetSettingsFilePath());
}
