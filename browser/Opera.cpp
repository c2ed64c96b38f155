#include "browser/Opera.h"

#include <windows.h>

#include <string>

#include "profile/ProfileCFile.h"
#include "support/Charset.h"
#include "support/RegistryKey.h"
#include "support/SystemHelpers.h"
#include "support/TextEdit.h"
#include "textio/RunLog.h"
#include "textio/TextFile.h"

namespace {

const wchar_t kOperaKey[] = L"SOFTWARE\\Netscape\\Netscape Navigator\\Opera\\main";
const wchar_t kUserPrefs[] = L"User Prefs";
const wchar_t kBeta95Folder[] = L"Opera 9.5 beta";

// Joins two parts so that exactly one backslash stands between them, whichever of them
// brings one.
std::wstring JoinPath(const std::wstring& head, const std::wstring& tail)
{
    const bool headEnds = !head.empty() && head.back() == L'\\';
    const bool tailStarts = !tail.empty() && tail.front() == L'\\';
    if (headEnds && tailStarts) return head + tail.substr(1);
    if (headEnds || tailStarts) return head + tail;
    return head + L"\\" + tail;
}

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// "Multi User" in operadef6.ini; a missing file or key reads as the default "1".
bool IsMultiUser(const std::wstring& installDir)
{
    const std::wstring defaultsPath = JoinPath(installDir, L"operadef6.ini");
    // One character and the terminator: only the first character of the value counts.
    wchar_t value[2] = {};
    GetPrivateProfileStringW(L"System", L"Multi User", L"1", value, 2, defaultsPath.c_str());
    return value[0] != L'0';
}

}  // namespace

std::wstring COpera::GetInstallDir()
{
    g_runLog.Printf(L"%s:[%d]", L"COpera::GetInstallDir", 30);
    CRegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kOperaKey)) {
        g_runLog.Printf(L"Install Dir NULL");
        return std::wstring();
    }
    std::wstring installDirectory;
    if (!key.QueryString(L"Install Directory", installDirectory)) installDirectory.clear();
    g_runLog.WriteFormat(L"Install Dir[%s]", installDirectory);
    return installDirectory;
}

bool COpera::IsBeta95(const std::wstring& installDirectory)
{
    // The beta installs into a folder of that name, so its name is the last part of the path.
    // A shorter path cannot end in it.
    const std::wstring folder(kBeta95Folder);
    if (installDirectory.size() < folder.size()) return false;
    return CompareNoCase(installDirectory.substr(installDirectory.size() - folder.size()), folder) == 0;
}

bool COpera::Init(const std::wstring& installDirectory)
{
    g_runLog.Printf(L"%s:[%d]", L"COpera::Init", 60);
    if (installDirectory.empty()) {
        error_.SetError(L"安装目录未指定", kErrOwn);
        return false;
    }
    Reset();
    error_.ClearError();
    installDir = WithoutTrailingBackslash(installDirectory);

    const bool multiUser = IsMultiUser(installDir);
    g_runLog.Printf(L"Use Mode[%d]", multiUser ? 1 : 0);
    if (multiUser) {
        dataPath = WithoutTrailingBackslash(GetAppDataDir()) +
                   (IsBeta95(installDir) ? L"\\Opera\\Opera 9.5 beta\\" : L"\\Opera\\Opera\\");
    } else {
        dataPath = installDir;
    }
    g_runLog.WriteFormat(L"DataPath[%s]", dataPath);

    mainConfigPath = JoinPath(dataPath, L"\\profile\\opera6.ini");
    pluginsDir = JoinPath(installDir, L"\\program\\plugins\\");

    CTextFile file;
    StringList lines;
    bool read = file.Open(mainConfigPath, kOpenRead, false);
    if (read) {
        // Opera writes the file in UTF-8 whatever the system code page, so the lines are taken
        // as bytes and decoded here rather than by the text file.
        std::string narrow;
        while (file.ReadLine(narrow)) lines.push_back(Utf8ToWide(narrow));
        // A read that stops early would pass for a file without the settings.
        if (file.HasError()) {
            read = false;
            error_ = file.Error();
        }
        file.Close();
    } else {
        error_ = file.Error();
    }
    if (!read) {
        g_runLog.WriteFormat(L"can not read opera.ini[%s]", mainConfigPath);
        AddMessage(L"无法读取主配置文件:" + mainConfigPath);
        return false;
    }

    CProfileCFile config;
    config.OpenFromLines(lines);
    menuConfig = config.GetString(kUserPrefs, L"Menu Configuration", L"");
    keyboardConfig = config.GetString(kUserPrefs, L"Keyboard Configuration", L"");
    userJavaScriptDir = config.GetString(kUserPrefs, L"User JavaScript File", L"");
    toolbarConfig = config.GetString(kUserPrefs, L"Toolbar Configuration", L"");
    mouseConfig = config.GetString(kUserPrefs, L"Mouse Configuration", L"");

    userStylesDir = JoinPath(dataPath, L"\\profile\\styles\\user");
    g_runLog.Printf(L"%s:[%d]", L"COpera::Init", 121);
    return true;
}

void COpera::Reset()
{
    installDir.clear();
    dataPath.clear();
    mainConfigPath.clear();
    menuConfig.clear();
    toolbarConfig.clear();
    keyboardConfig.clear();
    userJavaScriptDir.clear();
    userStylesDir.clear();
    pluginsDir.clear();
    mouseConfig.clear();
    messages.clear();
}

void COpera::AddMessage(const std::wstring& text)
{
    messages += text;
    messages += L"\n";
}
