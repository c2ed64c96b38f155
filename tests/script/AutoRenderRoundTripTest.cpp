// The promise of a save, checked on generated scripts: a quick add or a dialog's Save either
// writes a file that equals the original with exactly the asked change (pattern lines added,
// removed or edited; line ends made CR LF), or writes nothing and says why.
//
// The scripts are made from pieces that editors and other programs really produce: CR, LF and
// CR LF line ends mixed, NUL bytes, no mark or an FF FE, FE FF or EF BB BF mark, UTF-16 bodies,
// pattern lines in other forms, text of the code page, UTF-8 and bytes that are text in no
// encoding. The generator knows what it built: where the two blocks stand and the bytes of each
// line. What the program is asked to write comes from the lists it read.

#include "script/AutoRender.h"

#include <windows.h>

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "support/Charset.h"
#include "tests/common/ConversionRules.h"
#include "tests/script/ScriptFixture.h"

namespace {

enum class Body { Ansi, Utf8Marked, Utf16Marked, Utf16Unmarked, Utf16BigEndian };
// What a generated script holds beyond ASCII.
enum class Flavour { Ascii, Utf8, Native, Stray };

// A line as the generator made it: its bytes in an 8-bit script and its text in a UTF-16 one.
struct Line {
    std::string bytes;
    std::wstring units;
};

Line operator+(Line a, const Line& b)
{
    a.bytes += b.bytes;
    a.units += b.units;
    return a;
}

Line Ascii(const std::string& text) { return Line{text, std::wstring(text.begin(), text.end())}; }

std::string Utf16Bytes(const std::wstring& units, bool bigEndian = false)
{
    std::string bytes;
    for (wchar_t unit : units) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

bool Cp936() { return GetACP() == 936; }
// The system code page is UTF-8 (65001), as Windows 10 and 11 make it on request.
bool CpUtf8() { return GetACP() == CP_UTF8; }

// A text the user may give, with its bytes in the system code page where it has them there.
struct NewText {
    std::wstring text;
    const char* cp1252;
    const char* cp936;
};
const NewText kNewTexts[] = {
    {L"http://new.example/*", "http://new.example/*", "http://new.example/*"},
    {L"  lead", "  lead", "  lead"},
    {L"trail  ", "trail  ", "trail  "},
    {L"   ", "   ", "   "},
    {L" \t ", " \t ", " \t "},
    {L"http://\u4E2D\u6587.example/", nullptr, "http://\xD6\xD0\xCE\xC4.example/"},
    {L"http://\u0416.example/", nullptr, "http://\xA7\xA8.example/"},
    {L"http://\u0416\U0001F600.example/*", nullptr, nullptr},
    {L"http://caf\u00E9.example/", "http://caf\xE9.example/", "http://caf\xA8\xA6.example/"},
    {L"\u20AC", "\x80", "\x80"},
    {L"x\xD800y", nullptr, nullptr},  // a lone surrogate: text in UTF-16 only
    // JavaScript ends a comment at U+2028 and U+2029 too: each is a line break of the list.
    {L"http://a.example/\u2028alert(document.cookie)//", nullptr, nullptr},
    {L"\u2029http://p.example/\u2029", nullptr, nullptr},
    {L"http://d.example/\u2028\u2029http://e.example/", nullptr, nullptr},
};

// The pieces of a box line between U+2028 and U+2029, the line breaks that are not CR or LF.
std::vector<std::wstring> Pieces(const std::wstring& line)
{
    std::vector<std::wstring> pieces(1);
    for (wchar_t unit : line) {
        if (unit == L'\u2028' || unit == L'\u2029') {
            pieces.emplace_back();
        } else {
            pieces.back() += unit;
        }
    }
    return pieces;
}

// True when a script's bytes hold U+2028 or U+2029: as UTF-16 units after the mark of a wide
// one, in UTF-8 otherwise (no code page the tests run under has either character).
bool HoldsSeparator(const std::string& bytes, bool wide)
{
    if (!wide) return bytes.find("\xE2\x80\xA8") != std::string::npos || bytes.find("\xE2\x80\xA9") != std::string::npos;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        if (bytes[i + 1] == '\x20' && (bytes[i] == '\x28' || bytes[i] == '\x29')) return true;
    }
    return false;
}

bool IsBlank(const std::wstring& text) { return text.find_first_not_of(L" \t") == std::wstring::npos; }

std::wstring TrimRight(const std::wstring& text) { return text.substr(0, text.find_last_not_of(L' ') + 1); }

// A generated script: its bytes, its lines as the program should keep them, and where its two
// blocks stand among them.
struct Script {
    std::string bytes;
    std::string mark;
    bool wide = false;           // UTF-16 little-endian with a mark
    std::vector<std::string> lines;  // each line's bytes, without its line end
    size_t includeFirst = 0, includeEnd = 0;  // lines of the include block; empty: none
    size_t excludeFirst = 0, excludeEnd = 0;
    bool asciiOnly = true;       // no mark and every byte below 80
    bool validUtf8 = true;       // no piece that is no UTF-8
};

class ScriptGenerator {
public:
    ScriptGenerator(unsigned seed) : rng_(seed) {}

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    template <typename T, size_t N>
    const T& PickOf(const T (&items)[N]) { return items[Pick(0, static_cast<int>(N) - 1)]; }

