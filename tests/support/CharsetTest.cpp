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

// Whether a text has bytes in an encoding that give it back exactly, as a save asks before it
// writes a pattern, and whether bytes are text that gives them back: in the system code page
// under each code page the suite runs under, with Windows' rules for the conversion calls
// (which refuse flags and a default character for UTF-8, 65001 as the ANSI code page too).
TEST(Charset, ExactConversionsKeepEveryCharacterOrSayNo)
{
    ASSERT_TRUE(EnforceWindowsConversionRules());
    struct Row {
        unsigned codePage;  // 0: whatever the system's is
        TextEncoding encoding;
        std::wstring text;
        std::string bytes;
        bool exact;  // false: the text has no such bytes (encoding), the bytes are no such text (decoding)
    };
    const std::string none;
    const Row rows[] = {
        {0, TextEncoding::Ansi, L"plain ascii", "plain ascii", true},
        {0, TextEncoding::Utf8, L"caf\u00E9 \u4E2D \U0001F600", "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80", true},
        {0, TextEncoding::Utf8, L"x\xD800y", none, false},
        {1252, TextEncoding::Ansi, L"caf\u00E9 \u20AC", "caf\xE9 \x80", true},
        {1252, TextEncoding::Ansi, L"\u0100", none, false},  // no best fit: not "A"
        {1252, TextEncoding::Ansi, L"a\u4E2D", none, false},
        {936, TextEncoding::Ansi, L"\u4E2D\u6587", "\xD6\xD0\xCE\xC4", true},
        {936, TextEncoding::Ansi, L"\u00FF", none, false},
        {65001, TextEncoding::Ansi, L"caf\u00E9 \u4E2D", "caf\xC3\xA9 \xE4\xB8\xAD", true},
        {65001, TextEncoding::Ansi, L"\U0001F600", "\xF0\x9F\x98\x80", true},
        {65001, TextEncoding::Ansi, L"x\xD800y", none, false},  // a lone surrogate
    };
    for (const Row& row : rows) {
        if (row.codePage != 0 && row.codePage != GetACP()) continue;
        SCOPED_TRACE(::testing::PrintToString(row.text));
        std::string bytes;
        EXPECT_EQ(row.exact, EncodeTextExactly(row.text, row.encoding, bytes));
        if (!row.exact) continue;
        EXPECT_EQ(row.bytes, bytes);
        std::wstring text;
        EXPECT_TRUE(DecodeTextExactly(row.bytes, row.encoding, text));
        EXPECT_EQ(row.text, text);
    }
    // Bytes that are no text of the encoding, or not in the form it writes.
    const std::pair<unsigned, std::string> notText[] = {
        {65001, "caf\xE9"}, {65001, "\xC0\xAF"}, {936, "\xD6\x22"}, {0, "\xED\xA0\x80"}};
    for (const auto& [codePage, bytes] : notText) {
        if (codePage != 0 && codePage != GetACP()) continue;
        SCOPED_TRACE(::testing::PrintToString(bytes));
        std::wstring text;
        EXPECT_FALSE(DecodeTextExactly(bytes, codePage == 0 ? TextEncoding::Utf8 : TextEncoding::Ansi, text));
    }
}
