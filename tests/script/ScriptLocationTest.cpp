// Runs against the real registry and folders of the test prefix: Opera's key, the settings
// file beside this test program and the one in the application-data folder are created per
// test and removed (or restored) afterwards.

#include "script/ScriptLocation.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "script/ScriptSaveLock.h"
#include "support/SystemHelpers.h"
#include "tests/browser/OperaFixture.h"
#include "tests/common/TestFiles.h"
#include "tests/script/ScriptFixture.h"

using namespace opera_test;

namespace {

const wchar_t kIniName[] = L"autorender_in_ie.ini";

std::string SettingsBytes(const std::wstring& scriptPath)
{
    return Utf16Le(L"[AutoRenderInIE]\r\nScriptPath=" + scriptPath + L"\r\n");
}

class ScriptLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(KeyExists(kOperaKeyPath)) << "the test prefix already holds an Opera key";
        g_scriptPath.clear();
        g_pathChanged = false;
    }
    void TearDown() override
    {
        g_scriptPath.clear();
        g_pathChanged = false;
    }

    // A single-user Opera whose profile names scriptDir for user scripts.
    void InstallOpera(const std::wstring& scriptDir)
    {
        WriteSingleUserInstall(operaDir.Path(), scriptDir);
        operaKey = std::make_unique<OperaKey>(operaDir.Path());
    }

    CTempDir dir;
    CTempDir operaDir;
    ScopedFile besideProgram{GetModuleDir() + kIniName};
    ScopedFile inAppData{GetAppDataDir() + kIniName};
    std::unique_ptr<OperaKey> operaKey;
};

TEST_F(ScriptLocationTest, SettingsFileBesideTheProgramComesFirstThenOpera)
{
    // Neither settings file: the per-user one is named all the same.
    DeleteFileW(besideProgram.Path().c_str());
    DeleteFileW(inAppData.Path().c_str());
    EXPECT_EQ(inAppData.Path(), GetSettingsFilePath());
    EXPECT_EQ(ScriptSource::NotFound, LocateScript(true));
    EXPECT_EQ(L"", g_scriptPath);

    inAppData.Write(SettingsBytes(L"C:\\appdata\\a.js"));
    EXPECT_EQ(ScriptSource::SettingsFile, LocateScript(true));
    EXPECT_EQ(L"C:\\appdata\\a.js", g_scriptPath);

    besideProgram.Write(SettingsBytes(L"C:\\beside\\b.js"));
    EXPECT_EQ(besideProgram.Path(), GetSettingsFilePath());
    EXPECT_EQ(ScriptSource::SettingsFile, LocateScript(false));
    EXPECT_EQ(L"C:\\beside\\b.js", g_scriptPath);

    // An empty value beside the program does not fall back to the per-user file but to Opera.
    besideProgram.Write(SettingsBytes(L""));
    EXPECT_EQ(ScriptSource::NotFound, LocateScript(false));
    EXPECT_EQ(L"", g_scriptPath);
    InstallOpera(L"C:\\opera scripts\\");
    EXPECT_EQ(ScriptSource::Opera, LocateScript(false));
    EXPECT_EQ(L"C:\\opera scripts\\Autorender in IE.js", g_scriptPath);
    EXPECT_FALSE(g_pathChanged);

    // An unreadable settings file keeps the path found before.
    DeleteFileW(besideProgram.Path().c_str());
    DeleteFileW(inAppData.Path().c_str());
    g_scriptPath = L"C:\\earlier.js";
    EXPECT_EQ(ScriptSource::SettingsFile, LocateScript(true));
    EXPECT_EQ(L"C:\\earlier.js", g_scriptPath);
}

TEST_F(ScriptLocationTest, OperaScriptFolderGetsExactlyOneBackslash)
{
    for (const std::wstring& folder : {std::wstring(L"D:\\js"), std::wstring(L"D:\\js\\")}) {
        SCOPED_TRACE(folder);
        InstallOpera(folder);
        g_scriptPath.clear();
        EXPECT_EQ(ScriptSource::Opera, LocateScript(false));
        EXPECT_EQ(L"D:\\js\\Autorender in IE.js", g_scriptPath);
        operaKey.reset();
    }
}