    Script Make(Body body, Flavour flavour)
    {
        body_ = body;
        flavour_ = flavour;
        Script script;
        // The header: comments and blocks, never two blocks of a kind next to each other (they
        // would be one block); the first block of each kind is the one the program edits.
        std::vector<Line> lines;
        int previous = -1;
        bool haveInclude = false;
        bool haveExclude = false;
        for (int part = Pick(0, 6); part > 0; --part) {
            const int kind = Pick(0, 2);  // 0 comment, 1 include block, 2 exclude block
            if (kind != 0 && kind == previous) lines.push_back(Comment());
            const size_t first = lines.size();
            if (kind == 0) {
                lines.push_back(Comment());
            } else {
                for (int n = Pick(1, 5); n > 0; --n) lines.push_back(PatternLine(kind == 1 ? "include" : "exclude"));
            }
            if (kind == 1 && !haveInclude) {
                haveInclude = true;
                script.includeFirst = first;
                script.includeEnd = lines.size();
            }
            if (kind == 2 && !haveExclude) {
                haveExclude = true;
                script.excludeFirst = first;
                script.excludeEnd = lines.size();
            }
            previous = kind;
        }
        // The body begins with a line that is no comment and may hold anything.
        if (Pick(0, 3) > 0) {
            static const char* const starts[] = {"", "   ", "var x = 1;", "\tcode(); // "};
            lines.push_back(Ascii(PickOf(starts)) + Word(false));
            for (int n = Pick(0, 5); n > 0; --n) lines.push_back(BodyLine());
        }

        const bool wide = body == Body::Utf16Marked || body == Body::Utf16Unmarked || body == Body::Utf16BigEndian;
        script.wide = body == Body::Utf16Marked;
        script.mark = body == Body::Utf8Marked ? "\xEF\xBB\xBF" : body == Body::Utf16Marked ? "\xFF\xFE" : "";
        std::wstring units;
        std::string bytes;
        std::string previousEnd;
        for (size_t i = 0; i < lines.size(); ++i) {
            // A lone CR, a lone LF or CR LF; the last line may have none. A lone CR before an
            // empty line ended by LF would make one CR LF of the two.
            static const char* const ends[] = {"\r\n", "\n", "\r"};
            std::string end = PickOf(ends);
            if (previousEnd == "\r" && lines[i].bytes.empty() && end == "\n") end = "\r\n";
            if (i + 1 == lines.size() && !lines[i].units.empty() && Pick(0, 2) == 0) end.clear();
            previousEnd = end;
            bytes += lines[i].bytes + end;
            units += lines[i].units + std::wstring(end.begin(), end.end());
            script.lines.push_back(script.wide ? Utf16Bytes(lines[i].units) : lines[i].bytes);
        }
        if (!haveInclude) script.includeFirst = script.includeEnd = lines.size();
        if (!haveExclude) script.excludeFirst = script.excludeEnd = lines.size();
        script.bytes = script.mark + (wide ? Utf16Bytes(units, body == Body::Utf16BigEndian) : bytes);
        if (body == Body::Utf16BigEndian) script.bytes = "\xFE\xFF" + script.bytes;
        for (char c : script.bytes) script.asciiOnly = script.asciiOnly && (c & 0x80) == 0;
        // What sometimes comes with such files: a NUL, or a lone last byte of UTF-16.
        if (Pick(0, 9) == 0 && script.bytes.size() > script.mark.size()) {
            const size_t at = script.mark.size() + static_cast<size_t>(Pick(0, 1000)) % (script.bytes.size() - script.mark.size());
            script.bytes.insert(at - (wide ? (at - script.mark.size()) % 2 : 0), wide ? std::string(2, '\0') : std::string(1, '\0'));
        } else if (wide && Pick(0, 9) == 0) {
            script.bytes += 'x';
        }
        script.validUtf8 = validUtf8_;
        return script;
    }

private:
    std::string Spaces(int most) { return std::string(static_cast<size_t>(Pick(0, most)), ' '); }

