#include "browser/Opera.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include "support/SystemHelpers.h"
#include "tests/browser/OperaFixture.h"
#include "tests/common/TestFiles.h"

using namespace opera_test;

namespace {

const wchar_t kCannotRead[] = L"无法读取主配置文件:";

std::wstring AppDataNoSlash()
{
    std::wstring dir = GetAppDataDir();
    if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    return dir;
}

std::wstring WithoutSlash(std::wstring dir)
{
    dir.pop_back();
    return dir;
}

}  // namespace

TEST(Opera, InstallDirComesFromTheRegistryKey)
{
    ASSERT_FALSE(KeyExists(kOperaKeyPath)) << "the test prefix already holds an Opera key";
    COpera opera;
    EXPECT_EQ(L"", opera.GetInstallDir());
    {
        OperaKey key;  // the key without its value
        EXPECT_EQ(L"", opera.GetInstallDir());
    }
    {
        // Handed on as stored: Init is the one that drops the trailing backslash.
        OperaKey key(L"D:\\Programme\\Opera 浏览器\\");
        EXPECT_EQ(L"D:\\Programme\\Opera 浏览器\\", opera.GetInstallDir());
        EXPECT_EQ(L"", opera.installDir);
    }
    EXPECT_FALSE(KeyExists(kOperaKeyPath));
    EXPECT_EQ(L"", opera.GetInstallDir());
}

TEST(Opera, SingleUserProfileIsReadFromTheInstallation)
{
    CTempDir dir;
    const std::wstring install = dir.File(L"Opera\\");
    MakeDirs(install + L"profile");
    WriteFileBytes(install + L"operadef6.ini", "[System]\r\nMulti User=0\r\n");
    // A UTF-8 mark, values padded with spaces, non-ASCII text, a key outside the section and a
    // second "User Prefs" block whose keys do not count.
    WriteFileBytes(install + L"profile\\opera6.ini",
                   "\xEF\xBB\xBF"
                   "Opera Preferences version 2.1\r\n"
                   "[State]\r\nUser JavaScript File=C:\\wrong\\\r\n"
                   "[User Prefs]\r\n"
                   "Menu Configuration = C:\\menu.ini  \r\n"
                   "Toolbar Configuration=C:\\toolbar.ini\r\n"
                   "Keyboard Configuration=C:\\keys.ini\r\n"
                   "User JavaScript File=  D:\\\xE7\x94\xA8\xE6\x88\xB7\xE8\x84\x9A\xE6\x9C\xAC\\js\\ \r\n"
                   "[Fonts]\r\nX=1\r\n"
                   "[User Prefs]\r\nMouse Configuration=C:\\mouse.ini\r\n");

    for (const std::wstring& given : {install, WithoutSlash(install)}) {
        SCOPED_TRACE(given);
        COpera opera;
        ASSERT_TRUE(opera.Init(given));
        const std::wstring root = WithoutSlash(install);
        EXPECT_EQ(root, opera.installDir);
        EXPECT_EQ(root, opera.dataPath);
        EXPECT_EQ(root + L"\\profile\\opera6.ini", opera.mainConfigPath);
        EXPECT_EQ(root + L"\\profile\\styles\\user", opera.userStylesDir);
        EXPECT_EQ(root + L"\\program\\plugins\\", opera.pluginsDir);
        EXPECT_EQ(L"C:\\menu.ini", opera.menuConfig);
        EXPECT_EQ(L"C:\\toolbar.ini", opera.toolbarConfig);
        EXPECT_EQ(L"C:\\keys.ini", opera.keyboardConfig);
        EXPECT_EQ(L"D:\\用户脚本\\js\\", opera.userJavaScriptDir);
        EXPECT_EQ(L"", opera.mouseConfig);
        EXPECT_EQ(L"", opera.messages);
    }

    // Only the first character of the setting counts.
    WriteFileBytes(install + L"operadef6.ini", "[System]\r\nMulti User=0123\r\n");
    COpera opera;
    ASSERT_TRUE(opera.Init(install));
    EXPECT_EQ(WithoutSlash(install), opera.dataPath);

    // A profile without the setting is read successfully and names no script folder.
    WriteFileBytes(install + L"profile\\opera6.ini", "[User Prefs]\r\nUser JavaScript File=\r\n");
    ASSERT_TRUE(opera.Init(install));
    EXPECT_EQ(L"", opera.userJavaScriptDir);
    WriteFileBytes(install + L"profile\\opera6.ini", "");
    ASSERT_TRUE(opera.Init(install));
    EXPECT_EQ(L"", opera.userJavaScriptDir);
}