TEST_F(ScriptLocationTest, QuickAddAppendsToTheIncludeList)
{
    const std::wstring script = dir.File(L"Autorender in IE.js");
    inAppData.Write(SettingsBytes(script));
    DeleteFileW(besideProgram.Path().c_str());

    // Already listed: added a second time, after the last pattern.
    WriteFileBytes(script, JoinCrLf({"// ==UserScript==", "//@include http://a/*", "//@include http://b/*",
                                     "// ==/UserScript==", "opera.x();"}));
    EXPECT_TRUE(AddURLtoInlcude(L"http://a/*"));
    EXPECT_EQ(JoinCrLf({"// ==UserScript==", "//@include http://a/*", "//@include http://b/*",
                        "//@include http://a/*", "// ==/UserScript==", "opera.x();"}),
              ReadFileBytes(script));
    EXPECT_EQ(script, g_scriptPath);
    EXPECT_FALSE(g_pathChanged);

    // No include block: the new line goes to the very top.
    const std::string noInclude = JoinCrLf({"// ==UserScript==", "//@exclude http://x/*", "// ==/UserScript=="});
    WriteFileBytes(script, noInclude);
    EXPECT_TRUE(AddURLtoInlcude(L"http://new/"));
    EXPECT_EQ("//@include http://new/\r\n" + noInclude, ReadFileBytes(script));

    // The script is not there: nothing is created.
    DeleteFileW(script.c_str());
    EXPECT_FALSE(AddURLtoInlcude(L"http://d/"));
    EXPECT_FALSE(PathExists(script));

    // Found nowhere.
    DeleteFileW(inAppData.Path().c_str());
    g_scriptPath.clear();
    EXPECT_FALSE(AddURLtoInlcude(L"http://e/"));
    EXPECT_EQ(L"", g_scriptPath);
}

// An address is text that a web page may have chosen. Any of the line breaks at which JavaScript
// ends a "//" comment would turn the rest of it into code of the script, which Opera runs on every
// page: refused, whatever the script's encoding, and the file left alone. So is an address that
// makes no pattern at all.
TEST_F(ScriptLocationTest, AQuickAddRefusesAnAddressThatIsNoSinglePattern)
{
    const std::wstring script = dir.File(L"Autorender in IE.js");
    inAppData.Write(SettingsBytes(script));
    DeleteFileW(besideProgram.Path().c_str());
    const std::string header = "// ==UserScript==\r\n//@include http://a/*\r\n// ==/UserScript==\r\nrun();\r\n";
    const struct {
        const char* what;
        std::string bytes;
    } scripts[] = {
        {"plain ASCII, read in the ANSI code page", header},
        {"UTF-8", JoinCrLf({"// \xE4\xB8\xAD\xE6\x96\x87", "//@include http://a/*", "run();"})},
        {"UTF-16 with a mark", "\xFF\xFE" + Utf16Le(L"//@include http://a/*\r\nrun();\r\n")},
    };
    const wchar_t* const addresses[] = {
        L"http://c/\r\nalert(1);", L"http://c/\nalert(1);", L"http://c/\r",
        L"http://a.example/\u2028alert(document.cookie)//", L"http://a.example/\u2029alert(document.cookie)//",
        L"\u2028", L" \t ", L"",
    };
    for (const auto& s : scripts) {
        WriteFileBytes(script, s.bytes);
        for (const wchar_t* address : addresses) {
            SCOPED_TRACE(std::string(s.what) + ": " + WideToUtf8(address));
            EXPECT_FALSE(AddURLtoInlcude(address));
            EXPECT_EQ(s.bytes, ReadFileBytes(script));
        }
        // The same script takes a plain address.
        EXPECT_TRUE(AddURLtoInlcude(L"http://b/")) << s.what;
    }
}

