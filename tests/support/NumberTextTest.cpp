#include "support/NumberText.h"

#include <gtest/gtest.h>

namespace {

const int32_t kUntouched = 0x5A5A5A5A;

struct Conversion {
    bool ok;
    int32_t value;
    DWORD code;
    std::wstring text;
};

Conversion Convert(const std::wstring& text, int base)
{
    CLastError error;
    int32_t value = kUntouched;
    bool ok = StrToInt(text, value, base, error);
    return {ok, value, error.GetErrorCode(), error.GetErrorText()};
}

void ExpectValue(const std::wstring& text, int base, int32_t expected)
{
    Conversion c = Convert(text, base);
    EXPECT_TRUE(c.ok) << "base " << base;
    EXPECT_EQ(expected, c.value) << "base " << base;
    EXPECT_EQ(0u, c.code) << "success records nothing";
}

void ExpectFailure(const std::wstring& text, int base, const std::wstring& message)
{
    Conversion c = Convert(text, base);
    EXPECT_FALSE(c.ok) << "base " << base;
    EXPECT_EQ(kUntouched, c.value) << "output untouched on failure, base " << base;
    EXPECT_EQ(1u, c.code);
    EXPECT_EQ(message, c.text) << "base " << base;
}

} // namespace

TEST(StrToInt, HexDigitsInEitherCase)
{
    ExpectValue(L"FF", 16, 255);
    ExpectValue(L"ff", 16, 255);
    ExpectValue(L"0", 16, 0);
    ExpectValue(L"aBc", 16, 0xABC);
    ExpectValue(L"7fffffff", 16, 0x7FFFFFFF);
    ExpectValue(L"FFFFFFFF", 16, -1);
    ExpectValue(L"80000000", 16, INT32_MIN);
    ExpectValue(L"00000001", 16, 1);
}

TEST(StrToInt, HexRefusesLongTextsAndOtherCharacters)
{
    ExpectFailure(L"123456789", 16, L"转换字符串过长");
    ExpectFailure(L"GGGGGGGGG", 16, L"转换字符串过长"); // the length is checked first
    ExpectFailure(L"0G", 16, L"非十六进制字符串");
    ExpectFailure(L"-1", 16, L"非十六进制字符串");
    ExpectFailure(L" 1", 16, L"非十六进制字符串");
    ExpectFailure(L"0x1", 16, L"非十六进制字符串");
    ExpectFailure(L"\xFF21", 16, L"非十六进制字符串"); // a full-width A is no digit
}

TEST(StrToInt, BinaryDigits)
{
    ExpectValue(L"101", 2, 5);
    ExpectValue(std::wstring(32, L'1'), 2, -1);
    ExpectValue(L"1" + std::wstring(31, L'0'), 2, INT32_MIN);
    ExpectFailure(std::wstring(33, L'0'), 2, L"转换字符串过长");
    ExpectFailure(L"102", 2, L"非二进制字符串");
}

TEST(StrToInt, OctalDigitsReportedWithTheBinaryText)
{
    ExpectValue(L"17", 8, 15);
    ExpectValue(L"0000000000000017", 8, 15);
    ExpectValue(L"37777777777", 8, -1);
    // Sixteen octal digits are 48 bits: what lies beyond bit 31 is lost.
    ExpectValue(L"1000000000000000", 8, 0);
    ExpectValue(L"7777777777777777", 8, -1);
    ExpectValue(L"0000040000000001", 8, 1); // 2^35 + 1 keeps only the 1
    ExpectFailure(L"9", 8, L"非二进制字符串");
    ExpectFailure(L"18", 8, L"非二进制字符串");
    ExpectFailure(std::wstring(17, L'0'), 8, L"转换字符串过长");
}

TEST(StrToInt, DecimalIsTheRuntimeReadingWithoutChecks)
{
    ExpectValue(L"12ab", 10, 12);
    ExpectValue(L"-17", 10, -17);
    ExpectValue(L"abc", 10, 0);
    ExpectValue(L"  42", 10, 42);
    ExpectValue(std::wstring(40, L'0') + L"42", 10, 42); // no length limit
}

TEST(StrToInt, EmptyTextGivesZeroYetRecordsTheEmptyArgument)
{
    for (int base : {16, 2, 8, 10}) {
        Conversion c = Convert(L"", base);
        EXPECT_TRUE(c.ok) << base;
        EXPECT_EQ(0, c.value) << base;
        EXPECT_EQ(1u, c.code) << base;
        EXPECT_EQ(L"参数为空", c.text) << base;
    }
}

TEST(StrToInt, UnsupportedBase)
{
    for (int base : {3, 0, -16, 36}) {
        ExpectFailure(L"1", base, L"不支持的转换方式");
        ExpectFailure(L"", base, L"不支持的转换方式");
    }
}

TEST(StrToInt, TextEndsAtItsFirstZeroCharacter)
{
    ExpectValue(std::wstring(L"1F\0zz", 5), 16, 31);
    ExpectValue(std::wstring(L"FFFFFFFF\0" L"1", 10), 16, -1); // the rest does not count towards the limit
}

TEST(StrToInt, SuccessLeavesAnEarlierFailureInTheRecord)
{
    CLastError error;
    int32_t value = 0;
    EXPECT_FALSE(StrToInt(L"xyz", value, 16, error));
    EXPECT_TRUE(StrToInt(L"10", value, 16, error));
    EXPECT_EQ(16, value);
    EXPECT_EQ(1u, error.GetErrorCode());
    EXPECT_EQ(L"非十六进制字符串", error.GetErrorText());
}

TEST(IntToStr, DecimalAndTwoDigitLowercaseHex)
{
    EXPECT_EQ(L"05", IntToStr(5, 16));
    EXPECT_EQ(L"00", IntToStr(0, 16));
    EXPECT_EQ(L"ff", IntToStr(255, 16));
    EXPECT_EQ(L"1234", IntToStr(0x1234, 16));
    EXPECT_EQ(L"ffffffff", IntToStr(-1, 16));
    EXPECT_EQ(L"-1", IntToStr(-1, 10));
    EXPECT_EQ(L"0", IntToStr(0, 10));
    EXPECT_EQ(L"-2147483648", IntToStr(INT32_MIN, 10));
    EXPECT_EQ(L"", IntToStr(8, 8));
    EXPECT_EQ(L"", IntToStr(5, 2));
}

TEST(IntToStr, HexAndDecimalTextReadBack)
{
    for (int32_t v : {0, 1, 9, 10, 255, 4096, 0x7FFFFFFF, -1, INT32_MIN, -12345}) {
        CLastError error;
        int32_t back = 0;
        EXPECT_TRUE(StrToInt(IntToStr(v, 16), back, 16, error));
        EXPECT_EQ(v, back);
        EXPECT_TRUE(StrToInt(IntToStr(v, 10), back, 10, error));
        EXPECT_EQ(v, back);
    }
}