    // Text beyond ASCII, often none: a word of the script's flavour. Stray bytes make no
    // character in any 8-bit encoding, and a lone surrogate none in UTF-16.
    Line Word(bool inPattern)
    {
        if (Pick(0, 2) == 0) return Line{};
        static const char* const utf8[] = {"\xE4\xB8\xAD\xE6\x96\x87", "caf\xC3\xA9", "\xF0\x9F\x98\x80"};
        static const wchar_t* const utf8Text[] = {L"\u4E2D\u6587", L"caf\u00E9", L"\U0001F600"};
        static const char* const stray[] = {"\xFF", "\x80\x81", "\xE4\xB8\"", "\xC0\xAF"};
        // Now and then a stray byte in a script of another flavour, as an editor leaves one.
        switch (Pick(0, 15) == 0 ? Flavour::Stray : flavour_) {
        case Flavour::Utf8: {
            const int i = Pick(0, 2);
            return Line{utf8[i], utf8Text[i]};
        }
        case Flavour::Native:
            // Text of the system code page, which under 65001 is UTF-8.
            if (CpUtf8()) return Line{"caf\xC3\xA9", L"caf\u00E9"};
            validUtf8_ = false;
            return Cp936() ? Line{"\xD6\xD0\xCE\xC4", L"\u4E2D\u6587"} : Line{"caf\xE9", L"caf\u00E9"};
        case Flavour::Stray:
            validUtf8_ = false;
            return Line{PickOf(stray), inPattern ? L"\xDC00" : L"\xD800"};
        default: return Line{};
        }
    }

    Line PatternLine(const std::string& kind)
    {
        static const char* const hosts[] = {"http://a.example/*", "*.b.example", "https://c.example/p?q=1", "x",
                                            "http://a.example/*"};
        const Line pattern = Ascii(Spaces(2) + PickOf(hosts)) + Word(true);
        switch (Pick(0, 5)) {
        case 0: return Ascii("  // @" + kind + " ") + pattern;
        case 1: return Ascii("//@" + kind + " ") + pattern + Ascii(Spaces(2) + " ");
        case 2: return Ascii("//  @" + kind + " ") + pattern;
        default: return Ascii("//@" + kind + " ") + pattern;
        }
    }

    Line Comment()
    {
        switch (Pick(0, 7)) {
        // No pattern: a save would drop the pattern or cut it in two.
        case 6: return Line{"//@exclude \t", L"//@exclude \u2028"};
        case 7: return Ascii("//@include  \t ");
        case 0: return Ascii("// ==UserScript==");
        case 1: return Ascii("// @name  Autorender ") + Word(false);
        case 2: return Ascii("//@include");
        case 3: return Ascii("//@exclude   ");
        case 4: return Ascii("//\t@exclude tabbed");
        default: return Ascii("//@Include other case");
        }
    }

    Line BodyLine()
    {
        switch (Pick(0, 4)) {
        case 0: return Line{};
        case 1: return Ascii("//@include http://body.example/") + Word(true);
        case 2: return Ascii("\tvar x = 1; // @exclude y ") + Word(false);
        case 3: return Ascii("   ");
        default: return Ascii("window.opera.addEventListener('BeforeScript', f, false);");
        }
    }

