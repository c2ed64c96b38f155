// The file version as the About box shows it, read from DLLs built beside this test with their
// own version blocks.
#include "app/VersionInfo.h"

#include <gtest/gtest.h>

#include "support/SystemHelpers.h"
#include "tests/common/TestFiles.h"

namespace {

std::wstring Beside(const wchar_t* name)
{
    return GetModuleDir() + name;
}

}  // namespace

TEST(VersionInfo, ChineseFileVersionLosesItsCommasAndSpaces)
{
    EXPECT_EQ(L"2.5.0.17", GetVersionFromPath(Beside(L"version_zh.dll")));
    // A value without commas or spaces comes through as it is.
    EXPECT_EQ(L"3.1-beta", GetVersionFromPath(Beside(L"version_plain.dll")));
}

TEST(VersionInfo, OnlyTheChineseKeyIsReadAndAFileWithoutABlockHasNoVersion)
{
    // The strings are there, but under the US English key.
    EXPECT_EQ(L"", GetVersionFromPath(Beside(L"version_en.dll")));
    // This test program has no version block at all.
    EXPECT_EQ(L"", GetVersionFromPath(GetModulePath()));
    EXPECT_EQ(L"", GetVersionFromPath(Beside(L"no such file.dll")));
    CTempDir dir;
    WriteFileBytes(dir.File(L"not a program.dll"), std::string(600, 'x'));
    EXPECT_EQ(L"", GetVersionFromPath(dir.File(L"not a program.dll")));
}
