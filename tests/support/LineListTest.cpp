#include "support/LineList.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::wstring>;

// Every line as text, checked against the view without a copy that writers use.
Lines Copy(const CLineList& list)
{
    Lines lines;
    for (size_t i = 0; i < list.Count(); ++i) {
        lines.push_back(list.Line(i));
        const std::string_view bytes = list.IsAscii(i) ? list.AsciiLine(i) : std::string_view();
        EXPECT_EQ(lines.back(), list.IsAscii(i) ? std::wstring(bytes.begin(), bytes.end()) : std::wstring(list.WideLine(i)));
    }
    return lines;
}

// Builds an ASCII line as a reader does: small pieces, each through its own Space.
void Build(CLineList& list, const std::string& line)
{
    for (size_t at = 0; at < line.size(); at += 5) {
        const std::string part = line.substr(at, 5);
        part.copy(list.Space(part.size() + 7), part.size());
        list.Commit(part.size());
    }
    list.EndLine();
}

} // namespace

TEST(LineList, KeepsLinesOfBothKindsInOrderThroughGrowthAndRemoval)
{
    CLineList list;
    EXPECT_TRUE(list.IsEmpty());
    // Empty lines first, between and last; line-end units are ordinary here; lines beyond
    // ASCII between ASCII ones.
    Lines expected = {L"", L"first", L"caf\u00E9", L"", L"a\r\nb", std::wstring(L"nul\0in", 6), L"\x7F", L"中文", L""};
    for (const auto& line : expected) list.Append(line);
    EXPECT_EQ(expected, Copy(list));
    EXPECT_TRUE(list.IsAscii(1) && list.IsAscii(6)) << "7F is still ASCII";
    EXPECT_FALSE(list.IsAscii(2) || list.IsAscii(5)) << "a zero unit stays text: an ANSI line would end there";

    // Thousands of lines of both kinds and a line built in pieces: storage grows many times.
    for (size_t i = 0; i < 5000; ++i) {
        const wchar_t unit = i % 3 == 0 ? static_cast<wchar_t>(0x4E00 + i) : static_cast<wchar_t>(L'a' + i % 26);
        expected.push_back(std::wstring(i % 97, unit) + std::to_wstring(i));
        list.Append(expected.back());
    }
    Build(list, std::string(3000, 'x'));
    expected.push_back(std::wstring(3000, L'x'));
    EXPECT_TRUE(list.Reserve(1));
    EXPECT_TRUE(list.Reserve(1000000));
    EXPECT_EQ(expected, Copy(list));
    // More than a 32-bit process can have at once: refused, and the list is as it was.
    EXPECT_FALSE(list.Reserve(static_cast<size_t>(-1) / 4 * 3));
    EXPECT_EQ(expected, Copy(list));

    // Unfinished units are no line; dropping them, or an Append or RemoveLast, leaves the lines.
    list.Space(2)[0] = 'a';
    list.Commit(1);
    EXPECT_EQ("a", list.Unfinished());
    EXPECT_EQ(expected.size(), list.Count());
    list.DiscardUnfinished();
    EXPECT_EQ("", list.Unfinished());
    list.Space(1)[0] = '<';
    list.Commit(1);
    list.Append(L"tail");
    EXPECT_EQ(L"tail", list.Line(list.Count() - 1));

    // Removing the last lines, of either kind, frees their units for the next.
    list.Append(L"\u00E9t\u00E9");
    for (int i = 0; i < 4; ++i) list.RemoveLast();
    EXPECT_EQ("", list.Unfinished());
    expected.resize(expected.size() - 2);
    list.Append(L"\u00FC");
    Build(list, "built");
    expected.insert(expected.end(), {L"\u00FC", L"built"});
    EXPECT_EQ(expected, Copy(list));

    CLineList other;
    other.RemoveLast();
    other.Append(L"other");
    list.Swap(other);
    list.Append(L"more");
    EXPECT_EQ((Lines{L"other", L"more"}), Copy(list));
    other.Append(L"last");
    expected.push_back(L"last");
    EXPECT_EQ(expected, Copy(other));
    other.Clear();
    EXPECT_TRUE(other.IsEmpty());
    other.Append(L"after clear");
    EXPECT_EQ((Lines{L"after clear"}), Copy(other));
}
