// Randomized round trips of the script model over generated scripts.

#include "script/AutoRender.h"

#include <algorithm>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "tests/script/ScriptFixture.h"
#include "support/TextEdit.h"
#include "textio/TextFile.h"

namespace {

Lines ReadLines(const std::wstring& path)
{
    CTextFile file(path, kOpenRead, false);
    Lines lines;
    std::wstring line;
    while (file.ReadLine(line)) lines.push_back(line);
    return lines;
}

Lines SplitPatterns(const std::wstring& text)
{
    StringList pieces;
    SplitString(text, L"\r\n", pieces);
    return pieces;
}

class ScriptGenerator {
public:
    explicit ScriptGenerator(unsigned seed) : rng_(seed) {}

    std::vector<std::string> Script()
    {
        std::vector<std::string> lines;
        int header = Pick(0, 14);
        for (int i = 0; i < header; ++i) lines.push_back(HeaderLine());
        int body = Pick(0, 8);
        for (int i = 0; i < body; ++i) lines.push_back(BodyLine(i == 0));
        return lines;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

    std::string Spaces(int most) { return std::string(static_cast<size_t>(Pick(0, most)), ' '); }

    std::string Pattern()
    {
        static const char* const hosts[] = {"http://a.example/*", "*.b.example", "https://c.example/path?q=1",
                                            "file://*", "x", "http://a.example/*"};
        return Spaces(2) + hosts[Pick(0, 5)];
    }

    std::string HeaderLine()
    {
        switch (Pick(0, 9)) {
        case 0: case 1: case 2:
            return Spaces(2) + "//" + Spaces(1) + "@include " + Pattern() + Spaces(2);
        case 3: case 4:
            return Spaces(2) + "//" + Spaces(1) + "@exclude " + Pattern() + Spaces(2);
        case 5:
            return "// ==UserScript==";
        case 6:
            return "//@include" + Spaces(3);
        case 7:
            return "//\t@exclude tabbed";
        case 8:
            return "  // @name  Autorender";
        default:
            return "//@Include other case";
        }
    }

    std::string BodyLine(bool first)
    {
        switch (Pick(first ? 0 : 0, 5)) {
        case 0: return "";
        case 1: return Spaces(3);
        case 2: return "window.opera.addEventListener('BeforeScript', f, false);";
        case 3: return "//@include " + Pattern();
        case 4: return "\tvar x = 1; // @exclude y";
        default: return "  code();  ";
        }
    }

    std::mt19937 rng_;
};

} // namespace

TEST(AutoRenderRoundTrip, SaveGivesBackEveryOtherLineAndTheSameLists)
{
    CTempDir dir;
    const std::wstring path = dir.File(L"Autorender in IE.js");
    int joined = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        ScriptGenerator generate(seed);
        std::vector<std::string> input = generate.Script();
        WriteFileBytes(path, JoinCrLf(input));

        CAutoRender first;
        ASSERT_TRUE(first.Init(path));
        const Lines kept = ToLines(first.GetKeptLines());
        const std::wstring include = first.includeText;
        const std::wstring exclude = first.excludeText;

        // Every taken line was a pattern line: kept lines plus taken lines are the input.
        ASSERT_EQ(input.size(), kept.size() + SplitPatterns(include).size() + SplitPatterns(exclude).size()) << seed;

        ASSERT_TRUE(first.Save()) << seed;
        const Lines output = ReadLines(path);

        // The kept lines come back byte for byte and in order ...
        std::map<std::wstring, int> extra;
        size_t k = 0;
        for (const std::wstring& line : output) {
            if (k < kept.size() && line == kept[k]) {
                ++k;
            } else {
                ++extra[line];
            }
        }
        ASSERT_EQ(kept.size(), k) << "seed " << seed;
        // ... and everything else written is the rebuilt pattern lines.
        std::map<std::wstring, int> rebuilt;
        for (const auto& p : SplitPatterns(include)) ++rebuilt[L"//@include " + p];
        for (const auto& p : SplitPatterns(exclude)) ++rebuilt[L"//@exclude " + p];
        ASSERT_EQ(rebuilt, extra) << "seed " << seed;

        CAutoRender second;
        ASSERT_TRUE(second.Init(path));
        EXPECT_EQ(include, second.includeText) << "seed " << seed;
        if (second.excludeText != exclude) {
            // Blocks that stood together are written include block first; an exclude line that
            // followed them as an ordinary line then joins the exclude list. Nothing is lost.
            ASSERT_EQ(first.GetIncludePos(), first.GetExcludePos()) << "seed " << seed;
            ASSERT_EQ(0u, second.excludeText.find(exclude)) << "seed " << seed;
            ++joined;
        } else {
            EXPECT_EQ(kept, ToLines(second.GetKeptLines())) << "seed " << seed;
            EXPECT_EQ(first.GetIncludePos(), second.GetIncludePos()) << "seed " << seed;
            EXPECT_EQ(first.GetExcludePos(), second.GetExcludePos()) << "seed " << seed;
        }

        // A third round changes nothing at all: the written form is stable.
        ASSERT_TRUE(second.Save());
        std::string settled = ReadFileBytes(path);
        CAutoRender third;
        ASSERT_TRUE(third.Init(path));
        ASSERT_TRUE(third.Save());
        EXPECT_EQ(settled, ReadFileBytes(path)) << "seed " << seed;
    }
    EXPECT_LT(joined, 40) << "the generator should mostly make scripts whose blocks stand apart";
}