    std::mt19937 rng_;
    Body body_ = Body::Ansi;
    Flavour flavour_ = Flavour::Ascii;
    bool validUtf8_ = true;
};

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// A new line's bytes in an encoding, or false when it has no such bytes.
bool NewLineBytes(const std::wstring& text, TextEncoding encoding, std::string& bytes)
{
    if (encoding == TextEncoding::Utf16) {
        bytes = Utf16Bytes(text);
        return true;
    }
    if (encoding == TextEncoding::Utf8 || CpUtf8()) {
        // Every character but a lone surrogate (any of the generator's) has UTF-8 bytes.
        if (text.find_first_of(L"\xD800\xDC00") != std::wstring::npos) return false;
        bytes = WideToUtf8(text);
        return true;
    }
    for (const NewText& t : kNewTexts) {
        if (t.text == text) {
            const char* known = Cp936() ? t.cp936 : t.cp1252;
            if (known == nullptr) return false;
            bytes = known;
            return true;
        }
    }
    // A copy of a loaded pattern beyond the copies loaded: as the system converts it, when
    // that converts back.
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, &usedDefault);
    bytes.assign(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, &usedDefault);
    return !usedDefault && AnsiToWide(bytes) == text;
}

// The list lines as the file must hold them: a line equal to a loaded pattern's text is that
// loaded line (the k-th copy of a text the k-th line read with it), every other line not blank
// is the prefix and its bytes. False when a line has no bytes in the encoding.
bool ExpectedBlock(const std::vector<std::wstring>& box, const std::vector<std::wstring>& loaded,
                   const std::vector<std::string>& loadedLines, const std::string& prefix, TextEncoding encoding,
                   std::vector<std::string>& out)
{
    std::vector<bool> used(loaded.size(), false);
    std::vector<std::wstring> pieces;
    for (const std::wstring& boxLine : box) {
        for (const std::wstring& piece : Pieces(boxLine)) pieces.push_back(piece);
    }
    for (const std::wstring& line : pieces) {
        if (IsBlank(line)) continue;
        size_t match = loaded.size();
        for (size_t i = 0; i < loaded.size() && match == loaded.size(); ++i) {
            if (!used[i] && loaded[i] == line) match = i;
        }
        if (match < loaded.size()) {
            used[match] = true;
            out.push_back(loadedLines[match]);
            continue;
        }
        std::string bytes;
        if (!NewLineBytes(line, encoding, bytes)) return false;
        out.push_back((encoding == TextEncoding::Utf16 ? Utf16Bytes(std::wstring(prefix.begin(), prefix.end())) : prefix) +
                      bytes);
    }
    return true;
}

// A dialog's edit of a list: some lines removed, new ones, blank ones and copies of loaded ones
// put in, the rest in order.
std::vector<std::wstring> EditList(ScriptGenerator& pick, const std::vector<std::wstring>& loaded)
{
    std::vector<std::wstring> box;
    for (const std::wstring& line : loaded) {
        if (pick.Pick(0, 4) > 0) box.push_back(line);
        if (pick.Pick(0, 5) == 0) box.push_back(pick.PickOf(kNewTexts).text);
        if (pick.Pick(0, 9) == 0) box.push_back(loaded[static_cast<size_t>(pick.Pick(0, 1000)) % loaded.size()]);
    }
    if (pick.Pick(0, 2) == 0) box.push_back(pick.PickOf(kNewTexts).text);
    return box;
}

std::wstring BoxText(const std::vector<std::wstring>& lines, bool endLast)
{
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() || endLast ? L"\r\n" : L"");
    return text;
}

std::wstring ReadBack(const std::vector<std::wstring>& box)
{
    std::wstring text;
    for (const std::wstring& boxLine : box) {
        for (const std::wstring& line : Pieces(boxLine)) {
            if (!IsBlank(line)) text += TrimRight(line) + L"\r\n";
        }
    }
    return text;
}

} // namespace