TEST_F(ScriptLocationTest, AQuickAddWhoseTurnDoesNotComeFailsAndWritesNothing)
{
    const std::wstring script = dir.File(L"Autorender in IE.js");
    besideProgram.Write(SettingsBytes(script));
    const std::string before = JoinCrLf({"//@include http://a/*", "go();"});
    WriteFileBytes(script, before);
    // The save of another instance (a thread stands for it) holds the script's turn, under
    // another spelling of its path, for longer than a save waits.
    std::wstring otherSpelling = script;
    std::transform(otherSpelling.begin(), otherSpelling.end(), otherSpelling.begin(), towupper);
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE letGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        CScriptSaveLock turn;
        EXPECT_TRUE(turn.Acquire(otherSpelling));
        SetEvent(taken);
        WaitForSingleObject(letGo, INFINITE);
    });
    WaitForSingleObject(taken, INFINITE);
    const DWORD start = GetTickCount();
    const bool added = AddURLtoInlcude(L"http://late/");
    const DWORD waited = GetTickCount() - start;
    SetEvent(letGo);
    other.join();
    CloseHandle(taken);
    CloseHandle(letGo);
    EXPECT_FALSE(added);
    EXPECT_GE(waited + 100, CScriptSaveLock::kWaitMs);
    EXPECT_EQ(before, ReadFileBytes(script));
    // Its turn free, the same quick add goes through.
    EXPECT_TRUE(AddURLtoInlcude(L"http://late/"));
    EXPECT_EQ(JoinCrLf({"//@include http://a/*", "//@include http://late/", "go();"}), ReadFileBytes(script));
}

