#include "support/Charset.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/common/ConversionRules.h"
#include "tests/common/TestFiles.h"

// The Linux locale decides Wine's ANSI code page; the suite runs under 1252, 936 and 65001.
TEST(Charset, RunsUnderTheExpectedCodePage)
{
    unsigned expected = ExpectedCodePage();
    if (expected != 0) {
        EXPECT_EQ(expected, GetACP());
    }
}

TEST(Charset, AnsiRoundTripsInTheSystemCodePage)
{
    EXPECT_EQ("plain ascii 123", WideToAnsi(L"plain ascii 123"));
    EXPECT_EQ(L"plain ascii 123", AnsiToWide("plain ascii 123"));
    EXPECT_EQ("", WideToAnsi(L""));
    EXPECT_EQ(L"", AnsiToWide(""));

    if (GetACP() == 936) {
        EXPECT_EQ("\xD6\xD0\xCE\xC4", WideToAnsi(L"中文"));
        EXPECT_EQ(L"中文", AnsiToWide("\xD6\xD0\xCE\xC4"));
        EXPECT_EQ("?", WideToAnsi(L"\u00FF\u00FF").substr(0, 1)) << "936 has no y-diaeresis";
    } else if (GetACP() == 1252) {
        EXPECT_EQ("caf\xE9", WideToAnsi(L"café"));
        EXPECT_EQ(L"café", AnsiToWide("caf\xE9"));
        EXPECT_EQ(L"\u20AC", AnsiToWide("\x80"));
        EXPECT_EQ("a?b", WideToAnsi(L"a中b")) << "characters the code page lacks become its default character";
    } else if (GetACP() == CP_UTF8) {
        EXPECT_EQ("caf\xC3\xA9 \xE4\xB8\xAD", WideToAnsi(L"café 中"));
        EXPECT_EQ(L"café 中", AnsiToWide("caf\xC3\xA9 \xE4\xB8\xAD"));
    }
}

TEST(Charset, ConversionStopsAtTheFirstZero)
{
    std::wstring wide(L"ab\0cd", 5);
    EXPECT_EQ("ab", WideToAnsi(wide));
    EXPECT_EQ("ab", WideToUtf8(wide));
    std::string narrow("x\0y", 3);
    EXPECT_EQ(L"x", AnsiToWide(narrow));
    EXPECT_EQ(L"x", Utf8ToWide(narrow));
    std::wstring nonAscii(L"\u00E9\0z", 3);
    EXPECT_EQ("\xC3\xA9", WideToUtf8(nonAscii));
}

TEST(Charset, Utf8KeepsTheByteOrderMarkAndHandlesSurrogates)
{
    EXPECT_EQ(L"\uFEFFUser Prefs", Utf8ToWide("\xEF\xBB\xBFUser Prefs"));
    EXPECT_EQ("\xE4\xB8\xAD", WideToUtf8(L"中"));
    EXPECT_EQ(L"中", Utf8ToWide("\xE4\xB8\xAD"));
    std::wstring emoji = {0xD83D, 0xDE00};
    EXPECT_EQ("\xF0\x9F\x98\x80", WideToUtf8(emoji));
    EXPECT_EQ(emoji, Utf8ToWide("\xF0\x9F\x98\x80"));
}

TEST(Charset, AnsiAndUtf8ConvertThroughWide)
{
    if (GetACP() == 936) {
        EXPECT_EQ("\xE4\xB8\xAD", AnsiToUtf8("\xD6\xD0"));
        EXPECT_EQ("\xD6\xD0", Utf8ToAnsi("\xE4\xB8\xAD"));
    } else if (GetACP() == CP_UTF8) {
        EXPECT_EQ("\xE4\xB8\xAD", AnsiToUtf8("\xE4\xB8\xAD"));
        EXPECT_EQ("\xE4\xB8\xAD", Utf8ToAnsi("\xE4\xB8\xAD"));
    } else {
        EXPECT_EQ("\xC3\xA9", AnsiToUtf8("\xE9"));
        EXPECT_EQ("\xE9", Utf8ToAnsi("\xC3\xA9"));
    }
    EXPECT_EQ("", AnsiToUtf8(""));
    EXPECT_EQ("", Utf8ToAnsi(""));
}

// Whether a text has bytes in the encoding that give it back exactly (as a save asks of a new
// pattern), and whether bytes are such text, under each code page, held to Windows' rules.
TEST(Charset, ExactConversionsKeepEveryCharacterOrSayNo)
{
    ASSERT_TRUE(EnforceWindowsConversionRules());
    const struct {
        unsigned codePage;  // 0: any
        TextEncoding encoding;
        std::wstring text;
        std::string bytes;  // empty: the text has none
    } rows[] = {
        {0, TextEncoding::Utf8, L"caf\u00E9 \U0001F600", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {0, TextEncoding::Utf8, L"x\xD800y", ""},
        {1252, TextEncoding::Ansi, L"\u0100", ""},  // no best fit: not "A"
        {65001, TextEncoding::Ansi, L"caf\u00E9 \u4E2D", "caf\xC3\xA9 \xE4\xB8\xAD"},
        {65001, TextEncoding::Ansi, L"x\xD800y", ""},
    };
    for (const auto& row : rows) {
        if (row.codePage != 0 && row.codePage != GetACP()) continue;
        std::string bytes;
        std::wstring text;
        EXPECT_EQ(!row.bytes.empty(), EncodeTextExactly(row.text, row.encoding, bytes)) << row.bytes;
        if (row.bytes.empty()) continue;
        EXPECT_EQ(row.bytes, bytes);
        EXPECT_TRUE(DecodeTextExactly(row.bytes, row.encoding, text) && text == row.text) << row.bytes;
    }
    std::wstring text;
    EXPECT_FALSE(DecodeTextExactly("caf\xE9", GetACP() == CP_UTF8 ? TextEncoding::Ansi : TextEncoding::Utf8, text));
}
