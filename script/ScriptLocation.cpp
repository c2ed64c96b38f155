#include "script/ScriptLocation.h"

#include <string>

#include "browser/Opera.h"
#include "profile/ProfileCFile.h"
#include "profile/RelativePath.h"
#include "script/AutoRender.h"
#include "script/PatternText.h"
#include "support/SystemHelpers.h"
#include "textio/FileUtil.h"
#include "textio/RunLog.h"

std::wstring g_scriptPath;
bool g_pathChanged = false;

namespace {

const wchar_t kSettingsFileName[] = L"autorender_in_ie.ini";
const wchar_t kSettingsSection[] = L"AutoRenderInIE";
const wchar_t kScriptPathKey[] = L"ScriptPath";
const wchar_t kScriptFileName[] = L"Autorender in IE.js";

}  // namespace

std::wstring GetSettingsFilePath()
{
    std::wstring besideProgram = GetModuleDir() + kSettingsFileName;
    if (FileExists(besideProgram)) return besideProgram;
    return GetAppDataDir() + kSettingsFileName;
}

ScriptSource LocateScript(bool logProfileLine)
{
    const std::wstring settingsPath = GetSettingsFilePath();
    CProfileCFile settings;
    if (logProfileLine) g_runLog.WriteFormat(L"Open profile[%s]", settingsPath);
    // A file written by hand may be in any encoding; the program writes UTF-16 LE.
    if (settings.OpenInItsEncoding(settingsPath)) {
        g_scriptPath = settings.GetString(kSettingsSection, kScriptPathKey, L"");
        g_runLog.WriteFormat(L"Open profile Success[%s]", g_scriptPath);
    }
    // Kept as the user wrote it, existing or not: the dialog shows it for correction.
    if (!g_scriptPath.empty()) return ScriptSource::SettingsFile;

    COpera opera;
    opera.FindUserJavaScript();
    const std::wstring& scriptDir = opera.userJavaScriptDir;
    if (scriptDir.empty()) {
        g_runLog.Printf(L"not find script path");
        return ScriptSource::NotFound;
    }
    g_scriptPath = scriptDir;
    if (scriptDir.back() != L'\\') g_scriptPath += L'\\';
    g_scriptPath += kScriptFileName;
    // A virtualized Opera runs the user's VirtualStore copy of the script where there is one.
    g_scriptPath = opera.AsOperaSeesIt(g_scriptPath);
    g_runLog.WriteFormat(L"script path[%s]", g_scriptPath);
    return ScriptSource::Opera;
}

std::wstring ResolveScriptPath(const std::wstring& scriptPath)
{
    return ResolveRelativePath(scriptPath, GetModuleDir());
}

bool AddURLtoInlcude(const std::wstring& address)
{
    g_runLog.Printf(L"%s:[%d]", L"AddURLtoInlcude", 62);
    // The address must make one pattern line. A line break (CR, LF, U+2028, U+2029) would end
    // the new pattern's comment early and turn the rest of the address, which a web page may
    // have chosen, into code of the script; nothing but spaces and tabs makes no pattern, and a
    // success would be reported for an address that is not in the file.
    if (!IsSinglePattern(address)) {
        g_runLog.WriteFormat(L"address is no single pattern[%s]", address);
        return false;
    }
    if (LocateScript(false) == ScriptSource::NotFound) return false;
    const bool added = g_autoRender.Edit(ResolveScriptPath(g_scriptPath),
                                         [&](CAutoRender& script) { script.includeText += address; });
    if (!added) {
        const bool unread = g_autoRender.GetFailure() == ScriptFailure::CannotRead ||
                            g_autoRender.GetFailure() == ScriptFailure::EncodingNotKept;
        g_runLog.WriteFormat(unread ? L"cann't open script[%s]" : L"cann't save script[%s]", g_scriptPath);
    }
    return added;
}
