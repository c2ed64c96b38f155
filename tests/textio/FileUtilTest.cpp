#include "textio/FileUtil.h"

#include <gtest/gtest.h>

#include "support/Paths.h"
#include "tests/common/TestFiles.h"
#include "textio/DeviceName.h"

TEST(FileUtil, RemoveFile)
{
    CTempDir dir;
    std::wstring path = dir.File(L"gone.txt");
    WriteFileBytes(path, "x");
    CLastError error;
    error.SetError(L"stale", 9);
    EXPECT_TRUE(RemoveFile(path, error));
    EXPECT_EQ(0u, error.GetErrorCode());
    EXPECT_FALSE(PathExists(path));
    EXPECT_TRUE(RemoveFile(path, error)) << "already gone";
    EXPECT_FALSE(RemoveFile(dir.File(L"no\\such\\dir\\f.txt"), error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error.GetErrorCode());
}

TEST(FileUtil, CopyFileContents)
{
    CTempDir dir;
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<char>(i * 7));
    std::wstring source = dir.File(L"src.bin");
    std::wstring destination = dir.File(L"dst.bin");
    WriteFileBytes(source, bytes);
    CLastError error;
    EXPECT_TRUE(CopyFileContents(source, destination, false, error));
    EXPECT_EQ(bytes, ReadFileBytes(destination));

    WriteFileBytes(destination, "keep");
    EXPECT_TRUE(CopyFileContents(source, destination, false, error)) << "an existing destination is kept";
    EXPECT_EQ("keep", ReadFileBytes(destination));
    EXPECT_TRUE(CopyFileContents(source, destination, true, error));
    EXPECT_EQ(bytes, ReadFileBytes(destination));

    EXPECT_FALSE(CopyFileContents(dir.File(L"missing"), destination, true, error));
    EXPECT_NE(0u, error.GetErrorCode());
    EXPECT_FALSE(CopyFileContents(source, dir.File(L"no\\dir\\x"), true, error));
}

TEST(FileUtil, LongPathFormTakesEveryPathTheSystemOpens)
{
    CTempDir dir;
    wchar_t previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    // Two folders, 300 characters in all; and a relative path of 259, too long only as a full path.
    const std::wstring name = std::wstring(150, L'n') + L"\\" + std::wstring(149, L'n');
    const std::wstring relative = std::wstring(100, L'r') + L"\\" + std::wstring(MAX_PATH - 1 - 101 - 5, L'r');
    // The longest plain full path, and one character more.
    const std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 1 - 3, L'm');
    const std::wstring tooLong = longest + L"m";
    struct Row {
        std::wstring path;
        std::wstring expected;
    };
    const Row rows[] = {
        {L"C:\\short\\a.js", L"C:\\short\\a.js"},
        {longest, longest},
        {tooLong, L"\\\\?\\" + tooLong},
        {L"C:\\" + name + L"\\a.js", L"\\\\?\\C:\\" + name + L"\\a.js"},
        // Normalised as the system would before it takes the "\\?\" form as it stands.
        {L"C:/" + name + L"/sub/../a.js", L"\\\\?\\C:\\" + name + L"\\a.js"},
        {L"\\\\server\\share\\a.js", L"\\\\server\\share\\a.js"},
        {L"\\\\server\\share\\" + name + L"\\a.js", L"\\\\?\\UNC\\server\\share\\" + name + L"\\a.js"},
        // A relative path is measured, and made full, from the current folder.
        {L"sub\\a.js", L"sub\\a.js"},
        {relative + L"\\a.js", L"\\\\?\\" + dir.Path() + relative + L"\\a.js"},
        {L".\\" + name + L"\\..\\..\\" + name + L"\\a.js", L"\\\\?\\" + dir.Path() + name + L"\\a.js"},
        // Already in a form without the limit.
        {L"\\\\?\\C:\\short\\a.js", L"\\\\?\\C:\\short\\a.js"},
        {L"\\\\?\\C:\\" + name + L"\\a.js", L"\\\\?\\C:\\" + name + L"\\a.js"},
        {L"\\\\?\\UNC\\server\\share\\" + name, L"\\\\?\\UNC\\server\\share\\" + name},
        {L"\\\\.\\pipe\\" + name + name, L"\\\\.\\pipe\\" + name + name},
        {L"", L""},
    };
    for (const Row& row : rows) {
        const std::wstring got = LongPathForm(row.path);
        EXPECT_EQ(row.expected, got) << row.path.size() << L" characters: " << row.path;
        // Messages show the path a user knows.
        if (got != row.path) {
            EXPECT_EQ(GetFullPath(row.path), PlainPathForm(got)) << row.path;
        }
    }
    SetCurrentDirectoryW(previous);
}

TEST(FileUtil, NamesDeviceKnowsTheSystemsDeviceNamesAndNoFileName)
{
    struct Row {
        const wchar_t* path;
        bool device;
    };
    const Row rows[] = {
        // DOS device names, in every folder, every letter case, whatever follows a dot or colon.
        {L"NUL", true}, {L"con", true}, {L"Aux", true}, {L"PRN", true}, {L"COM1", true}, {L"com9", true},
        {L"LPT1", true}, {L"lpt9", true}, {L"CONIN$", true}, {L"conout$", true}, {L"COM\u00B9", true},
        {L"LPT\u00B2.txt", true}, {L"COM\u00B3", true}, {L"COM1.js", true}, {L"nul.tar.gz", true},
        {L"com1 .txt", true}, {L"NUL  ", true}, {L"aux...", true}, {L"CON:", true}, {L"C:NUL", true},
        {L"C:\\Users\\u\\userjs\\Com1.js", true}, {L"..\\nul", true}, {L"D:/folder/lpt1.txt", true},
        // The device namespace, and extended forms that name no drive and no share.
        {L"\\\\.\\NUL", true}, {L"\\\\.\\pipe\\x", true}, {L"//./COM1", true}, {L"\\\\.\\C:\\x\\a.js", true},
        {L"\\\\?\\pipe\\x", true}, {L"\\\\?\\GLOBALROOT\\Device\\Null", true}, {L"\\??\\COM1", true},
        {L"\\\\?\\C:\\x\\nul.js", true}, {L"//?/C:/x/a.js", true}, {L"\\\\?/C:\\x\\a.js", true},
        {L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\com1.js", true}, {L"\\\\?\\Volume{0}\\a.js", true},
        // A server's pipes and mailslots.
        {L"\\\\server\\pipe\\x", true}, {L"\\\\server\\PIPE", true}, {L"\\\\?\\UNC\\server\\mailslot\\x", true},
        // Files.
        {L"", false}, {L"Autorender in IE.js", false}, {L"C:\\x\\a.js", false}, {L"COM10", false},
        {L"COM0", false}, {L"LPT", false}, {L"CONSOLE.js", false}, {L"nul1.js", false}, {L"auxiliary", false},
        {L"xnul", false}, {L"a.nul", false}, {L" com1", false}, {L"C:\\NUL\\a.js", false},
        {L"C:\\folder\\", false}, {L"\\\\?\\C:\\x\\a.js", false}, {L"\\\\?\\UNC\\server\\share\\a.js", false},
        {L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\a.js", false},
        {L"\\\\?\\volume{0F0F0F0F-0000-0000-0000-000000000000}\\x\\a.js", false}, {L"\\\\server\\share\\a.js", false}, {L"\\\\server\\pipes\\a.js", false}, {L"\\\\pipe\\share\\a.js", false},
    };
    for (const Row& row : rows) EXPECT_EQ(row.device, NamesDevice(row.path)) << row.path;
}
