#include "browser/Opera.h"

#include <windows.h>

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