TEST(AutoRenderPromise, ASaveWritesExactlyTheAskedChangeOrNothing)
{
    ASSERT_TRUE(EnforceWindowsConversionRules());
    CTempDir dir;
    const std::wstring path = dir.File(L"Autorender in IE.js");
    int refusedFiles = 0, refusedTexts = 0, upgraded = 0, saved = 0;
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        ScriptGenerator generate(seed);
        static const Body bodies[] = {Body::Ansi, Body::Ansi, Body::Ansi, Body::Utf8Marked, Body::Utf16Marked,
                                      Body::Utf16Unmarked, Body::Utf16BigEndian};
        const Body body = generate.PickOf(bodies);
        const Flavour flavour = static_cast<Flavour>(generate.Pick(0, 3));
        const Script script = generate.Make(body, flavour);
        WriteFileBytes(path, script.bytes);
        const std::string context = "seed " + std::to_string(seed);

        // A file whose bytes cannot all come back is not read, and so never written.
        bool unkeepable = script.bytes.compare(0, 2, "\xFE\xFF") == 0;
        const size_t from = script.mark.size();
        for (size_t i = from; i < script.bytes.size(); i += script.wide ? 2 : 1) {
            const bool zero = script.bytes[i] == 0 && (!script.wide || (i + 1 < script.bytes.size() && script.bytes[i + 1] == 0));
            unkeepable = unkeepable || zero;
        }
        unkeepable = unkeepable || (script.wide && (script.bytes.size() - from) % 2 != 0);
        CAutoRender first;
        if (!first.Init(path)) {
            EXPECT_TRUE(unkeepable) << context;
            EXPECT_EQ(ScriptFailure::EncodingNotKept, first.GetFailure()) << context;
            EXPECT_EQ(script.bytes, ReadFileBytes(path)) << context;
            ++refusedFiles;
            continue;
        }
        ASSERT_FALSE(unkeepable) << context;

        // The encoding as decided from the bytes.
        const TextEncoding encoding = script.wide ? TextEncoding::Utf16
                                      : !script.mark.empty() || (script.validUtf8 && !script.asciiOnly)
                                          ? TextEncoding::Utf8
                                          : TextEncoding::Ansi;
        ASSERT_EQ(encoding, first.GetEncoding()) << context;
        const std::vector<std::wstring> loadedInclude = SplitLines(first.includeText);
        const std::vector<std::wstring> loadedExclude = SplitLines(first.excludeText);
        const std::vector<std::string> includeLines(script.lines.begin() + static_cast<std::ptrdiff_t>(script.includeFirst),
                                                    script.lines.begin() + static_cast<std::ptrdiff_t>(script.includeEnd));
        const std::vector<std::string> excludeLines(script.lines.begin() + static_cast<std::ptrdiff_t>(script.excludeFirst),
                                                    script.lines.begin() + static_cast<std::ptrdiff_t>(script.excludeEnd));
        ASSERT_EQ(includeLines.size(), loadedInclude.size()) << context;
        ASSERT_EQ(excludeLines.size(), loadedExclude.size()) << context;

        // A quick add appends one address to the text read; a dialog's Save puts in the boxes.
        std::vector<std::wstring> include = loadedInclude;
        std::vector<std::wstring> exclude = loadedExclude;
        if (generate.Pick(0, 1) == 0) {
            std::wstring address = generate.PickOf(kNewTexts).text;
            if (IsBlank(address)) address = L"http://q.example/";
            include.push_back(address);
            first.includeText += address;
        } else {
            include = EditList(generate, loadedInclude);
            exclude = EditList(generate, loadedExclude);
            first.includeText = BoxText(include, generate.Pick(0, 1) == 0);
            first.excludeText = BoxText(exclude, generate.Pick(0, 1) == 0);
        }

        // What the file must then hold, in the script's encoding; plain ASCII becomes UTF-8
        // when that is what it takes; otherwise nothing may be written.
        std::vector<std::string> newInclude, newExclude;
        TextEncoding written = encoding;
        bool writable = ExpectedBlock(include, loadedInclude, includeLines, "//@include ", written, newInclude) &&
                        ExpectedBlock(exclude, loadedExclude, excludeLines, "//@exclude ", written, newExclude);
        if (!writable && script.asciiOnly) {
            written = TextEncoding::Utf8;
            newInclude.clear();
            newExclude.clear();
            writable = ExpectedBlock(include, loadedInclude, includeLines, "//@include ", written, newInclude) &&
                       ExpectedBlock(exclude, loadedExclude, excludeLines, "//@exclude ", written, newExclude);
        }
        const bool ok = first.Save();
        ASSERT_EQ(writable, ok) << context << ::testing::PrintToString(include) << ::testing::PrintToString(exclude);
        if (!ok) {
            EXPECT_EQ(ScriptFailure::PatternNotWritable, first.GetFailure()) << context;
            EXPECT_FALSE(first.GetUnwritablePattern().empty()) << context;
            EXPECT_EQ(script.bytes, ReadFileBytes(path)) << context << ": a refused save writes nothing";
            EXPECT_EQ(L"Autorender in IE.js;", ListFolder(dir.Path())) << context;
            ++refusedTexts;
            continue;
        }
        upgraded += written != encoding;
        ++saved;

        // Each block back at its place, in the order they stood; a kind the file had none of at
        // the very top, include lines first.
        const std::string end = script.wide ? std::string("\r\0\n\0", 4) : "\r\n";
        std::string expected = script.mark;
        auto add = [&](const std::vector<std::string>& lines) {
            for (const std::string& line : lines) expected += line + end;
        };
        const bool noInclude = script.includeFirst == script.includeEnd;
        const bool noExclude = script.excludeFirst == script.excludeEnd;
        if (noInclude) add(newInclude);
        if (noExclude) add(newExclude);
        for (size_t i = 0; i < script.lines.size();) {
            if (!noInclude && i == script.includeFirst) {
                add(newInclude);
                i = script.includeEnd;
            } else if (!noExclude && i == script.excludeFirst) {
                add(newExclude);
                i = script.excludeEnd;
            } else {
                expected += script.lines[i++] + end;
            }
        }
        ASSERT_EQ(expected, ReadFileBytes(path)) << context;
        std::string patternLines = script.mark;
        for (const auto* lines : {&newInclude, &newExclude}) {
            for (const std::string& line : *lines) patternLines += line;
        }
        EXPECT_FALSE(HoldsSeparator(patternLines, script.wide)) << context << ": no pattern line holds a JavaScript line break";

        // Read back, the lists are the boxes' lines; and the model already holds them so. (Where
        // a block was removed whole, a later block of its kind, or one that followed it, may read
        // as the list now: the file holds just what was asked, but the first block is the list.)
        CAutoRender second;
        ASSERT_TRUE(second.Init(path)) << context;
        // Without a mark the encoding is decided anew from the bytes: a file that lost its last
        // character beyond ASCII is plain ASCII again, one that lost its last bytes that are no
        // UTF-8 reads as UTF-8 from then on (its bytes are what was asked; the lists then read
        // in the other encoding).
        TextEncoding reread = written;
        if (script.mark.empty()) {
            const bool ascii = std::none_of(expected.begin(), expected.end(), [](char c) { return (c & 0x80) != 0; });
            const bool utf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, expected.data(),
                                                  static_cast<int>(expected.size()), nullptr, 0) > 0;
            reread = !ascii && utf8 ? TextEncoding::Utf8 : TextEncoding::Ansi;
        }
        EXPECT_EQ(reread, second.GetEncoding()) << context;
        if ((ReadBack(include).empty() && !loadedInclude.empty()) || (ReadBack(exclude).empty() && !loadedExclude.empty()) ||
            reread != written) {
            continue;
        }
        EXPECT_EQ(ReadBack(include), second.includeText) << context;
        EXPECT_EQ(ReadBack(exclude), second.excludeText) << context;
        EXPECT_EQ(second.includeText, first.includeText + (first.includeText.empty() ? L"" : L"\r\n")) << context;
        EXPECT_EQ(second.excludeText, first.excludeText + (first.excludeText.empty() ? L"" : L"\r\n")) << context;
    }
    // Every outcome is met often enough to count.
    EXPECT_GT(refusedFiles, 150);
    EXPECT_GT(refusedTexts, 50);
    // Under 65001 every text but a lone surrogate has bytes in the system code page itself.
    if (CpUtf8()) {
        EXPECT_EQ(0, upgraded);
    } else {
        EXPECT_GT(upgraded, 5);
    }
    EXPECT_GT(saved, 600);
}
