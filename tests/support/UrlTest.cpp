#include "support/Url.h"

#include <gtest/gtest.h>

TEST(Url, EscapeKeepsUnreservedAndEncodesTheRest)
{
    EXPECT_EQ("Az09!'()*-._~", UrlEscape(L"Az09!'()*-._~"));
    EXPECT_EQ("a%20b%2f%3f", UrlEscape(L"a b/?"));
    EXPECT_EQ("%u4e2d%u00e9", UrlEscape(L"中é"));
    EXPECT_EQ("%00", UrlEscape(std::wstring(1, L'\0')));
}

TEST(Url, UnescapeInvertsEscape)
{
    std::wstring text = L"http://例え.jp/a b?c=1&d=é~";
    EXPECT_EQ(text, UrlUnescape(UrlEscape(text)));
    EXPECT_EQ(L"", UrlUnescape("a b")) << "a character escape would not copy";
    EXPECT_EQ(L"", UrlUnescape("%4")) << "cut short";
    EXPECT_EQ(L"", UrlUnescape("%u12"));
    EXPECT_EQ(L"", UrlUnescape("%zz"));
}

TEST(Url, DecodeHandlesPlusPercentAndBadSequences)
{
    CLastError e;
    EXPECT_EQ("a b%c/", UrlDecode("a+b%%c%2F", e));
    EXPECT_EQ(0u, e.GetErrorCode());
    EXPECT_EQ("+", UrlDecode("%2B", e)) << "plus signs are turned into spaces before decoding";
    EXPECT_EQ("", UrlDecode("50%off", e));
    EXPECT_EQ(1u, e.GetErrorCode());
    EXPECT_EQ(L"error", e.GetErrorText());
    e.ClearError();
    EXPECT_EQ("", UrlDecode("end%", e));
    EXPECT_EQ(1u, e.GetErrorCode());
}
