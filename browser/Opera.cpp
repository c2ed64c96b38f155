#include "browser/Opera.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "profile/ProfileCFile.h"
#include "support/RegistryKey.h"
#include "support/Paths.h"
#include "support/SystemHelpers.h"
#include "support/TextEdit.h"
#include "textio/RunLog.h"

namespace {

const wchar_t kOperaKey[] = L"SOFTWARE\\Netscape\\Netscape Navigator\\Opera\\main";
// Written by the installers of Opera 11 and 12, whatever the kind of installation.
const wchar_t kOperaSoftwareKey[] = L"Software\\Opera Software";
const wchar_t kUserPrefs[] = L"User Prefs";
const wchar_t kBeta95Folder[] = L"Opera 9.5 beta";
// The profile folder of a multi-user Opera 9, and of an Opera 10 to 12 installed in a folder
// without a name (a drive's root).
const wchar_t kOperaFolder[] = L"Opera";

// A registry value in which an installer records the installation folder; place names it in
// the run log, bits the kind of Opera that a record there is of (a 64-bit Opera's installer
// writes to the 64-bit view; the HKEY_CURRENT_USER keys are the same in both views).
struct InstallRecord {
    HKEY root;
    const wchar_t* keyPath;
    RegistryView view;
    const wchar_t* valueName;
    const wchar_t* place;
    ProgramBits bits;
};

// In the order they are tried; the first is GetInstallDir's.
const InstallRecord kInstallRecords[] = {
    {HKEY_LOCAL_MACHINE, kOperaKey, RegistryView::Bits32, L"Install Directory", L"Install Dir", ProgramBits::Bits32},
    {HKEY_LOCAL_MACHINE, kOperaKey, RegistryView::Bits64, L"Install Directory", L"Install Dir 64-bit view",
     ProgramBits::Bits64},
    {HKEY_CURRENT_USER, kOperaKey, RegistryView::Bits32, L"Install Directory", L"Install Dir HKCU",
     ProgramBits::Bits32},
    {HKEY_CURRENT_USER, kOperaSoftwareKey, RegistryView::Bits32, L"Last Install Path", L"Last Install Path",
     ProgramBits::Bits32},
    {HKEY_CURRENT_USER, kOperaSoftwareKey, RegistryView::Bits32, L"Last Install Path x64",
     L"Last Install Path x64", ProgramBits::Bits64},
};

// Empty when the key or the value is missing. A REG_EXPAND_SZ value (a path as deployment tools
// and policies write it, %ProgramFiles%\Opera) is expanded as the record's kind of Opera would.
std::wstring ReadInstallValue(const InstallRecord& record)
{
    CRegistryKey key;
    if (!key.Open(record.root, record.keyPath, record.view)) {
        g_runLog.WriteFormat(L"%s NULL", record.place);
        return std::wstring();
    }
    std::wstring value;
    if (!key.QueryString(record.valueName, value)) {
        std::wstring unexpanded;
        value = key.QueryExpandString(record.valueName, unexpanded) ? ExpandEnvironmentText(unexpanded, record.bits)
                                                                     : std::wstring();
    }
    g_runLog.WriteFormat(L"%s[%s]", record.place, value);
    return value;
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

// Under the 64-bit Program Files only a 64-bit Opera is installed.
bool IsUnder64BitProgramFiles(const std::wstring& folder)
{
    const std::wstring programFiles = GetProgramFiles64Dir();
    return !programFiles.empty() && IsInFolder(folder, programFiles);
}

// A file or folder as a virtualized Opera sees it: the user's VirtualStore copy where there is
// one, otherwise the path itself.
std::wstring VirtualizedView(const std::wstring& path)
{
    const std::wstring copy = GetVirtualStorePath(path);
    return !copy.empty() && GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES ? copy : path;
}

// One of Opera's preferences files and the encodings it may have without a byte-order mark:
// Opera writes its own files in UTF-8 whatever the system code page; Opera 9 and the system's
// profile functions read operadef6.ini, which an administrator writes, as ANSI.
struct OperaFile {
    std::wstring path;
    unsigned choices;
};

// [System] "Multi User" in a layout's defaults file; only its first character counts, and a
// missing file or key means multi-user.
bool IsMultiUser(CProfileCFile& defaults)
{
    const std::wstring value = defaults.GetString(L"System", L"Multi User", L"1");
    const bool multiUser = value.empty() || value[0] != L'0';
    g_runLog.Printf(L"Use Mode[%d]", multiUser ? 1 : 0);
    return multiUser;
}

}  // namespace

struct COpera::Installation {
    std::wstring dir;  // without a trailing backslash
    ProgramBits bits;
};

struct COpera::Layout {
    std::wstring dataPath;
    std::wstring profileDir;
    // In the order they count: the installation's fixed settings, the user's own file (own),
    // the defaults.
    std::vector<OperaFile> files;
    size_t own;
    // The Opera is one whose files Windows virtualizes: the files are named as it sees them,
    // the folders above as they are.
    bool virtualized;
};

class COpera::Files {
public:
    // The document, empty and without a path (its Error() telling why) when the file cannot be
    // opened or read to its end. Sections and keys match in any letter case, as Windows' profile
    // functions match them; one written as asked comes first.
    CProfileCFile& Read(const OperaFile& file)
    {
        auto [at, added] = read_.try_emplace(file.path);
        if (added) {
            at->second.SetNamesIgnoreCase(true);
            if (at->second.OpenInItsEncoding(file.path, file.choices)) g_runLog.WriteFormat(L"Read[%s]", file.path);
        }
        return at->second;
    }

private:
    std::map<std::wstring, CProfileCFile> read_;
};

std::wstring COpera::GetInstallDir()
{
    g_runLog.Printf(L"%s:[%d]", L"COpera::GetInstallDir", 30);
    return ReadInstallValue(kInstallRecords[0]);
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
    StringList dirs;
    for (const Installation& installation : Installations()) dirs.push_back(installation.dir);
    return dirs;
}

std::vector<COpera::Installation> COpera::Installations()
{
    std::vector<Installation> found;
    for (const InstallRecord& record : kInstallRecords) {
        const std::wstring dir = ReadInstallValue(record);
        if (dir.empty()) continue;
        bool tried = false;
        for (Installation& earlier : found) {
            if (!SameFolder(earlier.dir, dir)) continue;
            // A folder that a 64-bit Opera's record names holds a 64-bit Opera.
            if (record.bits == ProgramBits::Bits64) earlier.bits = ProgramBits::Bits64;
            tried = true;
        }
        if (!tried) found.push_back(InstallationAt(dir, record.bits));
    }
    return found;
}

COpera::Installation COpera::InstallationAt(const std::wstring& installDirectory, ProgramBits recordedAs)
{
    const std::wstring dir = WithoutTrailingBackslash(installDirectory);
    return {dir, IsUnder64BitProgramFiles(dir) ? ProgramBits::Bits64 : recordedAs};
}

std::vector<COpera::Layout> COpera::LayoutsOf(const Installation& installation, Files& files)
{
    const std::wstring& installDirectory = installation.dir;
    // The system folder that this Opera reads: a 64-bit Opera's is not the one a 32-bit
    // program gets for the asking.
    const std::wstring systemDir = GetSystemDirOf(installation.bits);
    const std::wstring name = FolderName(installDirectory);

    // Opera 9.0 to 9.2 carry no manifest: under Program Files or the Windows folder, Windows
    // virtualizes a 32-bit one for a standard user, and each of its files that has a copy in the
    // user's VirtualStore is read from there. (No 64-bit program is virtualized; Opera 10 to 12
    // declare themselves aware of User Account Control.)
    const bool virtualized =
        installation.bits == ProgramBits::Bits32 && !GetVirtualStorePath(installDirectory).empty();
    const auto seen9 = [virtualized](const std::wstring& path) { return virtualized ? VirtualizedView(path) : path; };
    const auto inSystem = [&systemDir](const wchar_t* fileName) {
        return systemDir.empty() ? std::wstring() : systemDir + fileName;
    };

    // Opera 9: operadef6.ini holds the mode and the fixed settings, the system folder's
    // opera6.ini the defaults.
    const OperaFile opera9Fixed{seen9(installDirectory + L"\\operadef6.ini"), kMayBeAnsi};
    const auto opera9 = [&](const std::wstring& dataPath) {
        const std::wstring profileDir = WithTrailingBackslash(dataPath) + L"profile\\";
        const std::wstring systemDefaults = inSystem(L"opera6.ini");
        return Layout{dataPath,
                      profileDir,
                      {opera9Fixed,
                       {seen9(profileDir + L"opera6.ini"), kMayBeUtf8},
                       {systemDefaults.empty() ? systemDefaults : seen9(systemDefaults), kMayBeUtf8}},
                      1,
                      virtualized};
    };
    std::vector<Layout> layouts;
    if (!IsMultiUser(files.Read(opera9Fixed))) {
        layouts.push_back(opera9(installDirectory));
    } else {
        layouts.push_back(opera9(AppDataOperaFolder(IsBeta95(installDirectory) ? kBeta95Folder : kOperaFolder)));
        const std::wstring named = AppDataOperaFolder(name);
        if (!name.empty() && !SameFolder(named, layouts[0].dataPath)) layouts.push_back(opera9(named));
    }

    // Opera 10 to 12: operaprefs_default.ini holds the mode and the defaults. A multi-user
    // profile has no "profile" folder of its own: its folder is the profile.
    const OperaFile opera10Defaults{installDirectory + L"\\operaprefs_default.ini", kMayBeUtf8};
    Layout opera10{installDirectory, installDirectory + L"\\profile\\", {}, 2, false};
    if (IsMultiUser(files.Read(opera10Defaults))) {
        opera10.dataPath = AppDataOperaFolder(name.empty() ? kOperaFolder : name);
        opera10.profileDir = opera10.dataPath;
    }
    opera10.files = {{installDirectory + L"\\operaprefs_fixed.ini", kMayBeUtf8},
                     {inSystem(L"operaprefs_fixed.ini"), kMayBeUtf8},
                     {opera10.profileDir + L"operaprefs.ini", kMayBeUtf8},
                     opera10Defaults};
    layouts.push_back(opera10);
    return layouts;
}

bool COpera::Init(const std::wstring& installDirectory)
{
    g_runLog.Printf(L"%s:[%d]", L"COpera::Init", 60);
    if (installDirectory.empty()) {
        error_.SetError(L"安装目录未指定", kErrOwn);
        return false;
    }
    Reset();
    Files files;
    const Installation installation = InstallationAt(installDirectory, ProgramBits::Bits32);
    if (!ReadLayout(installation.dir, LayoutsOf(installation, files).front(), files).ownFile) return false;
    g_runLog.Printf(L"%s:[%d]", L"COpera::Init", 121);
    return true;
}

bool COpera::FindUserJavaScript()
{
    Reset();
    Files files;
    for (const Installation& installation : Installations()) {
        for (const Layout& layout : LayoutsOf(installation, files)) {
            if (!ReadLayout(installation.dir, layout, files).scriptFolder) continue;
            messages.clear();
            error_.ClearError();
            return true;
        }
    }
    return false;
}

COpera::ProfileRead COpera::ReadLayout(const std::wstring& installDirectory, const Layout& layout, Files& files)
{
    installDir = installDirectory;
    virtualized_ = layout.virtualized;
    dataPath = AsOperaSeesIt(layout.dataPath);
    mainConfigPath = layout.files[layout.own].path;
    pluginsDir = installDir + L"\\program\\plugins\\";
    g_runLog.WriteFormat(L"DataPath[%s]", dataPath);

    std::vector<CProfileCFile*> documents;
    for (const OperaFile& file : layout.files) documents.push_back(&files.Read(file));
    const CProfileCFile& own = *documents[layout.own];
    const bool ownRead = !own.GetPath().empty();
    if (!ownRead) {
        error_ = own.Error();
        g_runLog.WriteFormat(L"can not read opera.ini[%s]", mainConfigPath);
        AddMessage(L"无法读取主配置文件:" + mainConfigPath);
    }
    // A file that could not be read is an empty document: it names nothing.
    const auto setting = [&documents](const wchar_t* key) {
        for (CProfileCFile* document : documents) {
            std::wstring value = document->GetString(kUserPrefs, key, L"");
            if (!value.empty()) return value;
        }
        return std::wstring();
    };
    menuConfig = setting(L"Menu Configuration");
    keyboardConfig = setting(L"Keyboard Configuration");
    userJavaScriptDir = setting(L"User JavaScript File");
    toolbarConfig = setting(L"Toolbar Configuration");
    mouseConfig = setting(L"Mouse Configuration");
    userStylesDir = ownRead ? AsOperaSeesIt(layout.profileDir + L"styles\\user") : L"";
    return ProfileRead{ownRead, !userJavaScriptDir.empty()};
}

std::wstring COpera::AsOperaSeesIt(const std::wstring& path) const
{
    return virtualized_ ? VirtualizedView(path) : path;
}

void COpera::Reset()
{
    *this = COpera();
}

void COpera::AddMessage(const std::wstring& text)
{
    messages += text;
    messages += L"\n";
}
