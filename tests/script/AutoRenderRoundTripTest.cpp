// Randomized round trips of the script model over generated scripts: plain ASCII, UTF-8 with
// and without a byte-order mark, text of the system code page, and stray bytes that are text in
// no encoding.

#include "script/AutoRender.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "tests/script/ScriptFixture.h"
#include "support/Charset.h"
#include "support/TextEdit.h"

namespace {

using ByteLines = std::vector<std::string>;

const std::string kUtf8Mark = "\xEF\xBB\xBF";

// The lines of a file that Save wrote (every line ended by CR LF), after its mark, if any.
ByteLines ReadLines(const std::wstring& path, const std::string& mark)
{
    std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(0u, bytes.compare(0, mark.size(), mark)) << "the mark stays first";
    ByteLines lines;
    for (size_t pos = mark.size(); pos < bytes.size();) {
        size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

ByteLines KeptBytes(const CLineList& list)
{
    ByteLines lines;
    for (size_t i = 0; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
    return lines;
}

std::string Encode(const std::wstring& text, TextEncoding encoding)
{
    return encoding == TextEncoding::Utf8 ? WideToUtf8(text) : WideToAnsi(text);
}

Lines SplitPatterns(const std::wstring& text)
{
    StringList pieces;
    SplitString(text, L"\r\n", pieces);
    return pieces;
}

// What a generated script holds beyond ASCII.
enum class Flavour { Ascii, Utf8, Native, Stray };

class ScriptGenerator {
public:
    ScriptGenerator(unsigned seed, Flavour flavour) : rng_(seed), flavour_(flavour) {}

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

    // Text beyond ASCII, often none: a word of the script's flavour. Stray bytes make no
    // character anywhere and only stand in lines that are kept.
    std::string Word(bool inPattern)
    {
        if (Pick(0, 2) == 0) return std::string();
        static const char* const utf8[] = {"\xE4\xB8\xAD\xE6\x96\x87", "caf\xC3\xA9", "\xF0\x9F\x98\x80",
                                           "\xE9\x9A\x90\xE8\x97\x8F\"\xE4\xBA\xBA\""};
        switch (flavour_) {
        case Flavour::Utf8: return utf8[Pick(0, 3)];
        case Flavour::Native: return GetACP() == 936 ? "\xD6\xD0\xCE\xC4" : "caf\xE9";
        case Flavour::Stray: {
            if (inPattern) return std::string();
            std::string bytes;
            for (int i = Pick(1, 3); i > 0; --i) bytes += static_cast<char>(Pick(0x80, 0xFF));
            return bytes + "\"";
        }
        default: return std::string();
        }
    }

    std::string Pattern()
    {
        static const char* const hosts[] = {"http://a.example/*", "*.b.example", "https://c.example/path?q=1",
                                            "file://*", "x", "http://a.example/*"};
        return Spaces(2) + hosts[Pick(0, 5)] + Word(true);
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
            return "  // @name  Autorender " + Word(false);
        default:
            return "//@Include other case";
        }
    }

    std::string BodyLine(bool first)
    {
        switch (Pick(first ? 0 : 0, 5)) {
        case 0: return "";
        case 1: return Spaces(3);
        case 2: return "window.opera.addEventListener('BeforeScript', f, false); // " + Word(false);
        case 3: return "//@include " + Pattern();
        case 4: return "\tvar x = 1; // @exclude y";
        default: return "  code();  ";
        }
    }

    std::mt19937 rng_;
    Flavour flavour_;
};

} // namespace

TEST(AutoRenderRoundTrip, SaveGivesBackEveryOtherLineAndTheSameLists)
{
    CTempDir dir;
    const std::wstring path = dir.File(L"Autorender in IE.js");
    int joined = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        const Flavour flavour = static_cast<Flavour>(seed % 4);
        ScriptGenerator generate(seed, flavour);
        std::vector<std::string> input = generate.Script();
        const std::string mark = flavour == Flavour::Utf8 && seed % 8 == 1 ? kUtf8Mark : std::string();
        WriteFileBytes(path, mark + JoinCrLf(input));

        CAutoRender first;
        ASSERT_TRUE(first.Init(path));
        const ByteLines kept = KeptBytes(first.GetKeptLines());
        const std::wstring include = first.includeText;
        const std::wstring exclude = first.excludeText;
        const TextEncoding encoding = first.GetEncoding();
        if (flavour == Flavour::Ascii || flavour == Flavour::Native) {
            ASSERT_EQ(TextEncoding::Ansi, encoding) << seed;
        } else if (flavour == Flavour::Utf8) {
            const bool anyBeyondAscii = std::any_of(input.begin(), input.end(), [](const std::string& line) {
                return std::any_of(line.begin(), line.end(), [](char c) { return (c & 0x80) != 0; });
            });
            ASSERT_EQ(anyBeyondAscii || !mark.empty() ? TextEncoding::Utf8 : TextEncoding::Ansi, encoding) << seed;
        }

        // Every taken line was a pattern line: kept lines plus taken lines are the input.
        ASSERT_EQ(input.size(), kept.size() + SplitPatterns(include).size() + SplitPatterns(exclude).size()) << seed;

        ASSERT_TRUE(first.Save()) << seed;
        const ByteLines output = ReadLines(path, mark);

        // The kept lines come back byte for byte and in order ...
        std::map<std::string, int> extra;
        size_t k = 0;
        for (const std::string& line : output) {
            if (k < kept.size() && line == kept[k]) {
                ++k;
            } else {
                ++extra[line];
            }
        }
        ASSERT_EQ(kept.size(), k) << "seed " << seed;
        // ... and everything else written is the rebuilt pattern lines, in the script's encoding.
        std::map<std::string, int> rebuilt;
        for (const auto& p : SplitPatterns(include)) ++rebuilt["//@include " + Encode(p, encoding)];
        for (const auto& p : SplitPatterns(exclude)) ++rebuilt["//@exclude " + Encode(p, encoding)];
        ASSERT_EQ(rebuilt, extra) << "seed " << seed;

        CAutoRender second;
        ASSERT_TRUE(second.Init(path));
        EXPECT_EQ(include, second.includeText) << "seed " << seed;
        EXPECT_EQ(encoding, second.GetEncoding()) << "seed " << seed;
        if (second.excludeText != exclude) {
            // Blocks that stood together are written include block first; an exclude line that
            // followed them as an ordinary line then joins the exclude list. Nothing is lost.
            ASSERT_EQ(first.GetIncludePos(), first.GetExcludePos()) << "seed " << seed;
            ASSERT_EQ(0u, second.excludeText.find(exclude)) << "seed " << seed;
            ++joined;
        } else {
            EXPECT_EQ(kept, KeptBytes(second.GetKeptLines())) << "seed " << seed;
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