// Another program (a virus scanner, an indexer, a backup) holds the script as the quick add
// starts, for its read (no sharing) or for the replace (shared for reading only): a hold of under
// a second is waited out; a longer one fails the quick add, with nothing written.
TEST_F(ScriptLocationTest, AQuickAddWaitsOutAShortHoldOfTheScriptByAnotherProgram)
{
    const std::wstring script = dir.File(L"Autorender in IE.js");
    besideProgram.Write(SettingsBytes(script));
    const std::string before = JoinCrLf({"//@include http://a/*", "go();"});
    struct Row {
        DWORD share;
        DWORD holdMs;
        bool added;
    };
    for (const Row& row : {Row{0, 800, true}, Row{FILE_SHARE_READ, 800, true}, Row{0, 3000, false}}) {
        WriteFileBytes(script, before);
        HANDLE held = CreateFileW(script.c_str(), GENERIC_READ, row.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        std::thread other([&] {
            Sleep(row.holdMs);
            CloseHandle(held);
        });
        const DWORD start = GetTickCount();
        EXPECT_EQ(row.added, AddURLtoInlcude(L"http://held/")) << row.share << L" " << row.holdMs;
        const DWORD took = GetTickCount() - start;
        other.join();
        EXPECT_EQ(row.added ? JoinCrLf({"//@include http://a/*", "//@include http://held/", "go();"}) : before,
                  ReadFileBytes(script));
        EXPECT_TRUE(row.added || took < row.holdMs) << "waited for the end of a long hold";
    }
}

TEST_F(ScriptLocationTest, RelativeScriptPathIsTakenFromTheProgramFolder)
{
    const std::wstring subName = L"loc-test-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring relative = L".\\" + subName + L"\\x.js";
    ScopedFile script(GetModuleDir() + subName + L"\\x.js");
    script.Write(JoinCrLf({"//@include http://old/", "run();"}));
    besideProgram.Write(SettingsBytes(relative));

    EXPECT_EQ(GetModuleDir() + subName + L"\\x.js", ResolveScriptPath(relative));
    EXPECT_TRUE(AddURLtoInlcude(L"http://rel/"));
    EXPECT_EQ(relative, g_scriptPath);
    EXPECT_EQ(JoinCrLf({"//@include http://old/", "//@include http://rel/", "run();"}), ReadFileBytes(script.Path()));

    EXPECT_EQ(L"C:\\abs\\x.js", ResolveScriptPath(L"C:\\abs\\x.js"));
    EXPECT_EQ(L"", ResolveScriptPath(L""));
}

TEST_F(ScriptLocationTest, QuickAddFindsTheScriptThroughOpera)
{
    DeleteFileW(besideProgram.Path().c_str());
    DeleteFileW(inAppData.Path().c_str());
    InstallOpera(dir.Path());
    WriteFileBytes(dir.File(L"Autorender in IE.js"), JoinCrLf({"// header", "go();"}));
    EXPECT_TRUE(AddURLtoInlcude(L"http://via-opera/"));
    EXPECT_EQ(dir.File(L"Autorender in IE.js"), g_scriptPath);
    EXPECT_EQ(JoinCrLf({"//@include http://via-opera/", "// header", "go();"}),
              ReadFileBytes(dir.File(L"Autorender in IE.js")));
    // The quick add leaves the decision to store the path to the dialog.
    EXPECT_FALSE(g_pathChanged);
}

TEST_F(ScriptLocationTest, QuickAddFindsTheScriptOfAnOpera12InstalledForTheCurrentUser)
{
    DeleteFileW(besideProgram.Path().c_str());
    DeleteFileW(inAppData.Path().c_str());
    const std::wstring install = dir.File(L"Opera Next");
    MakeDirs(install);
    RegistryValue recorded(HKEY_CURRENT_USER, KEY_WOW64_32KEY, kOperaKeyPath, kInstallValue, &install);
    const std::wstring scriptDir = dir.File(L"用户脚本");
    MakeDirs(scriptDir);
    const std::wstring script = scriptDir + L"\\Autorender in IE.js";
    WriteFileBytes(script, JoinCrLf({"// header", "go();"}));
    ScopedFile prefs(GetAppDataDir() + L"Opera\\Opera Next\\operaprefs.ini");
    prefs.Write("\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[User Prefs]\r\nUser JavaScript File=" +
                Utf8(scriptDir) + "\r\n");

    EXPECT_TRUE(AddURLtoInlcude(L"http://opera12/"));
    EXPECT_EQ(script, g_scriptPath);
    const std::string added = JoinCrLf({"//@include http://opera12/", "// header", "go();"});
    EXPECT_EQ(added, ReadFileBytes(script));

    // An administrator's fixed setting for the installation is the folder Opera reads: the quick
    // add goes to that script, the user's own stays as it was.
    {
        const std::wstring shared = dir.File(L"shared");
        ScopedFile sharedScript(shared + L"\\Autorender in IE.js");
        sharedScript.Write("go();\r\n");
        ScopedFile fixed(install + L"\\operaprefs_fixed.ini");
        fixed.Write("[User Prefs]\r\nUser JavaScript File=" + Utf8(shared) + "\r\n");
        g_scriptPath.clear();
        EXPECT_TRUE(AddURLtoInlcude(L"http://fixed/"));
        EXPECT_EQ(shared + L"\\Autorender in IE.js", g_scriptPath);
        EXPECT_EQ("//@include http://fixed/\r\ngo();\r\n", ReadFileBytes(shared + L"\\Autorender in IE.js"));
        EXPECT_EQ(added, ReadFileBytes(script));
    }

    // Opera's setting empty: not found, and nothing is written anywhere.
    prefs.Write("\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[User Prefs]\r\nUser JavaScript File=\r\n");
    g_scriptPath.clear();
    EXPECT_EQ(ScriptSource::NotFound, LocateScript(true));
    EXPECT_FALSE(AddURLtoInlcude(L"http://nowhere/"));
    EXPECT_EQ(L"", g_scriptPath);
    EXPECT_EQ(added, ReadFileBytes(script));
    EXPECT_FALSE(PathExists(besideProgram.Path()));
    EXPECT_FALSE(PathExists(inAppData.Path()));
}

// An Opera 9 for one user under Program Files runs the script of its VirtualStore, where
// Windows put what it wrote.
TEST_F(ScriptLocationTest, QuickAddGoesToTheScriptThatAVirtualizedOperaRuns)
{
    DeleteFileW(besideProgram.Path().c_str());
    DeleteFileW(inAppData.Path().c_str());
    wchar_t programFiles[MAX_PATH] = {}, local[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ProgramFiles(x86)", programFiles, MAX_PATH) == 0) {
        GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    }
    GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    const std::wstring install = std::wstring(programFiles) + L"\\Morvanti Test Opera";
    WriteSingleUserInstall(install + L"\\", install + L"\\userjs\\");
    ScopedFile own(install + L"\\userjs\\Autorender in IE.js");
    own.Write("go();\r\n");
    ScopedFile copy(std::wstring(local) + L"\\VirtualStore" + install.substr(2) + L"\\userjs\\Autorender in IE.js");
    copy.Write("go();\r\n");
    operaKey = std::make_unique<OperaKey>(install);
    EXPECT_TRUE(AddURLtoInlcude(L"http://virtualized/"));
    EXPECT_EQ(copy.Path(), g_scriptPath);
    EXPECT_EQ("//@include http://virtualized/\r\ngo();\r\n", ReadFileBytes(copy.Path()));
    EXPECT_EQ("go();\r\n", ReadFileBytes(own.Path()));
    for (const wchar_t* file : {L"\\operadef6.ini", L"\\profile\\opera6.ini"}) DeleteFileW((install + file).c_str());
    RemoveDirectoryW((install + L"\\profile").c_str());
}

TEST_F(ScriptLocationTest, SettingsFileIsReadInTheEncodingItHas)
{
    DeleteFileW(besideProgram.Path().c_str());
    // A folder name in the system's ANSI code page, for the settings file written in it.
    const unsigned codePage = GetACP();
    const std::wstring ansiName = codePage == 936 ? L"中文" : L"café";
    const std::string ansiBytes = codePage == 936 ? "\xD6\xD0\xCE\xC4" : "caf\xE9";
    ASSERT_TRUE(codePage == 936 || codePage == 1252) << codePage;
    const std::string header = "[AutoRenderInIE]\r\nScriptPath=";
    const auto settingsText = [&](const std::wstring& folder) {
        return L"[AutoRenderInIE]\r\nScriptPath=" + dir.File(folder) + L"\\Autorender in IE.js\r\n";
    };
    const struct {
        const char* name;
        std::wstring folder;
        std::string bytes;
    } cases[] = {
        // As the program writes it: only its ASCII characters have a zero second byte.
        {"UTF-16 LE without a mark", L"用户脚本", Utf16Le(settingsText(L"用户脚本"))},
        {"UTF-16 LE with a mark", L"脚本 16", "\xFF\xFE" + Utf16Le(settingsText(L"脚本 16"))},
        {"UTF-8 with a mark", L"脚本 8", "\xEF\xBB\xBF" + Utf8(settingsText(L"脚本 8"))},
        {"UTF-8 without a mark", L"Skript ä", Utf8(settingsText(L"Skript ä"))},
        {"ANSI", ansiName, header + Narrow(dir.Path()) + ansiBytes + "\\Autorender in IE.js\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring script = dir.File(c.folder) + L"\\Autorender in IE.js";
        MakeDirs(dir.File(c.folder));
        WriteFileBytes(script, JoinCrLf({"go();"}));
        inAppData.Write(c.bytes);
        g_scriptPath.clear();
        EXPECT_TRUE(AddURLtoInlcude(L"http://enc/"));
        EXPECT_EQ(script, g_scriptPath);
        EXPECT_EQ(JoinCrLf({"//@include http://enc/", "go();"}), ReadFileBytes(script));
        EXPECT_EQ(c.bytes, ReadFileBytes(inAppData.Path())) << "the settings file is only read";
    }
}

}  // namespace
