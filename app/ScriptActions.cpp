#include "app/ScriptActions.h"

#include "profile/ProfileCFile.h"
#include "script/AutoRender.h"
#include "script/ScriptLocation.h"

ScriptAction SaveScriptTexts(const std::wstring& pathText, const std::wstring& includeText,
                             const std::wstring& excludeText)
{
    if (pathText.empty()) return ScriptAction::EmptyPath;
    g_scriptPath = pathText;
    // Init right before Save: lines changed in the file outside the pattern blocks since the
    // boxes were filled survive, and the pattern blocks are not written twice.
    if (!g_autoRender.Init(ResolveScriptPath(pathText))) return ScriptAction::CannotOpen;
    g_autoRender.includeText = includeText;
    g_autoRender.excludeText = excludeText;
    return g_autoRender.Save() ? ScriptAction::Done : ScriptAction::CannotWrite;
}

ScriptAction ReloadScript(const std::wstring& pathText)
{
    if (pathText.empty()) return ScriptAction::EmptyPath;
    if (!g_autoRender.Init(ResolveScriptPath(pathText))) return ScriptAction::CannotOpen;
    g_scriptPath = pathText;
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
