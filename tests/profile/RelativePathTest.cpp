#include "profile/RelativePath.h"

#include <gtest/gtest.h>

TEST(RelativePath, PrefixesClimbTheBaseFolder)
{
    EXPECT_EQ(L"C:\\a\\x\\y.js", ResolveRelativePath(L"..\\..\\x\\y.js", L"C:\\a\\b\\c\\"));
    EXPECT_EQ(L"C:\\a\\b\\y.js", ResolveRelativePath(L"..\\y.js", L"C:\\a\\b\\c"));
    EXPECT_EQ(L"C:\\prog\\sub\\f.js", ResolveRelativePath(L".\\sub\\f.js", L"C:\\prog\\"));
    EXPECT_EQ(L"C:\\prog\\f", ResolveRelativePath(L".\\f", L"C:\\prog"));
    EXPECT_EQ(L"C:\\a\\f", ResolveRelativePath(L"..\\.\\f", L"C:\\a\\b"));
    // Climbing past the drive stops at the drive.
    EXPECT_EQ(L"C:\\x", ResolveRelativePath(L"..\\..\\..\\x", L"C:\\a\\"));
}

TEST(RelativePath, OtherPathsComeBackUnchangedAndEmptyGivesEmpty)
{
    EXPECT_EQ(L"C:\\abs\\f.js", ResolveRelativePath(L"C:\\abs\\f.js", L"C:\\prog\\"));
    EXPECT_EQ(L"sub\\f.js", ResolveRelativePath(L"sub\\f.js", L"C:\\prog\\"));
    EXPECT_EQ(L"\\\\server\\share\\f", ResolveRelativePath(L"\\\\server\\share\\f", L"C:\\prog\\"));
    EXPECT_EQ(L"...\\f", ResolveRelativePath(L"...\\f", L"C:\\prog\\"));
    EXPECT_EQ(L"", ResolveRelativePath(L"C:\\abs\\f.js", L""));
    EXPECT_EQ(L"", ResolveRelativePath(L"", L"C:\\prog\\"));
}

TEST(RelativePath, ShortAndLongTextsStayInsideTheirStrings)
{
    EXPECT_EQ(L"\\", ResolveRelativePath(L"\\", L"C:\\p"));
    EXPECT_EQ(L".", ResolveRelativePath(L".", L"C:\\p"));
    EXPECT_EQ(L"..", ResolveRelativePath(L"..", L"C:\\p"));
    EXPECT_EQ(L"C:\\p\\", ResolveRelativePath(L".\\", L"C:\\p\\"));
    EXPECT_EQ(L"C:\\p\\", ResolveRelativePath(L"..\\", L"C:\\p\\q"));
    EXPECT_EQ(L"\\x", ResolveRelativePath(L".\\x", L"\\"));
    EXPECT_EQ(L"\\x", ResolveRelativePath(L"..\\..\\x", L"\\"));
    EXPECT_EQ(L"p\\x", ResolveRelativePath(L".\\x", L"p"));

    const std::wstring base = L"C:\\" + std::wstring(256, L'd') + L"\\";
    ASSERT_EQ(260u, base.size());
    EXPECT_EQ(base + L"f", ResolveRelativePath(L".\\f", base));
    EXPECT_EQ(L"C:\\f", ResolveRelativePath(L"..\\f", base));
    const std::wstring deep = L"..\\" + std::wstring(257, L'x');
    EXPECT_EQ(L"C:\\" + std::wstring(257, L'x'), ResolveRelativePath(deep, base));
}
