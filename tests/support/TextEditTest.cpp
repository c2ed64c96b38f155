#include "support/TextEdit.h"

#include <random>

#include <gtest/gtest.h>

namespace {

// The written rule, done literally (quadratic): the reference for the linear version.
std::wstring RemoveAllLiterally(std::wstring text, const std::wstring& pattern)
{
    if (pattern.empty()) return text;
    for (size_t at = text.find(pattern); at != std::wstring::npos; at = text.find(pattern)) text.erase(at, pattern.size());
    return text;
}

std::wstring ReplaceAllLiterally(std::wstring text, const std::wstring& search, const std::wstring& replacement)
{
    size_t at = text.find(search, 0);
    while (at != std::wstring::npos) {
        text.replace(at, search.size(), replacement);
        at = text.find(search, at + replacement.size() + 1);
    }
    return text;
}

std::wstring RandomText(std::mt19937& rng, size_t maxLength, const wchar_t* alphabet)
{
    std::wstring a(alphabet);
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<size_t> pick(0, a.size() - 1);
    std::wstring text(length(rng), L' ');
    for (auto& c : text) c = a[pick(rng)];
    return text;
}

StringList Split(const std::wstring& text, const std::wstring& separator)
{
    StringList out{L"stale"};
    SplitString(text, separator, out);
    return out;
}

} // namespace

TEST(TextEdit, TrimChar)
{
    std::wstring t = L"  a b  ";
    TrimChar(t, L' ');
    EXPECT_EQ(L"a b", t);
    t = L"    ";
    TrimChar(t, L' ');
    EXPECT_EQ(L"", t);
    t = L"\t x \t";
    TrimChar(t, L' ');
    EXPECT_EQ(L"\t x \t", t) << "only the given character";
    t = L"";
    TrimChar(t, L' ');
    EXPECT_EQ(L"", t);
}

TEST(TextEdit, CutAtChar)
{
    std::wstring t = L"C:\\a\\b.exe";
    CutAtChar(t, L'\\', false, false);
    EXPECT_EQ(L"C:\\a\\", t);
    t = L"C:\\a\\b.exe";
    CutAtChar(t, L'\\', false, true);
    EXPECT_EQ(L"C:\\a", t);
    t = L"C:\\a\\b.exe";
    CutAtChar(t, L'\\', true, false);
    EXPECT_EQ(L"\\a\\b.exe", t);
    t = L"C:\\a\\b.exe";
    CutAtChar(t, L'\\', true, true);
    EXPECT_EQ(L"a\\b.exe", t);
    t = L"noslash";
    CutAtChar(t, L'\\', false, true);
    EXPECT_EQ(L"noslash", t);
    t = L"\\";
    CutAtChar(t, L'\\', false, true);
    EXPECT_EQ(L"", t);
}

TEST(TextEdit, SplitString)
{
    EXPECT_EQ((StringList{L"a", L"b"}), Split(L"a\r\nb\r\n", L"\r\n"));
    EXPECT_EQ((StringList{L"a", L"", L"b"}), Split(L"a\r\n\r\nb", L"\r\n"));
    EXPECT_EQ((StringList{L"", L"a"}), Split(L"\r\na", L"\r\n"));
    EXPECT_EQ((StringList{L""}), Split(L"\r\n", L"\r\n"));
    EXPECT_EQ(StringList{}, Split(L"", L"\r\n"));
    EXPECT_EQ((StringList{L"a\r\nb"}), Split(L"a\r\nb", L""));
    EXPECT_EQ((StringList{L"a\rb\nc"}), Split(L"a\rb\nc", L"\r\n")) << "a lone CR or LF is no separator";
}

TEST(TextEdit, SplitStringOfAMillionLinesIsLinear)
{
    std::wstring text;
    for (int i = 0; i < 1000000; ++i) text += L"x\r\n";
    StringList out;
    SplitString(text, L"\r\n", out);
    EXPECT_EQ(1000000u, out.size());
}

TEST(TextEdit, CompareNoCase)
{
    EXPECT_EQ(0, CompareNoCase(L"User Prefs", L"USER prefs"));
    EXPECT_LT(CompareNoCase(L"abc", L"ABD"), 0);
    EXPECT_GT(CompareNoCase(L"b", L"A"), 0);
    EXPECT_LT(CompareNoCase(L"ab", L"abc"), 0) << "a proper prefix sorts first";
    EXPECT_NE(0, CompareNoCase(L"\u00E9", L"\u00C9")) << "only a-z change in the C locale";
}

