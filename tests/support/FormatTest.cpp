#include "support/Format.h"

#include <gtest/gtest.h>

TEST(Format, WideStringsAndNumbers)
{
    EXPECT_EQ(L"CAutoRender::Init:[15]", FormatWide(L"%s:[%d]", L"CAutoRender::Init", 15));
    EXPECT_EQ(L"Line[100% sure]", FormatWideText(L"Line[%s]", L"100% sure"));
    EXPECT_EQ(L"a=x b=y", FormatWideTexts(L"a=%s b=%s", L"x", L"y"));
    EXPECT_EQ("7-0a", FormatNarrow("%d-%02x", 7, 10));
}

TEST(Format, OutputOfAnyLengthComesBackWhole)
{
    for (size_t length : {254u, 255u, 256u, 509u, 510u, 511u, 5000u}) {
        std::wstring text(length, L'q');
        EXPECT_EQ(text, FormatWide(L"%s", text.c_str())) << length;
        EXPECT_EQ(L"<" + text + L">", FormatWideText(L"<%s>", text)) << length;
        std::string narrow(length, 'n');
        EXPECT_EQ(narrow, FormatNarrow("%s", narrow.c_str())) << length;
    }
}

TEST(Format, LongFormatsStartWithADoubledBuffer)
{
    EXPECT_EQ(255u, InitialFormatBuffer(0));
    EXPECT_EQ(255u, InitialFormatBuffer(255));
    EXPECT_EQ(510u, InitialFormatBuffer(256));
    EXPECT_EQ(1020u, InitialFormatBuffer(600));
    std::wstring format(600, L'f');
    format += L"%s";
    EXPECT_EQ(std::wstring(600, L'f') + L"end", FormatWideText(format, L"end"));
}

TEST(Format, IntegerConversionsFollowTheRuntime)
{
    EXPECT_EQ(42, TextToInt(L"  42abc"));
    EXPECT_EQ(-17, TextToInt(L"-17"));
    EXPECT_EQ(0, TextToInt(L"abc"));
    EXPECT_EQ(0, TextToInt(L""));
    EXPECT_EQ(L"255", IntToText(255, 10));
    EXPECT_EQ(L"-5", IntToText(-5, 10));
    EXPECT_EQ(L"ff", IntToText(255, 16));
    EXPECT_EQ(L"101", IntToText(5, 2));
    EXPECT_EQ(L"ffffffff", IntToText(-1, 16)) << "a minus sign only in radix 10";
}
