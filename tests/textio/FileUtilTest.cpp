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
