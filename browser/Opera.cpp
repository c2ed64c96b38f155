#include "browser/Opera.h"

#include <windows.h>

#include <string>

#include "profile/ProfileCFile.h"
#include "support/Charset.h"
#include "support/RegistryKey.h"
#include "support/SystemHelpers.h"
#include "support/TextEdit.h"
#include "textio/FileUtil.h"
#include "textio/RunLog.h"
#include "textio/TextFile.h"

namespace {

const wchar_t kOperaKey[] = L"SOFTWARE\\Netscape\\Netscape Navigator\\Opera\\main";
const wchar_t kInstallValue[] = L"Install Directory";
// Written by the installers of Opera 11 and 12, whatever the kind of installation.
const wchar_t kOperaSoftwareKey[] = L"Software\\Opera Software";
const wchar_t kUserPrefs[] = L"User Prefs";
const wchar_t kBeta95Folder[] = L"Opera 9.5 beta";
// The profile folder of a multi-user Opera 9, and of an Opera 10 to 12 installed in a folder
// without a name (a drive's root).
const wchar_t kOperaFolder[] = L"Opera";

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

// [System] "Multi User" in Opera 9's defaults file operadef6.ini; a
// missing file or key reads as the default "1". Only a file is read: a device's name, which
// the system would open for the call, reads as missing.
bool IsMultiUser(const std::wstring& defaultsPath)
{
    if (!FileExists(defaultsPath)) return true;
    // One character and the terminator: only the first character of the value counts.
    wchar_t value[2] = {};
    GetPrivateProfileStringW(L"System", L"Multi User", L"1", value, 2, defaultsPath.c_str());
    return value[0] != L'0';
}

// The installation folder's own name, the last part of its path; empty for a drive's root.
std::wstring FolderName(const std::wstring& installDir)
{
    const size_t cut = installDir.find_last_of(L"\\/");
    std::wstring name = cut == std::wstring::npos ? installDir : installDir.substr(cut + 1);
    if (!name.empty() && name.back() == L':') name.clear();
    return name;
}

// Opera's folder in the user's application-data folder for a profile of that name, ending in a
// backslash.
std::wstring AppDataOperaFolder(const std::wstring& name)
{
    return WithoutTrailingBackslash(GetAppDataDir()) + L"\\Opera\\" + name + L"\\";
}

// Where a multi-user Opera 9 keeps its profile folder whatever the installation's name.
std::wstring Opera9MultiUserFolder(const std::wstring& installDir)
{
    return AppDataOperaFolder(COpera::IsBeta95(installDir) ? kBeta95Folder : kOperaFolder);
}

// Reads one of Opera's own preferences files, UTF-8 whatever the system code page, into
// document. False, with the reason in error, when the file cannot be opened or read to its end.
bool ReadOperaPrefs(const std::wstring& path, CProfileCFile& document, CLastError& error)
{
    if (document.OpenInItsEncoding(path, kMayBeUtf8)) return true;
    error = document.Error();
    return false;
}

// [System] "Multi User" in Opera 10 to 12's defaults file, read as Opera writes it (UTF-8 with a
// mark, which the system's profile functions take for part of the first line); a missing file
// or key means multi-user, as for Opera 9 (the file is opened only as a file on a disk).
bool IsMultiUserUtf8(const std::wstring& defaultsPath)
{
    CProfileCFile defaults;
    CLastError ignored;
    if (!ReadOperaPrefs(defaultsPath, defaults, ignored)) return true;
    const std::wstring value = defaults.GetString(L"System", L"Multi User", L"1");
    return value.empty() || value[0] != L'0';
}

bool SameFolder(const std::wstring& a, const std::wstring& b)
{
    return CompareNoCase(WithoutTrailingBackslash(a), WithoutTrailingBackslash(b)) == 0;
}

// A text value of a registry key, named in the run log by place; empty when the key or the
// value is missing.
std::wstring ReadInstallValue(HKEY root, const wchar_t* keyPath, RegistryView view, const wchar_t* valueName,
                              const wchar_t* place)
{
    CRegistryKey key;
    if (!key.Open(root, keyPath, view)) {
        g_runLog.WriteFormat(L"%s NULL", place);
        return std::wstring();
    }
    std::wstring value;
    if (!key.QueryString(valueName, value)) value.clear();
    g_runLog.WriteFormat(L"%s[%s]", place, value);
    return value;
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

StringList COpera::GetInstallDirs()
{
    const std::wstring found[] = {
        GetInstallDir(),
        ReadInstallValue(HKEY_LOCAL_MACHINE, kOperaKey, RegistryView::Bits64, kInstallValue,
                         L"Install Dir 64-bit view"),
        ReadInstallValue(HKEY_CURRENT_USER, kOperaKey, RegistryView::Bits32, kInstallValue, L"Install Dir HKCU"),
        ReadInstallValue(HKEY_CURRENT_USER, kOperaSoftwareKey, RegistryView::Bits32, L"Last Install Path",
                         L"Last Install Path"),
        ReadInstallValue(HKEY_CURRENT_USER, kOperaSoftwareKey, RegistryView::Bits32, L"Last Install Path x64",
                         L"Last Install Path x64"),
    };
    StringList dirs;
    for (const std::wstring& dir : found) {
        if (dir.empty()) continue;
        bool tried = false;
        for (const std::wstring& earlier : dirs) tried = tried || SameFolder(earlier, dir);
        if (!tried) dirs.push_back(dir);
    }
    return dirs;
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
    if (!InitOpera9(installDirectory)) return false;
    g_runLog.Printf(L"%s:[%d]", L"COpera::Init", 121);
    return true;
}

bool COpera::FindUserJavaScript()
{
    Reset();
    error_.ClearError();
    for (const std::wstring& dir : GetInstallDirs()) {
        InitOpera9(dir);
        if (userJavaScriptDir.empty()) InitOpera9Named(dir);
        if (userJavaScriptDir.empty()) InitOpera10(dir);
        if (!userJavaScriptDir.empty()) {
            messages.clear();
            return true;
        }
    }
    return false;
}

bool COpera::InitOpera9(const std::wstring& installDirectory)
{
    ResetFields();
    installDir = WithoutTrailingBackslash(installDirectory);

    const bool multiUser = IsMultiUser(JoinPath(installDir, L"operadef6.ini"));
    g_runLog.Printf(L"Use Mode[%d]", multiUser ? 1 : 0);
    if (multiUser) {
        dataPath = Opera9MultiUserFolder(installDir);
    } else {
        dataPath = installDir;
    }
    g_runLog.WriteFormat(L"DataPath[%s]", dataPath);
    return ReadMainConfig(JoinPath(dataPath, L"profile"), L"opera6.ini");
}

void COpera::InitOpera9Named(const std::wstring& installDirectory)
{
    // A single-user profile, and a multi-user one in the folder Init reads, were tried already.
    const std::wstring dir = WithoutTrailingBackslash(installDirectory);
    if (!IsMultiUser(JoinPath(dir, L"operadef6.ini"))) return;
    const std::wstring name = FolderName(dir);
    if (name.empty()) return;
    const std::wstring folder = AppDataOperaFolder(name);
    if (SameFolder(folder, Opera9MultiUserFolder(dir))) return;

    ResetFields();
    installDir = dir;
    dataPath = folder;
    g_runLog.WriteFormat(L"DataPath[%s]", dataPath);
    ReadMainConfig(JoinPath(dataPath, L"profile"), L"opera6.ini");
}

void COpera::InitOpera10(const std::wstring& installDirectory)
{
    ResetFields();
    installDir = WithoutTrailingBackslash(installDirectory);
    const bool multiUser = IsMultiUserUtf8(JoinPath(installDir, L"operaprefs_default.ini"));
    g_runLog.Printf(L"Use Mode[%d]", multiUser ? 1 : 0);
    // A multi-user profile has no "profile" folder of its own: its folder is the profile.
    std::wstring profileDir;
    if (multiUser) {
        const std::wstring name = FolderName(installDir);
        dataPath = AppDataOperaFolder(name.empty() ? kOperaFolder : name);
        profileDir = dataPath;
    } else {
        dataPath = installDir;
        profileDir = JoinPath(installDir, L"profile");
    }
    g_runLog.WriteFormat(L"DataPath[%s]", dataPath);
    ReadMainConfig(profileDir, L"operaprefs.ini");
}

bool COpera::ReadMainConfig(const std::wstring& profileDir, const wchar_t* fileName)
{
    mainConfigPath = JoinPath(profileDir, fileName);
    pluginsDir = JoinPath(installDir, L"\\program\\plugins\\");
    g_runLog.WriteFormat(L"Main Config[%s]", mainConfigPath);

    CProfileCFile config;
    if (!ReadOperaPrefs(mainConfigPath, config, error_)) {
        g_runLog.WriteFormat(L"can not read opera.ini[%s]", mainConfigPath);
        AddMessage(L"无法读取主配置文件:" + mainConfigPath);
        return false;
    }
    menuConfig = config.GetString(kUserPrefs, L"Menu Configuration", L"");
    keyboardConfig = config.GetString(kUserPrefs, L"Keyboard Configuration", L"");
    userJavaScriptDir = config.GetString(kUserPrefs, L"User JavaScript File", L"");
    toolbarConfig = config.GetString(kUserPrefs, L"Toolbar Configuration", L"");
    mouseConfig = config.GetString(kUserPrefs, L"Mouse Configuration", L"");

    userStylesDir = JoinPath(profileDir, L"styles\\user");
    return true;
}

void COpera::Reset()
{
    ResetFields();
    messages.clear();
}

void COpera::ResetFields()
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
}

void COpera::AddMessage(const std::wstring& text)
{
    messages += text;
    messages += L"\n";
}
