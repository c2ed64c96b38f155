#include "support/LineList.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// Every line, checked against the runs of lines with their ends that writers use.
Lines Copy(const CLineList& list)
{
    Lines lines;
    std::string joined;
    for (size_t i = 0; i < list.Count(); ++i) {
        lines.emplace_back(list.Line(i));
        joined += lines.back();
        joined += list.LineEnd();
        EXPECT_EQ(joined, list.LinesWithEnds(0, i + 1));
    }
    EXPECT_EQ("", list.LinesWithEnds(list.Count(), list.Count()));
    return lines;
}

// Builds a line as a reader does: small pieces, each through its own Space.
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

TEST(LineList, KeepsLinesAsBytesInOrderThroughGrowthAndRemoval)
{
    CLineList list;
    EXPECT_TRUE(list.IsEmpty());
    // Empty lines first, between and last; line-end and zero bytes are ordinary here, and so
    // is every byte beyond ASCII.
    Lines expected = {"", "first", "caf\xC3\xA9", "", "a\r\nb", std::string("nul\0in", 6), "\x7F\x80\xFF", ""};
    for (const auto& line : expected) list.Append(line);
    EXPECT_EQ(expected, Copy(list));
    EXPECT_EQ("first\r\ncaf\xC3\xA9\r\n", list.LinesWithEnds(1, 3));

    // Thousands of lines and a line built in pieces: storage grows many times.
    for (size_t i = 0; i < 5000; ++i) {
        expected.push_back(std::string(i % 97, static_cast<char>(i % 3 == 0 ? 0xE4 : 'a' + i % 26)) + std::to_string(i));
        list.Append(expected.back());
    }
    Build(list, std::string(3000, 'x'));
    expected.push_back(std::string(3000, 'x'));
    EXPECT_TRUE(list.Reserve(1));
    EXPECT_TRUE(list.Reserve(1000000));
    EXPECT_EQ(expected, Copy(list));
    // More than a process can have at once: refused, and the list is as it was.
    EXPECT_FALSE(list.Reserve(static_cast<size_t>(-1) / 4 * 3));
    EXPECT_EQ(expected, Copy(list));

    // Unfinished bytes are no line; dropping them, or an Append or RemoveLast, leaves the lines.
    list.Space(2)[0] = 'a';
    list.Commit(1);
    EXPECT_EQ("a", list.Unfinished());
    EXPECT_EQ(expected.size(), list.Count());
    list.DiscardUnfinished();
    EXPECT_EQ("", list.Unfinished());
    list.Space(1)[0] = '<';
    list.Commit(1);
    list.Append("tail");
    EXPECT_EQ("tail", list.Line(list.Count() - 1));

    // Removing the last lines frees their bytes for the next.
    list.Append("\xC3\xA9t\xC3\xA9");
    for (int i = 0; i < 4; ++i) list.RemoveLast();
    EXPECT_EQ("", list.Unfinished());
    expected.resize(expected.size() - 2);
    list.Append("\xFC");
    Build(list, "built");
    expected.insert(expected.end(), {"\xFC", "built"});
    EXPECT_EQ(expected, Copy(list));

    CLineList other;
    other.RemoveLast();
    other.Append("other");
    list.Swap(other);
    list.Append("more");
    EXPECT_EQ((Lines{"other", "more"}), Copy(list));
    other.Append("last");
    expected.push_back("last");
    EXPECT_EQ(expected, Copy(other));
    other.Clear();
    EXPECT_TRUE(other.IsEmpty());
    other.Append("after clear");
    EXPECT_EQ((Lines{"after clear"}), Copy(other));

    // A UTF-16 file's lines end in CR LF as units; the line end goes along with a swap.
    CLineList wide;
    const std::string wideEnd("\r\0\n\0", 4);
    wide.SetLineEnd(wideEnd);
    wide.Append(std::string("a\0", 2));
    wide.Append("");
    EXPECT_EQ(std::string("a\0", 2), wide.Line(0));
    EXPECT_EQ("", wide.Line(1));
    EXPECT_EQ(std::string("a\0", 2) + wideEnd + wideEnd, wide.LinesWithEnds(0, 2));
    wide.Swap(other);
    EXPECT_EQ(wideEnd, other.LineEnd());
    EXPECT_EQ("\r\n", wide.LineEnd());
}
