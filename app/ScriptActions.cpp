#include "app/ScriptActions.h"

#include <initializer_list>
#include <utility>

#include "profile/ProfileCFile.h"
#include "script/AutoRender.h"
#include "script/PatternMerge.h"
#include "script/ScriptIdentity.h"
#include "script/ScriptLocation.h"

namespace {

const wchar_t kSettingsSection[] = L"AutoRenderInIE";
const wchar_t kScriptPathKey[] = L"ScriptPath";

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
    // Resolved as at start-up, so that the file written is the one the boxes were filled from.
    const std::wstring path = ResolveScriptPath(pathText);
    SavedLists lists;
    const bool written = g_autoRender.Edit(path, [&](CAutoRender& script) {
        // Any spelling of the path (a short name, other letter case, the "\\?\" form) names the
        // file the boxes came from when it names the same file.
        if (!g_loaded.identity.empty() && ScriptIdentity(path) == g_loaded.identity) {
            // The script holds the lists as the file holds them now: the merge's third side.
            lists.includeMerged =
                MergePatternText(g_loaded.includeText, includeText, script.includeText, lists.includeText);
            lists.excludeMerged =
                MergePatternText(g_loaded.excludeText, excludeText, script.excludeText, lists.excludeText);
        } else {
            // Another file: the boxes were not read from it, so nothing in it is theirs to merge.
            lists.includeText = includeText;
            lists.excludeText = excludeText;
        }
        script.includeText = lists.includeText;
        script.excludeText = lists.excludeText;
    });
    if (!written) {
        saved.unwritablePattern = g_autoRender.GetUnwritablePattern();
        const bool unread = g_autoRender.GetFailure() == ScriptFailure::CannotRead;
        return FailedAction(unread ? ScriptAction::CannotOpen : ScriptAction::CannotWrite);
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

bool SaveReplacesUnseenLists(const std::wstring& pathText)
{
    if (pathText.empty()) return false;
    const std::wstring path = ResolveScriptPath(pathText);
    if (!g_loaded.identity.empty() && ScriptIdentity(path) == g_loaded.identity) return false;
    // A reader of its own: g_autoRender keeps what the boxes were filled from.
    CAutoRender other;
    return other.Init(path) && (!other.includeText.empty() || !other.excludeText.empty());
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
    const std::wstring settingsPath = GetSettingsFilePath();
    // The dialog's own filling of the path box counts as a change too; a file that names the
    // path already is left as its author wrote it.
    CProfileCFile current;
    if (current.OpenInItsEncoding(settingsPath) &&
        current.GetString(kSettingsSection, kScriptPathKey, L"") == g_scriptPath) {
        return false;
    }
    // A fresh document: the settings file holds this one value and nothing else.
    CProfileCFile settings;
    if (!settings.SetString(kSettingsSection, kScriptPathKey, g_scriptPath)) return false;
    return settings.SaveAs(settingsPath);
}
