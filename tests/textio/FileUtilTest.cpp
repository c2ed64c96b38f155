#include "textio/FileUtil.h"

#include <gtest/gtest.h>

#include "tests/common/TestFiles.h"

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