TEST(Opera, MultiUserProfileIsReadFromApplicationData)
{
    CTempDir dir;
    const std::wstring install = dir.File(L"Opera");
    MakeDirs(install);
    const std::wstring profileDir = AppDataNoSlash() + L"\\Opera\\Opera\\";
    ScopedFile config(profileDir + L"profile\\opera6.ini");
    config.Write("[User Prefs]\r\nUser JavaScript File=C:\\multi\\\r\n");

    // No operadef6.ini, no key, "1", and a value that merely does not begin with "0".
    const char* const settings[] = {nullptr, "[System]\r\n", "[System]\r\nMulti User=1\r\n",
                                    "[System]\r\nMulti User=x0\r\n"};
    for (const char* setting : settings) {
        SCOPED_TRACE(setting == nullptr ? "no operadef6.ini" : setting);
        DeleteFileW((install + L"\\operadef6.ini").c_str());
        if (setting != nullptr) WriteFileBytes(install + L"\\operadef6.ini", setting);
        COpera opera;
        ASSERT_TRUE(opera.Init(install));
        EXPECT_EQ(install, opera.installDir);
        EXPECT_EQ(profileDir, opera.dataPath);
        EXPECT_EQ(profileDir + L"profile\\opera6.ini", opera.mainConfigPath);
        EXPECT_EQ(profileDir + L"profile\\styles\\user", opera.userStylesDir);
        EXPECT_EQ(install + L"\\program\\plugins\\", opera.pluginsDir);
        EXPECT_EQ(L"C:\\multi\\", opera.userJavaScriptDir);
    }

    // The 9.5 beta keeps its profile apart, whatever the letter case of its folder.
    const std::wstring betaInstall = dir.File(L"OPERA 9.5 Beta\\");
    MakeDirs(betaInstall);
    const std::wstring betaProfileDir = AppDataNoSlash() + L"\\Opera\\Opera 9.5 beta\\";
    ScopedFile betaConfig(betaProfileDir + L"profile\\opera6.ini");
    betaConfig.Write("[User Prefs]\r\nUser JavaScript File=C:\\beta\\\r\n");
    COpera beta;
    ASSERT_TRUE(beta.Init(betaInstall));
    EXPECT_EQ(betaProfileDir, beta.dataPath);
    EXPECT_EQ(L"C:\\beta\\", beta.userJavaScriptDir);
}

TEST(Opera, TheBetaIsRecognisedByTheLastFolderName)
{
    EXPECT_TRUE(COpera::IsBeta95(L"C:\\Program Files\\Opera 9.5 beta"));
    EXPECT_TRUE(COpera::IsBeta95(L"Opera 9.5 BETA"));
    EXPECT_FALSE(COpera::IsBeta95(L"C:\\Program Files\\Opera 9.5 beta2"));
    EXPECT_FALSE(COpera::IsBeta95(L"C:\\Opera 9.5 beta\\Opera"));
    EXPECT_FALSE(COpera::IsBeta95(L"C:\\Program Files\\Opera"));
    // Shorter than the name: no comparison past either end.
    EXPECT_FALSE(COpera::IsBeta95(L"C:\\Opera"));
    EXPECT_FALSE(COpera::IsBeta95(L""));
}

