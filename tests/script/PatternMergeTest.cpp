#include "script/PatternMerge.h"

#include <random>

#include <gtest/gtest.h>

#include "script/PatternText.h"

namespace {

struct MergeCase {
    const char* what;
    const wchar_t* loaded;   // the list when the box was filled
    const wchar_t* box;      // the box at Save
    const wchar_t* file;     // the list in the file at Save
    bool changed;
    const wchar_t* saved;
};

const MergeCase kMergeCases[] = {
    // Nothing changed on disk: the box's lines, as Save would write them.
    {"no change on disk", L"a\r\nb\r\n", L"a\r\n\r\nc", L"a\r\nb\r\n", false, L"a\r\nc\r\n"},
    {"the file's text in another form, same lines", L"a\r\n\r\nb", L"c\r\n", L"a\r\nb\r\n", false, L"c\r\n"},
    {"the same lines in another order", L"a\r\nb\r\n", L"a\r\nb\r\nc\r\n", L"b\r\na\r\n", false,
     L"a\r\nb\r\nc\r\n"},
    {"an empty box, an unchanged file", L"a\r\n", L"", L"a\r\n", false, L""},

    {"added on disk, after the box's lines", L"a\r\n", L"a\r\nc\r\n", L"a\r\nx\r\n", true,
     L"a\r\nc\r\nx\r\n"},
    {"added on disk, in the file's order", L"a\r\n", L"c\r\n\r\n", L"y\r\na\r\nx\r\n", true,
     L"c\r\ny\r\nx\r\n"},
    {"added into an empty list and box", L"", L"", L"x\r\n", true, L"x\r\n"},
    {"added on disk and typed in the box: once", L"a\r\n", L"a\r\nx\r\n", L"a\r\nx\r\n", false,
     L"a\r\nx\r\n"},

    {"removed on disk", L"a\r\nb\r\n", L"a\r\nb\r\nc\r\n", L"a\r\n", true, L"a\r\nc\r\n"},
    {"removed on disk and in the box", L"a\r\nb\r\n", L"a\r\n", L"a\r\n", false, L"a\r\n"},
    {"removed on disk, typed anew in the box", L"a\r\n", L"c\r\n", L"", false, L"c\r\n"},
    {"each side removed another line", L"a\r\nb\r\n", L"a\r\n", L"b\r\n", true, L""},
    {"removed and added on disk", L"a\r\nb\r\n", L"a\r\nb\r\nc\r\n", L"b\r\nx\r\n", true,
     L"b\r\nc\r\nx\r\n"},

    // Copies of one line are counted.
    {"a second copy added on disk", L"a\r\n", L"a\r\nc\r\n", L"a\r\na\r\n", true, L"a\r\nc\r\na\r\n"},
    {"a second copy added on both sides: not doubled", L"a\r\n", L"a\r\na\r\n", L"a\r\na\r\n", false,
     L"a\r\na\r\n"},
    {"one copy added in the box, two on disk", L"a\r\n", L"a\r\na\r\n", L"a\r\na\r\na\r\n", true,
     L"a\r\na\r\na\r\n"},
    {"one copy removed on disk: the box's last copy goes", L"a\r\nb\r\na\r\n", L"a\r\nb\r\na\r\n",
     L"a\r\nb\r\n", true, L"a\r\nb\r\n"},
    {"one copy removed on both sides: the other stays", L"a\r\na\r\n", L"a\r\n", L"a\r\n", false,
     L"a\r\n"},
    {"a copy removed on disk, one added in the box", L"a\r\n", L"a\r\na\r\n", L"", true, L"a\r\n"},
    {"the only copy removed in the box, one added on disk", L"a\r\n", L"c\r\n", L"a\r\na\r\n", true,
     L"c\r\na\r\n"},
    {"the file's last copy is the added one", L"a\r\nb\r\n", L"", L"a\r\nx\r\nb\r\na\r\n", true,
     L"x\r\na\r\n"},

    // Lines split at CR LF, lone CR and lone LF; empty pieces are no lines.
    {"lone CR and LF in the box", L"a\r\n", L"a\rc\nd", L"a\r\nx\r\n", true, L"a\r\nc\r\nd\r\nx\r\n"},
    {"lone CR and LF in the file's list", L"a\r\n", L"a\r\n", L"a\rx\n\ny\r\r\n", true,
     L"a\r\nx\r\ny\r\n"},
    {"blank lines of the box go when it changes", L"a\r\nb\r\n", L"\r\n\r\na\r\n\r\nb\r\n\r\n", L"a\r\n",
     true, L"a\r\n"},
    {"spaces belong to the line", L"a\r\n", L" a\r\n", L"a\r\n a\r\n", false, L" a\r\n"},
    // Trailing spaces are not read back: the line is still the loaded pattern, which the file lost.
    {"trailing spaces typed, removed on disk", L"x\r\nb\r\n", L"x  \r\nb\r\n", L"b\r\n", true, L"b\r\n"},
    {"trailing spaces typed, kept as typed", L"x\r\n", L"x  \r\n", L"x\r\ny\r\n", true, L"x  \r\ny\r\n"},
    {"a line of spaces is no pattern", L"a\r\n", L"a\r\n  \t\r\n", L"a\r\nx\r\n", true, L"a\r\nx\r\n"},
    // U+2028 and U+2029 end a JavaScript comment: they part lines as CR and LF do.
    {"line and paragraph separators", L"a\r\n", L"a\u2028c\u2029d", L"a\r\nx\r\n", true,
     L"a\r\nc\r\nd\r\nx\r\n"},
    {"case belongs to the line", L"a\r\n", L"a\r\n", L"a\r\nA\r\n", true, L"a\r\nA\r\n"},
};

}  // namespace

