#include "script/PatternMerge.h"

#include <gtest/gtest.h>

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
    // Nothing changed on disk: the box's text exactly, blank lines and a missing last line end too.
    {"no change on disk", L"a\r\nb\r\n", L"a\r\n\r\nc", L"a\r\nb\r\n", false, L"a\r\n\r\nc"},
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
