// The shell's own texts, which the driven executable cannot reach on demand: the apology box
// only appears after an unexpected exception.
#include "app/AppText.h"

#include <gtest/gtest.h>

#include "app/AppInfo.h"

TEST(AppText, ApologyNamesTheMakersWebSiteAndMailInThreeLines)
{
    const std::wstring expected = std::wstring(L"非常抱歉，程序遇到问题需要关闭，请联系作者获取帮助！\r\n")
        + L"网站: " + MORVANTI_WEB_SITE + L"\r\n" + L"邮箱: " + MORVANTI_EMAIL + L"\r\n";
    EXPECT_EQ(expected, ApologyText());
    EXPECT_NE(std::wstring(MORVANTI_WEB_SITE).find(L"example.com"), std::wstring::npos);
    EXPECT_NE(std::wstring(MORVANTI_EMAIL).find(L'@'), std::wstring::npos);
}

TEST(AppText, QuickAddAddressLosesOnlyOuterQuotes)
{
    EXPECT_EQ(L"http://a.example.org/", StripOuterQuotes(L"\"http://a.example.org/\""));
    EXPECT_EQ(L"", StripOuterQuotes(L"\"\"\""));
    EXPECT_EQ(L"", StripOuterQuotes(L""));
    EXPECT_EQ(L"two words", StripOuterQuotes(L"two words"));
    // A quote inside, even one followed by a space, stays.
    EXPECT_EQ(L"a\" b", StripOuterQuotes(L"\"\"a\" b\""));
    EXPECT_EQ(L" x ", StripOuterQuotes(L"\" x \""));
    EXPECT_EQ(L"添加成功。", QuickAddMessage(L"", true));
    EXPECT_EQ(L"添加a b失败。", QuickAddMessage(L"a b", false));
}

TEST(AppText, CentringHalvesEachSizeTowardZero)
{
    EXPECT_EQ(1024 / 2 - 641 / 2, CenteredOffset(1024, 641));
    EXPECT_EQ(192, CenteredOffset(1024, 641));
    EXPECT_EQ(-50, CenteredOffset(100, 201));  // larger than the desktop: off its top-left edge
}