TEST(Opera, UnreadableProfileFailsWithOneMessage)
{
    CTempDir dir;
    WriteSingleUserInstall(dir.Path(), L"C:\\scripts\\");
    COpera opera;
    ASSERT_TRUE(opera.Init(dir.Path()));
    ASSERT_EQ(L"C:\\scripts\\", opera.userJavaScriptDir);

    // An empty directory changes nothing at all.
    EXPECT_FALSE(opera.Init(L""));
    EXPECT_EQ(L"C:\\scripts\\", opera.userJavaScriptDir);
    EXPECT_EQ(WithoutSlash(dir.Path()), opera.installDir);
    EXPECT_EQ(L"", opera.messages);

    CTempDir empty;
    MakeDirs(empty.File(L"profile"));
    WriteFileBytes(empty.File(L"operadef6.ini"), "[System]\r\nMulti User=0\r\n");
    const std::wstring missing = empty.File(L"profile\\opera6.ini");
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_FALSE(opera.Init(empty.Path()));
        EXPECT_EQ(std::wstring(kCannotRead) + missing + L"\n", opera.messages);
        EXPECT_EQ(missing, opera.mainConfigPath);
        EXPECT_EQ(WithoutSlash(empty.Path()), opera.dataPath);
        EXPECT_EQ(empty.File(L"program\\plugins\\"), opera.pluginsDir);
        // Nothing of the earlier, successful reading is left over.
        EXPECT_EQ(L"", opera.userJavaScriptDir);
        EXPECT_EQ(L"", opera.userStylesDir);
    }
    // A folder in the file's place cannot be read either.
    MakeDirs(missing);
    EXPECT_FALSE(opera.Init(empty.Path()));
    EXPECT_EQ(std::wstring(kCannotRead) + missing + L"\n", opera.messages);

    opera.AddMessage(L"x");
    EXPECT_EQ(std::wstring(kCannotRead) + missing + L"\nx\n", opera.messages);
    opera.Reset();
    EXPECT_EQ(L"", opera.messages);
    EXPECT_EQ(L"", opera.installDir);
}

namespace {

// Where an installer records the installation folder.
enum class Place { Hklm, Hklm64View, Hkcu, LastInstallPath, LastInstallPathX64 };

std::unique_ptr<RegistryValue> Record(Place place, const std::wstring& folder, DWORD type)
{
    const bool machine = place == Place::Hklm || place == Place::Hklm64View;
    const bool operaKey = machine || place == Place::Hkcu;
    return std::make_unique<RegistryValue>(
        machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
        place == Place::Hklm64View ? KEY_WOW64_64KEY : KEY_WOW64_32KEY,
        operaKey ? kOperaKeyPath : kOperaSoftwarePath,
        operaKey ? kInstallValue : place == Place::LastInstallPath ? L"Last Install Path" : L"Last Install Path x64",
        &folder, type);
}

std::string UserPrefs(const std::wstring& userJavaScriptDir)
{
    return "[User Prefs]\r\nUser JavaScript File=" + Utf8(userJavaScriptDir) + "\r\n";
}
// Opera 10 to 12's files as Opera writes them: UTF-8 with a mark, a first line of its own.
std::string Prefs(const std::wstring& userJavaScriptDir)
{
    return "\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n" + UserPrefs(userJavaScriptDir);
}
std::string Defaults(char multiUser)
{
    return std::string("\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[System]\r\nMulti User=") + multiUser + "\r\n";
}

// Marks in paths: {T} the test's folder; {A} Opera's folder in the application-data folder; {S}
// and {N} the system folders of 32-bit and 64-bit programs ({N} as a 32-bit program names it);
// {P} and {Q} their Program Files; {V} and {W} the user's VirtualStore copies of {P} and {S}. An
// expandable value is stored as written.
struct Recorded {
    Place place;
    const wchar_t* folder;
    DWORD type = REG_SZ;
};
struct OperaFile {
    const wchar_t* path;
    std::string bytes;
};
// A single-user Opera 12 installed in {T}\\Opera.
std::vector<OperaFile> SingleUserOpera12(const std::wstring& userJavaScriptDir)
{
    return {{L"{T}\\Opera\\operaprefs_default.ini", Defaults('0')},
            {L"{T}\\Opera\\profile\\operaprefs.ini", Prefs(userJavaScriptDir)}};
}

struct DiscoveryCase {
    const char* name;
    std::vector<Recorded> recorded;
    std::vector<OperaFile> files;  // also {S}: the system folder
    const wchar_t* scriptDir;      // empty: none found
    const wchar_t* configPath;     // the user's own file of the profile found
    bool windows64 = false;        // a row for 64-bit Windows only
};

// Every file below folder with its bytes, to show that nothing was written.
std::wstring TreeOf(const std::wstring& folder)
{
    std::wstring tree;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        tree += it->path().wstring() + L"=";
        if (it->is_regular_file()) tree += Utf8ToWide(ReadFileBytes(it->path().wstring()));
        tree += L"\n";
    }
    return tree;
}

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) < MAX_PATH ? value : L"";
}