TEST(PatternMerge, MergesWhatTheFileChangedIntoTheBox)
{
    for (const MergeCase& c : kMergeCases) {
        std::wstring saved = L"stale";
        EXPECT_EQ(c.changed, MergePatternText(c.loaded, c.box, c.file, saved)) << c.what;
        EXPECT_EQ(std::wstring(c.saved), saved) << c.what;
    }
}

// A box's text and its pattern lines written plainly, one CR LF after each, merge alike: blank
// lines, spaces around the patterns and every kind of line break are the box's form, not its
// patterns.
TEST(PatternMerge, ABoxTextMergesAsItsPatternLinesDo)
{
    std::mt19937 rng(2028);
    auto pick = [&](int high) { return std::uniform_int_distribution<int>(0, high)(rng); };
    // Longer pieces put the line breaks at every position of the words a line is scanned in.
    static const wchar_t* const pieces[] = {L"a",  L"b", L" a", L"a  ", L"http://c.example/*", L"",
                                            L" ", L"\t", L"  \t ", L"http://\u4E2D.example/xy"};
    static const wchar_t* const breaks[] = {L"\r\n", L"\r", L"\n", L"\u2028", L"\u2029", L"\r\n\r\n"};
    auto text = [&] {
        std::wstring made;
        for (int n = pick(6); n > 0; --n) {
            made += pieces[pick(9)];
            if (n > 1 || pick(1) == 0) made += breaks[pick(5)];
        }
        return made;
    };
    // The pattern lines, unit by unit: CR LF, CR, LF, U+2028 and U+2029 part them, blank ones go.
    auto plainLines = [](const std::wstring& from) {
        std::wstring lines;
        std::wstring line;
        auto flush = [&] {
            if (line.find_first_not_of(L" \t") != std::wstring::npos) lines += line + L"\r\n";
            line.clear();
        };
        for (size_t i = 0; i < from.size(); ++i) {
            const wchar_t unit = from[i];
            if (unit == L'\r' || unit == L'\n' || unit == L'\u2028' || unit == L'\u2029') {
                flush();
                if (unit == L'\r' && i + 1 < from.size() && from[i + 1] == L'\n') ++i;
            } else {
                line += unit;
            }
        }
        flush();
        return lines;
    };
    for (int trial = 0; trial < 3000; ++trial) {
        const std::wstring loaded = text();
        const std::wstring box = text();
        ASSERT_EQ(plainLines(box), PatternLinesText(box)) << ::testing::PrintToString(box);
        // Now and then the file is unchanged since it was read.
        const std::wstring file = pick(3) == 0 ? loaded : text();
        std::wstring saved;
        std::wstring savedFromLines;
        const bool changed = MergePatternText(loaded, box, file, saved);
        EXPECT_EQ(changed, MergePatternText(loaded, PatternLinesText(box), file, savedFromLines));
        ASSERT_EQ(savedFromLines, saved) << ::testing::PrintToString(loaded) << ::testing::PrintToString(box)
                                         << ::testing::PrintToString(file);
    }
}