TEST(TextEdit, RemoveAllMatchesTheRepeatedRule)
{
    std::wstring t = L"1, 0, 4, 0";
    RemoveAll(t, L" ");
    EXPECT_EQ(L"1,0,4,0", t);
    t = L"aabb";
    RemoveAll(t, L"ab");
    EXPECT_EQ(L"", t) << "a removal that brings a new occurrence together removes that too";
    t = L"xyz";
    RemoveAll(t, L"");
    EXPECT_EQ(L"xyz", t);

    std::mt19937 rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        std::wstring pattern = RandomText(rng, 4, L"ab");
        if (pattern.empty()) pattern = L"a";
        std::wstring text = RandomText(rng, 40, L"abc");
        std::wstring fast = text;
        RemoveAll(fast, pattern);
        ASSERT_EQ(RemoveAllLiterally(text, pattern), fast) << "text " << text.size() << " pattern " << pattern.size();
    }
}

TEST(TextEdit, ReplaceAllMatchesTheWrittenRule)
{
    std::wstring t = L"1,0,0,1";
    ReplaceAll(t, L",", L".");
    EXPECT_EQ(L"1.0.0.1", t);
    t = L",,";
    ReplaceAll(t, L",", L".");
    EXPECT_EQ(L".,", t) << "of two adjacent occurrences only the first is replaced";
    t = L"aXa";
    ReplaceAll(t, L"a", L"aa");
    EXPECT_EQ(L"aaXaa", t);

    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::wstring search = RandomText(rng, 3, L"ab");
        if (search.empty()) search = L"b";
        std::wstring replacement = RandomText(rng, 3, L"abx");
        std::wstring text = RandomText(rng, 30, L"abc");
        std::wstring fast = text;
        ReplaceAll(fast, search, replacement);
        ASSERT_EQ(ReplaceAllLiterally(text, search, replacement), fast);
    }
}

TEST(TextEdit, RemoveAllAndReplaceAllAreLinear)
{
    std::wstring big(2000000, L' ');
    for (size_t i = 0; i < big.size(); i += 2) big[i] = L',';
    std::wstring removed = big;
    RemoveAll(removed, L" ");
    EXPECT_EQ(1000000u, removed.size());
    ReplaceAll(big, L",", L".");
    EXPECT_EQ(std::wstring::npos, big.find(L','));
}

TEST(TextEdit, RemoveCharsAndCase)
{
    std::wstring t = L"abcdef";
    RemoveChars(t, 2, true);
    EXPECT_EQ(L"cdef", t);
    RemoveChars(t, 1, false);
    EXPECT_EQ(L"cde", t);
    RemoveChars(t, 10, false);
    EXPECT_EQ(L"", t);
    t = L"Mixed 1 \u4E2D";
    ToUpperCase(t);
    EXPECT_EQ(L"MIXED 1 \u4E2D", t);
    ToLowerCase(t);
    EXPECT_EQ(L"mixed 1 \u4E2D", t);
}

TEST(TextEdit, Wildcards)
{
    EXPECT_EQ(2, FindWithWildcard(L"abcabc", L"c?b", 0));
    EXPECT_EQ(3, FindWithWildcard(L"abcabc", L"a", 1));
    EXPECT_EQ(-1, FindWithWildcard(L"abc", L"x", 0));
    EXPECT_EQ(-1, FindWithWildcard(L"abc", L"a", 4));
    EXPECT_EQ(-1, FindWithWildcard(L"abc", L"", 0));
    EXPECT_EQ(-1, FindWithWildcard(L"abc", L"a", -1));

    EXPECT_TRUE(MatchWildcard(L"http://www.example.com/x", L"http://*.example.com/*", true));
    EXPECT_TRUE(MatchWildcard(L"abc", L"a**c", true));
    EXPECT_TRUE(MatchWildcard(L"abc", L"a?c", true));
    EXPECT_FALSE(MatchWildcard(L"abc", L"a?", true));
    EXPECT_TRUE(MatchWildcard(L"ABC", L"a*", false));
    EXPECT_FALSE(MatchWildcard(L"ABC", L"a*", true));
    EXPECT_TRUE(MatchWildcard(L"", L"", true));
    EXPECT_FALSE(MatchWildcard(L"a", L"", true));
    EXPECT_TRUE(MatchWildcard(L"", L"*", true));
    EXPECT_TRUE(MatchWildcard(L"aaaaab", L"*a*ab", true));

    EXPECT_TRUE(MatchPatternList(L"x.txt", L"*.doc;*.txt", false, true));
    EXPECT_FALSE(MatchPatternList(L"x.txt", L"*.doc;*.txt", true, true));
    EXPECT_TRUE(MatchPatternList(L"x.txt", L"x*;*.txt", true, true));
    EXPECT_FALSE(MatchPatternList(L"", L";", false, true)) << "an empty entry never matches in any-mode";
    EXPECT_FALSE(MatchPatternList(L"a", L"a;;", true, true)) << "an empty entry matches only the empty text";
}