std::wstring Folder(UINT(WINAPI* get)(LPWSTR, UINT))
{
    wchar_t folder[MAX_PATH] = {};
    return get(folder, MAX_PATH) < MAX_PATH ? folder : L"";
}

// Files created in turn and removed in the opposite order, so the folders each created go too.
struct ScopedFiles {
    std::vector<std::unique_ptr<ScopedFile>> files;
    ~ScopedFiles()
    {
        while (!files.empty()) files.pop_back();
    }
};

}  // namespace

TEST(Opera, FindsTheUserJavaScriptOfEveryOperaLayoutWhereverItIsRecorded)
{
    // Run as the 32-bit program on 64-bit Windows (run_wow64.sh), the redirection is the system's.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    ASSERT_TRUE(wow64 || std::getenv("MORVANTI_EXPECT_WOW64") == nullptr) << "not a 32-bit program on 64-bit Windows";
    const bool windows64 = wow64 || sizeof(void*) == 8;
    const std::wstring appDataOpera = AppDataNoSlash() + L"\\Opera";
    const std::wstring systemDir = Folder(windows64 ? GetSystemWow64DirectoryW : GetSystemDirectoryW);
    const std::wstring nativeDir =
        wow64 ? Variable(L"SystemRoot") + L"\\Sysnative" : windows64 ? Folder(GetSystemDirectoryW) : L"";
    const std::wstring programFiles = Variable(windows64 ? L"ProgramFiles(x86)" : L"ProgramFiles");
    const std::wstring virtualStore = Variable(L"LOCALAPPDATA") + L"\\VirtualStore";
    const std::string single = Defaults('0');
    const std::string multi = Defaults('1');
    const std::string wrong = Prefs(L"C:\\wrong\\");
    const std::string noFolder = Prefs(L"");
    // What an administrator writes for every user: the same format, and in operadef6.ini text in
    // the system's code page (é is a character of both code pages the tests run under).
    const std::string adminFolder =
        "[User Prefs]\r\nUser JavaScript File=" + WideToAnsi(L"D:\\Opéra admin\\") + "\r\n";
    const DiscoveryCase cases[] = {
        {"Opera 12, multi-user", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operaprefs_default.ini", multi}, {L"{A}\\Opera\\operaprefs.ini", Prefs(L"D:\\js12\\")}},
         L"D:\\js12\\", L"{A}\\Opera\\operaprefs.ini"},
        {"Opera 12, multi-user, named after its folder", {{Place::Hklm, L"{T}\\Opera Next\\"}},
         {{L"{T}\\Opera Next\\operaprefs_default.ini", multi},
          {L"{A}\\Opera\\operaprefs.ini", wrong},
          {L"{A}\\Opera Next\\operaprefs.ini", Prefs(L"D:\\next\\")}},
         L"D:\\next\\", L"{A}\\Opera Next\\operaprefs.ini"},
        {"Opera 12, single-user, the user's own over the defaults", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operaprefs_default.ini", single + UserPrefs(L"C:\\wrong\\")},
          {L"{T}\\Opera\\profile\\operaprefs.ini", Prefs(L"D:\\single\\")},
          {L"{A}\\Opera\\operaprefs.ini", wrong}},
         L"D:\\single\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        {"Opera 12 without a defaults file is multi-user", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\profile\\operaprefs.ini", wrong}, {L"{A}\\Opera\\operaprefs.ini", Prefs(L"D:\\multi\\")}},
         L"D:\\multi\\", L"{A}\\Opera\\operaprefs.ini"},
        {"Opera 12, the folder only in the installation's defaults", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operaprefs_default.ini", multi + UserPrefs(L"D:\\defaults\\")},
          {L"{A}\\Opera\\operaprefs.ini", noFolder}},
         L"D:\\defaults\\", L"{A}\\Opera\\operaprefs.ini"},
        {"Opera 12, the installation's fixed settings over the system's and the user's",
         {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operaprefs_default.ini", single}, {L"{T}\\Opera\\operaprefs_fixed.ini", Prefs(L"D:\\fixed\\")},
          {L"{S}\\operaprefs_fixed.ini", wrong}, {L"{T}\\Opera\\profile\\operaprefs.ini", wrong}},
         L"D:\\fixed\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        {"Opera 12, the system's fixed settings over the user's, who has no file yet", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operaprefs_default.ini", single}, {L"{S}\\operaprefs_fixed.ini", Prefs(L"D:\\sys12\\")}},
         L"D:\\sys12\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        {"Opera 9, the folder in operadef6.ini over the user's and the system's", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operadef6.ini", "[System]\r\nMulti User=0\r\n" + adminFolder},
          {L"{T}\\Opera\\profile\\opera6.ini", wrong},
          {L"{S}\\opera6.ini", wrong}},
         L"D:\\Opéra admin\\", L"{T}\\Opera\\profile\\opera6.ini"},
        {"Opera 9, the folder only in the system's opera6.ini", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{A}\\Opera\\profile\\opera6.ini", noFolder}, {L"{S}\\opera6.ini", Prefs(L"D:\\sys9\\")}},
         L"D:\\sys9\\", L"{A}\\Opera\\profile\\opera6.ini"},
        {"nothing names a folder anywhere: not found", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operadef6.ini", "[System]\r\nMulti User=0\r\n[User Prefs]\r\n"},
          {L"{T}\\Opera\\profile\\opera6.ini", noFolder}, {L"{S}\\opera6.ini", noFolder},
          {L"{T}\\Opera\\operaprefs_default.ini", single + UserPrefs(L"")},
          {L"{T}\\Opera\\operaprefs_fixed.ini", noFolder}, {L"{S}\\operaprefs_fixed.ini", noFolder},
          {L"{T}\\Opera\\profile\\operaprefs.ini", noFolder}},
         L"", L""},
        {"key under HKEY_CURRENT_USER only", {{Place::Hkcu, L"{T}\\Opera"}},
         SingleUserOpera12(L"D:\\cu\\"), L"D:\\cu\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        {"Last Install Path only", {{Place::LastInstallPath, L"{T}\\Opera"}},
         SingleUserOpera12(L"D:\\lip\\"), L"D:\\lip\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        {"Last Install Path x64 only", {{Place::LastInstallPathX64, L"{T}\\Opera"}},
         SingleUserOpera12(L"D:\\x64\\"), L"D:\\x64\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        {"key in the 64-bit view only, which comes before HKEY_CURRENT_USER",
         {{Place::Hklm64View, L"{T}\\Opera"}, {Place::Hkcu, L"{T}\\Later"}},
         {{L"{T}\\Opera\\operaprefs_default.ini", single},
          {L"{T}\\Opera\\profile\\operaprefs.ini", Prefs(L"D:\\v64\\")},
          {L"{T}\\Later\\operaprefs_default.ini", single},
          {L"{T}\\Later\\profile\\operaprefs.ini", wrong}},
         L"D:\\v64\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        {"both layouts: Opera 9's wins, the user's own over the system's defaults", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operadef6.ini", "[System]\r\nMulti User=0\r\n"},
          {L"{T}\\Opera\\profile\\opera6.ini", Prefs(L"D:\\opera9\\")},
          {L"{S}\\opera6.ini", wrong},
          {L"{T}\\Opera\\operaprefs_default.ini", single},
          {L"{T}\\Opera\\profile\\operaprefs.ini", Prefs(L"D:\\opera12\\")}},
         L"D:\\opera9\\", L"{T}\\Opera\\profile\\opera6.ini"},
        {"Opera 9, multi-user, named after its folder", {{Place::Hklm, L"{T}\\Opera 9.6"}},
         {{L"{A}\\Opera 9.6\\profile\\opera6.ini", Prefs(L"D:\\o96\\")}},
         L"D:\\o96\\", L"{A}\\Opera 9.6\\profile\\opera6.ini"},
        {"User JavaScript File empty: not found", {{Place::Hklm, L"{T}\\Opera"}},
         SingleUserOpera12(L""), L"", L""},
        {"a Chinese folder name", {{Place::Hklm, L"{T}\\Opera 浏览器"}},
         {{L"{A}\\Opera 浏览器\\operaprefs.ini", Prefs(L"D:\\用户脚本\\")}},
         L"D:\\用户脚本\\", L"{A}\\Opera 浏览器\\operaprefs.ini"},
        {"folders in turn until one names a folder",
         {{Place::Hklm, L"{T}\\A"},
          {Place::Hkcu, L"{T}\\a\\"},
          {Place::LastInstallPath, L"{T}\\B"},
          {Place::LastInstallPathX64, L"{T}\\C"}},
         {{L"{T}\\A\\operaprefs_default.ini", single},
          {L"{T}\\A\\profile\\operaprefs.ini", Prefs(L"")},
          {L"{T}\\B\\operaprefs_default.ini", single},
          {L"{T}\\B\\profile\\operaprefs.ini", Prefs(L"D:\\b\\")},
          {L"{T}\\C\\operaprefs_default.ini", single},
          {L"{T}\\C\\profile\\operaprefs.ini", wrong}},
         L"D:\\b\\", L"{T}\\B\\profile\\operaprefs.ini"},
        {"a folder recorded twice, with nothing in it: not found",
         {{Place::Hklm, L"{T}\\Opera"}, {Place::Hkcu, L"{T}\\OPERA\\"}}, {}, L"", L""},
        {"the folder as an expandable string; one naming what the system lacks",
         {{Place::Hkcu, L"%NO_SUCH_MORVANTI_FOLDER%\\Opera", REG_EXPAND_SZ},
          {Place::LastInstallPath, L"%Morvanti_Test_Folder%\\Opera", REG_EXPAND_SZ}},
         SingleUserOpera12(L"D:\\expanded\\"), L"D:\\expanded\\", L"{T}\\Opera\\profile\\operaprefs.ini"},
        // Names in any letter case, as Windows finds files and its profile functions sections and
        // keys; a name written as asked first.
        {"Opera 9, names in another letter case", {{Place::Hklm, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\OperaDef6.INI", "[system]\r\nmulti user=0\r\n"},
          {L"{T}\\Opera\\Profile\\OPERA6.ini",
           "[user prefs]\r\nUser JavaScript File=C:\\wrong\\\r\n[User Prefs]\r\nuser javascript file=C:\\wrong\\\r\n"
           "User JavaScript File=D:\\exact\\\r\n"}},
         L"D:\\exact\\", L"{T}\\Opera\\profile\\opera6.ini"},
        // Opera 9.0 to 9.2 under Program Files, virtualized: each file with a VirtualStore copy
        // is read from there; Opera 10 to 12 read their own.
        {"Opera 9 under Program Files: the VirtualStore's copies", {{Place::Hklm, L"{P}\\Morvanti Test Opera"}},
         {{L"{P}\\Morvanti Test Opera\\operadef6.ini", "[System]\r\nMulti User=1\r\n"},
          {L"{V}\\Morvanti Test Opera\\operadef6.ini", "[System]\r\nMulti User=0\r\n"},
          {L"{P}\\Morvanti Test Opera\\profile\\opera6.ini", wrong},
          {L"{V}\\Morvanti Test Opera\\profile\\opera6.ini", noFolder},
          {L"{S}\\opera6.ini", wrong},
          {L"{W}\\opera6.ini", Prefs(L"D:\\virtualized\\")}},
         L"D:\\virtualized\\", L"{V}\\Morvanti Test Opera\\profile\\opera6.ini"},
        {"Opera 12 under Program Files", {{Place::Hklm, L"{P}\\Morvanti Test Opera"}},
         {{L"{P}\\Morvanti Test Opera\\operaprefs_default.ini", single},
          {L"{P}\\Morvanti Test Opera\\profile\\operaprefs.ini", Prefs(L"D:\\own\\")},
          {L"{V}\\Morvanti Test Opera\\profile\\operaprefs.ini", wrong}},
         L"D:\\own\\", L"{P}\\Morvanti Test Opera\\profile\\operaprefs.ini"},
        // A 64-bit Opera (by its record, or under the 64-bit Program Files) reads the 64-bit
        // system folder, a 32-bit one the 32-bit programs' one; %ProgramFiles% is its kind's.
        {"64-bit Windows: a 64-bit Opera 12 in the 64-bit view", {{Place::Hklm64View, L"{T}\\Opera"}},
         {{L"{T}\\Opera\\operaprefs_default.ini", single}, {L"{N}\\operaprefs_fixed.ini", Prefs(L"D:\\native\\")},
          {L"{S}\\operaprefs_fixed.ini", wrong}},
         L"D:\\native\\", L"{T}\\Opera\\profile\\operaprefs.ini", true},
        {"64-bit Windows: %ProgramFiles% of a 64-bit Opera",
         {{Place::LastInstallPathX64, L"%ProgramFiles%\\Morvanti Test Opera", REG_EXPAND_SZ}},
         {{L"{Q}\\Morvanti Test Opera\\operaprefs_default.ini", single},
          {L"{N}\\operaprefs_fixed.ini", Prefs(L"D:\\native 64\\")},
          {L"{P}\\Morvanti Test Opera\\operaprefs_default.ini", single + UserPrefs(L"C:\\wrong\\")}},
         L"D:\\native 64\\", L"{Q}\\Morvanti Test Opera\\profile\\operaprefs.ini", true},
        {"64-bit Windows: a 32-bit Opera 12; its %ProgramFiles%",
         {{Place::Hklm, L"%ProgramFiles%\\Morvanti Test Opera", REG_EXPAND_SZ}},
         {{L"{P}\\Morvanti Test Opera\\operaprefs_default.ini", single},
          {L"{S}\\operaprefs_fixed.ini", Prefs(L"D:\\wow64\\")},
          {L"{N}\\operaprefs_fixed.ini", wrong},
          {L"{Q}\\Morvanti Test Opera\\operaprefs_default.ini", single + UserPrefs(L"C:\\wrong\\")}},
         L"D:\\wow64\\", L"{P}\\Morvanti Test Opera\\profile\\operaprefs.ini", true},
        {"64-bit Windows: a 64-bit Opera 12 under the 64-bit Program Files",
         {{Place::Hkcu, L"{Q}\\Morvanti Test Opera"}},
         {{L"{Q}\\Morvanti Test Opera\\operaprefs_default.ini", single},
          {L"{N}\\operaprefs_fixed.ini", Prefs(L"D:\\native Q\\")}, {L"{S}\\operaprefs_fixed.ini", wrong}},
         L"D:\\native Q\\", L"{Q}\\Morvanti Test Opera\\profile\\operaprefs.ini", true},
    };
    for (const Place place : {Place::Hklm, Place::Hklm64View, Place::Hkcu}) {
        ASSERT_FALSE(KeyExists(kOperaKeyPath, place == Place::Hkcu ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                               place == Place::Hklm64View ? KEY_WOW64_64KEY : KEY_WOW64_32KEY))
            << "the test prefix already holds an Opera key";
    }
    ASSERT_FALSE(KeyExists(kOperaSoftwarePath, HKEY_CURRENT_USER));
    ASSERT_FALSE(PathExists(appDataOpera)) << "the test prefix already holds an Opera profile";
    ASSERT_FALSE(PathExists(systemDir + L"\\opera6.ini") || PathExists(systemDir + L"\\operaprefs_fixed.ini"));
    ASSERT_TRUE(programFiles.size() > 2 && !systemDir.empty());

    int skipped = 0;
    for (const DiscoveryCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.windows64 && !windows64) {
            ++skipped;
            continue;
        }
        CTempDir dir;
        SetEnvironmentVariableW(L"MORVANTI_TEST_FOLDER", WithoutSlash(dir.Path()).c_str());
        const std::pair<std::wstring, std::wstring> marks[] = {
            {L"{T}", WithoutSlash(dir.Path())}, {L"{A}", appDataOpera}, {L"{S}", systemDir}, {L"{N}", nativeDir},
            {L"{P}", programFiles}, {L"{Q}", Variable(L"ProgramW6432")},
            {L"{V}", virtualStore + programFiles.substr(2)}, {L"{W}", virtualStore + systemDir.substr(2)}};
        const auto expand = [&](std::wstring text) {
            for (const auto& [mark, with] : marks) {
                for (size_t at = text.find(mark); at != std::wstring::npos; at = text.find(mark)) {
                    text.replace(at, mark.size(), with);
                }
            }
            return text;
        };
        std::vector<std::unique_ptr<RegistryValue>> recorded;
        for (const Recorded& r : c.recorded) {
            recorded.push_back(Record(r.place, r.type == REG_SZ ? expand(r.folder) : r.folder, r.type));
        }
        ScopedFiles files;
        for (const OperaFile& f : c.files) {
            files.files.push_back(std::make_unique<ScopedFile>(expand(f.path)));
            files.files.back()->Write(f.bytes);
        }
        const auto trees = [&] { return TreeOf(dir.Path()) + TreeOf(appDataOpera) + TreeOf(virtualStore); };
        const std::wstring before = trees();

        COpera opera;
        const bool found = opera.FindUserJavaScript();
        EXPECT_EQ(*c.scriptDir != L'\0', found);
        EXPECT_EQ(c.scriptDir, opera.userJavaScriptDir);
        if (found) {
            EXPECT_EQ(expand(c.configPath), opera.mainConfigPath);
            // What an earlier profile's missing file left is gone.
            EXPECT_EQ(kErrNone, opera.Error().GetErrorCode()) << opera.Error().GetErrorText();
            EXPECT_EQ(L"", opera.messages);
        }
        EXPECT_EQ(before, trees()) << "nothing is written, no folder created";
        for (const OperaFile& f : c.files) EXPECT_EQ(f.bytes, ReadFileBytes(expand(f.path)));
        while (!recorded.empty()) recorded.pop_back();
    }
    if (skipped > 0) std::printf("%d rows skipped: 32-bit Windows runs no 64-bit Opera\n", skipped);
    EXPECT_FALSE(PathExists(appDataOpera));
    EXPECT_FALSE(KeyExists(kOperaSoftwarePath, HKEY_CURRENT_USER));
}
