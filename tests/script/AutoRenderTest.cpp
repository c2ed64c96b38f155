#include "script/AutoRender.h"

#include <windows.h>

#include <utility>

#include <gtest/gtest.h>

#include "support/Charset.h"
#include "support/TextEdit.h"
#include "tests/common/ConversionRules.h"
#include "tests/script/ScriptFixture.h"
#include "textio/FileUtil.h"
#include "textio/SaveJournal.h"
#include "textio/TextFile.h"
#include "textio/TextStream.h"

namespace {

// What the test sources hand out at a time: small, so that lines span refills.
const uint32_t kRefillSize = 256;

class AutoRenderTest : public ::testing::Test {
protected:
    // Conversions as Windows makes them, also where Wine is more lenient (UTF-8 as the ANSI code page).
    void SetUp() override { ASSERT_TRUE(EnforceWindowsConversionRules()); }

    std::wstring Write(const std::vector<std::string>& lines)
    {
        WriteFileBytes(path, JoinCrLf(lines));
        return path;
    }
    // Init, let edit change the texts, Save; returns the file's bytes.
    template <typename Edit>
    std::string RoundTrip(const std::vector<std::string>& lines, Edit edit)
    {
        Write(lines);
        CAutoRender script;
        EXPECT_TRUE(script.Init(path));
        edit(script);
        EXPECT_TRUE(script.Save());
        return ReadFileBytes(path);
    }
    std::string RoundTrip(const std::vector<std::string>& lines)
    {
        return RoundTrip(lines, [](CAutoRender&) {});
    }

    CTempDir dir;
    std::wstring path = dir.File(L"Autorender in IE.js");
};

// A line source that fails with a read error after handing out some bytes.
class FailingSource : public CTextStream {
public:
    explicit FailingSource(std::string bytes) : bytes_(std::move(bytes))
    {
        Opened(kModeRead, false);
    }
    bool FillBuffer() override
    {
        if (given_) return Fail(ERROR_READ_FAULT);
        given_ = true;
        Serve(buffer_, static_cast<uint32_t>(bytes_.copy(reinterpret_cast<char*>(buffer_), kRefillSize)), false);
        return true;
    }

private:
    std::string bytes_;
    unsigned char buffer_[kRefillSize] = {};
    bool given_ = false;
};

// A line sink that fails once it has taken a given number of bytes.
class FailingSink : public CTextStream {
public:
    explicit FailingSink(size_t capacity) : capacity_(capacity)
    {
        Opened(kModeWrite, false);
    }
    bool WriteRaw(const void*, int32_t count) override
    {
        if (taken_ + static_cast<size_t>(count) > capacity_) return Fail(ERROR_DISK_FULL);
        taken_ += static_cast<size_t>(count);
        return true;
    }

private:
    size_t capacity_;
    size_t taken_ = 0;
};

} // namespace

TEST_F(AutoRenderTest, SplitsTheHeaderIntoTwoListsAndKeptLines)
{
    Write({"// ==UserScript==", "//@include http://a.example/*", "//@include *.b.example", "// @name x",
           "//@exclude http://c.example/", "// ==/UserScript==", "", "opera.addEventListener();",
           "//@include http://body.example/"});
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    EXPECT_EQ(L"http://a.example/*\r\n*.b.example\r\n", script.includeText);
    EXPECT_EQ(L"http://c.example/\r\n", script.excludeText);
    EXPECT_EQ(1, script.GetIncludePos());
    EXPECT_EQ(2, script.GetExcludePos());
    EXPECT_EQ((Lines{L"// ==UserScript==", L"// @name x", L"// ==/UserScript==", L"", L"opera.addEventListener();",
                     L"//@include http://body.example/"}),
              ToLines(script.GetKeptLines()));
    EXPECT_EQ(path, script.GetScriptPath());
}

TEST_F(AutoRenderTest, PatternLineSyntax)
{
    Write({"  // @include a/b", "//@include   x  ", "//\t@include tab", "//@Include upper", "//@include", "//@include   ",
           "//@include after"});
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    EXPECT_EQ(L"a/b\r\n  x\r\n", script.includeText) << "spaces around // go, leading spaces of a pattern stay";
    EXPECT_EQ((Lines{L"//\t@include tab", L"//@Include upper", L"//@include", L"//@include   ", L"//@include after"}),
              ToLines(script.GetKeptLines()))
        << "a tab, another case or a bare keyword make an ordinary comment, which ends the block";
    // Untouched, every line comes back as it was; an edited one in the regular form.
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(JoinCrLf({"  // @include a/b", "//@include   x  ", "//\t@include tab", "//@Include upper", "//@include",
                        "//@include   ", "//@include after"}),
              ReadFileBytes(path));
    script.includeText = L"a/b\r\n  x \r\n";
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(JoinCrLf({"  // @include a/b", "//@include   x ", "//\t@include tab", "//@Include upper", "//@include",
                        "//@include   ", "//@include after"}),
              ReadFileBytes(path));
    EXPECT_EQ(L"a/b\r\n  x", script.includeText) << "the list as the file now gives it";
}

TEST_F(AutoRenderTest, AFileStartingWithAnEmptyLineHasNoHeader)
{
    std::string out = RoundTrip({"", "//@include a", "//@exclude b"}, [](CAutoRender& s) {
        EXPECT_TRUE(s.includeText.empty());
        EXPECT_TRUE(s.excludeText.empty());
        EXPECT_EQ(-1, s.GetIncludePos());
        s.includeText = L"new\r\n";
        s.excludeText = L"old\r\n";
    });
    EXPECT_EQ(JoinCrLf({"//@include new", "//@exclude old", "", "//@include a", "//@exclude b"}), out)
        << "both kinds missing: include lines first, at the very top";
}

TEST_F(AutoRenderTest, BlocksGoBackWhereTheyStood)
{
    // Adjacent blocks come back in the order they stood, and a line of a kind already taken
    // after them stays an ordinary line.
    EXPECT_EQ(JoinCrLf({"// h", "//@exclude e", "//@include i", "// t"}),
              RoundTrip({"// h", "//@exclude e", "//@include i", "// t"}));
    EXPECT_EQ(JoinCrLf({"//@exclude e", "//@include i", "//@include n", "//@exclude later"}),
              RoundTrip({"//@exclude e", "//@include i", "//@exclude later"},
                        [](CAutoRender& s) { s.includeText += L"n"; }));
    // Exclude block, comment, include block: each at its own place.
    EXPECT_EQ(JoinCrLf({"//@exclude e", "// c", "//@include i", "x"}),
              RoundTrip({"//@exclude e", "// c", "//@include i", "x"}));
    // A header with no exclude block gets new exclude lines at the very top.
    EXPECT_EQ(JoinCrLf({"//@exclude new", "// h", "//@include i", "body"}),
              RoundTrip({"// h", "//@include i", "body"}, [](CAutoRender& s) { s.excludeText = L"new"; }));
    // ... and a header with no include block gets new include lines at the top.
    EXPECT_EQ(JoinCrLf({"//@include new", "// h", "//@exclude e"}),
              RoundTrip({"// h", "//@exclude e"}, [](CAutoRender& s) { s.includeText += L"new"; }));
    // Include block first in the file and no exclude block: the exclude lines stand above it.
    EXPECT_EQ(JoinCrLf({"//@exclude new", "//@include i", "x"}),
              RoundTrip({"//@include i", "x"}, [](CAutoRender& s) { s.excludeText = L"new\r\n"; }));
    // A block at the very end of the file.
    EXPECT_EQ(JoinCrLf({"// h", "//@include i", "//@include j"}),
              RoundTrip({"// h", "//@include i"}, [](CAutoRender& s) { s.includeText += L"j"; }));
}

TEST_F(AutoRenderTest, LaterBlocksAndBodyPatternsStayAsTheyAre)
{
    std::vector<std::string> file = {"//@include a", "// c", "//@include second", "//@exclude e", "//@include third",
                                     "", "//@include body", "   //  @exclude body"};
    Write(file);
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    EXPECT_EQ(L"a\r\n", script.includeText);
    EXPECT_EQ(L"e\r\n", script.excludeText);
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(JoinCrLf(file), ReadFileBytes(path));
}

TEST_F(AutoRenderTest, ALineOfAKindAlreadyTakenEndsTheBlockAndIsNeverLost)
{
    // Exclude block, include block, then exclude lines again; and the mirror case.
    Write({"//@exclude e1", "// c", "//@include i1", "//@exclude e2", "//@include i2", "x"});
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    EXPECT_EQ(L"e1\r\n", script.excludeText);
    EXPECT_EQ(L"i1\r\n", script.includeText);
    EXPECT_EQ((Lines{L"// c", L"//@exclude e2", L"//@include i2", L"x"}), ToLines(script.GetKeptLines()));
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(JoinCrLf({"//@exclude e1", "// c", "//@include i1", "//@exclude e2", "//@include i2", "x"}),
              ReadFileBytes(path));

    Write({"//@include i1", "//@exclude e1", "//@include i2", "//@exclude e2"});
    ASSERT_TRUE(script.Init(path));
    EXPECT_EQ(L"i1\r\n", script.includeText);
    EXPECT_EQ(L"e1\r\n", script.excludeText);
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(JoinCrLf({"//@include i1", "//@exclude e1", "//@include i2", "//@exclude e2"}), ReadFileBytes(path));
}

TEST_F(AutoRenderTest, EditedTextsAreWrittenLineByLine)
{
    std::vector<std::string> file = {"//@include old", "x"};
    EXPECT_EQ(JoinCrLf({"//@include a", "//@include b", "x"}),
              RoundTrip(file, [](CAutoRender& s) { s.includeText = L"a\r\n\r\nb\r\n\r\n"; }));
    EXPECT_EQ(JoinCrLf({"//@include a", "//@include  b ", "x"}),
              RoundTrip(file, [](CAutoRender& s) { s.includeText = L"a\r\n   \r\n \t\r\n\t\r\n b \r\n"; }))
        << "lines of spaces and tabs are dropped, or they would read back as a comment that ends the block";
    EXPECT_EQ(JoinCrLf({"x"}), RoundTrip(file, [](CAutoRender& s) { s.includeText.clear(); }))
        << "an empty text removes the block";
    EXPECT_EQ(JoinCrLf({"//@include d", "//@include d", "//@include d", "x"}),
              RoundTrip(file, [](CAutoRender& s) { s.includeText = L"d\r\nd\r\nd"; }));
}

TEST_F(AutoRenderTest, LoneLineBreaksNeitherEatCharactersNorMakeBareLines)
{
    std::vector<std::string> file = {"//@include old", "//@exclude old", "x"};
    EXPECT_EQ(JoinCrLf({"//@include abc", "//@exclude xyz", "x"}), RoundTrip(file, [](CAutoRender& s) {
                  s.includeText = L"abc\n";
                  s.excludeText = L"xyz\r";
              }));
    // A line break inside a pattern can never put a line into the header without its prefix: not
    // CR or LF, nor U+2028 and U+2029, at which JavaScript ends a "//" comment as well. In every
    // encoding a script may have, none of the four reaches a pattern line.
    const struct {
        const char* what;
        std::string mark;
        std::string comment;  // a first line, which decides the encoding
        bool wide;
    } scripts[] = {
        {"ANSI", "", "// x", false},
        {"UTF-8", "", "// \xE4\xB8\xAD\xE6\x96\x87", false},
        {"UTF-8 with a mark", "\xEF\xBB\xBF", "// x", false},
        {"UTF-16", "\xFF\xFE", "// x", true},
    };
    auto encoded = [](const std::vector<std::string>& lines, bool wide) {
        std::string bytes = JoinCrLf(lines);
        if (!wide) return bytes;
        std::string units;
        for (char c : bytes) units += std::string{c, '\0'};
        return units;
    };
    for (const auto& script : scripts) {
        SCOPED_TRACE(script.what);
        WriteFileBytes(path, script.mark + encoded({script.comment, "//@include old", "x"}, script.wide));
        CAutoRender edited;
        ASSERT_TRUE(edited.Init(path));
        edited.includeText = L"a\ralert(1)\nb\n\r\nc\u2028alert(2)//\u2029\u2029d\u2028";
        // A NUL, which a read takes for a line end and refuses in a script, parts lines as well.
        edited.excludeText = std::wstring(L"\u2029e\0f", 5);
        ASSERT_TRUE(edited.Save());
        EXPECT_EQ(script.mark + encoded({"//@exclude e", "//@exclude f", script.comment, "//@include a", "//@include alert(1)",
                                         "//@include b", "//@include c", "//@include alert(2)//", "//@include d",
                                         "x"},
                                        script.wide),
                  ReadFileBytes(path));
        EXPECT_EQ(L"a\r\nalert(1)\r\nb\r\nc\r\nalert(2)//\r\nd", edited.includeText) << "the lists as the file reads";
    }
}

TEST_F(AutoRenderTest, SaveKeepsTheTrimmedTextsAndCanBeRepeated)
{
    Write({"//@include a", "x"});
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    script.includeText += L"b\r\n\r\n";
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(L"a\r\nb", script.includeText);
    std::string once = ReadFileBytes(path);
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(once, ReadFileBytes(path)) << "a second Save writes the same file, not every pattern twice";
}

TEST_F(AutoRenderTest, AFailedInitChangesNothing)
{
    Write({"//@include keep", "x"});
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    EXPECT_FALSE(script.Init(dir.File(L"missing.js")));
    EXPECT_EQ(L"keep\r\n", script.includeText);
    EXPECT_EQ(path, script.GetScriptPath());
    // An edit of no script on a disk fails as the read it is, making nothing.
    EXPECT_FALSE(script.Edit(dir.File(L"missing.js"), [](CAutoRender&) { ADD_FAILURE() << "changed nothing read"; }));
    EXPECT_EQ(ScriptFailure::CannotRead, script.GetFailure());
    EXPECT_EQ(L"Autorender in IE.js;", ListFolder(dir.Path()));

    // A read error half-way: a partly read script must never be saved back.
    std::string bytes = "//@include new1\r\n//@include new2\r\n// more\r\n";
    FailingSource source(bytes + std::string(kRefillSize, 'x'));
    EXPECT_FALSE(script.Read(source, L"other.js"));
    EXPECT_EQ(L"keep\r\n", script.includeText);
    EXPECT_EQ((Lines{L"x"}), ToLines(script.GetKeptLines()));
    EXPECT_EQ(path, script.GetScriptPath());
}

namespace {

// Writes bytes over the file as an editor saving in place does: the same file, another content.
void WriteInPlace(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                SetEndOfFile(file));
    CloseHandle(file);
}

FileState StateOf(const std::wstring& path)
{
    FileState state;
    CLastError error;
    const CFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(ReadFileState(file.Get(), state, error)) << path;
    return state;
}

// Whether this platform keeps a file's creation time while the file is written, as Windows does.
bool KeepsCreationTime(const std::wstring& folder)
{
    const std::wstring probe = folder + L"probe";
    WriteFileBytes(probe, "a");
    const int64_t made = StateOf(probe).created;
    Sleep(20);
    WriteInPlace(probe, "bb");
    const bool kept = StateOf(probe).created == made;
    DeleteFileW(probe.c_str());
    return kept;
}

} // namespace

// Another program (an editor saving) writes the script between the edit's read and its save: the
// edit reads the script again and makes its change to that content; when the other program keeps
// writing, the edit fails after a few reads with that program's content untouched. A plain script
// is replaced by a new file; one with a second name is written in place and stays the file it was
// (its index, names and, where the platform keeps one, creation time: under Wine that is the last
// change of the file's status), both names holding the change.
TEST_F(AutoRenderTest, AnEditMeetingAnotherProgramsWriteIsMadeToItsContent)
{
    struct Row {
        bool secondName;
        int otherWrites;
    };
    for (const Row row : {Row{false, 1}, Row{true, 1}, Row{false, 99}, Row{true, 99}}) {
        CTempDir folder;
        const std::wstring script = folder.File(L"Autorender in IE.js");
        WriteFileBytes(script, JoinCrLf({"//@include a", "x();"}));
        if (row.secondName) {
            ASSERT_TRUE(CreateHardLinkW(folder.File(L"shared.js").c_str(), script.c_str(), nullptr));
        }
        const FileState before = StateOf(script);
        int reads = 0;
        std::string other;
        CAutoRender edited;
        const bool saved = edited.Edit(script, [&](CAutoRender& read) {
            if (++reads <= row.otherWrites) {
                // Each write a line longer than the one before.
                other += "//@include other" + std::to_string(reads) + "\r\n";
                WriteInPlace(script, JoinCrLf({"//@include a"}) + other + JoinCrLf({"x();"}));
            }
            read.includeText += L"http://added/";
        });
        const std::string context = std::to_string(row.secondName) + " " + std::to_string(row.otherWrites);
        if (row.otherWrites == 1) {
            EXPECT_TRUE(saved) << context;
            EXPECT_EQ(2, reads) << context;
            EXPECT_EQ(JoinCrLf({"//@include a", "//@include other1", "//@include http://added/", "x();"}),
                      ReadFileBytes(script))
                << context;
        } else {
            EXPECT_FALSE(saved) << context;
            EXPECT_EQ(ScriptFailure::CannotWrite, edited.GetFailure()) << context;
            EXPECT_EQ(kFileChangedMeanwhile, edited.Error().GetErrorCode()) << context;
            EXPECT_EQ(JoinCrLf({"//@include a"}) + other + JoinCrLf({"x();"}), ReadFileBytes(script)) << context;
        }
        const FileState after = StateOf(script);
        EXPECT_EQ(row.secondName || !saved, before.index == after.index) << context;
        if (row.secondName) {
            EXPECT_EQ(2u, after.links) << context;
            EXPECT_TRUE(before.created == after.created || !KeepsCreationTime(folder.Path())) << context;
            EXPECT_EQ(ReadFileBytes(script), ReadFileBytes(folder.File(L"shared.js")));
        }
    }
}

// An in-place save that a crash cut short left a journal and a half-written script: the next read,
// for a display as for an edit, first puts the whole old script back. A journal that was never
// completed (cut short before the script was touched) goes, the script read as it is. Where the
// folder takes no journal (a folder under its name stands for that here) it lay in the user's own
// folder, and is found there.
TEST_F(AutoRenderTest, AJournalLeftByACutShortSaveIsRolledBackBeforeTheRead)
{
    struct Row {
        bool viaEdit;
        bool damaged;
        bool besideTaken;
    };
    for (const Row row : {Row{false, false, false}, Row{true, false, false}, Row{false, true, false},
                          Row{true, false, true}}) {
        CTempDir folder;
        const std::wstring script = folder.File(L"Autorender in IE.js");
        const std::string old = JoinCrLf({"//@include old", "x();"});
        WriteFileBytes(script, old);
        std::wstring journal;
        {
            const CFileHandle target(CreateFileW(script.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
            FileState state;
            CLastError error;
            ASSERT_TRUE(ReadFileState(target.Get(), state, error));
            for (int made = 0; made < (row.besideTaken ? 2 : 1); ++made) {
                CSaveJournal left;
                ASSERT_TRUE(left.Write(target.Get(), FinalPathOf(target.Get()), state));
                journal = left.GetPath();
                if (made == 0 && row.besideTaken) {
                    ASSERT_TRUE(left.Remove() && CreateDirectoryW(journal.c_str(), nullptr));
                }
            }
            EXPECT_EQ(row.besideTaken, journal.find(folder.Path()) != 0) << journal;
        }  // the process ends: nothing removes the journal
        WriteInPlace(script, "//@include ne");
        if (row.damaged) {
            const HANDLE file = CreateFileW(journal.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            DWORD written = 0;
            EXPECT_TRUE(SetFilePointer(file, -3, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
                        WriteFile(file, "?", 1, &written, nullptr));
            CloseHandle(file);
        }
        CAutoRender read;
        if (row.viaEdit) {
            ASSERT_TRUE(read.Edit(script, [](CAutoRender& edited) { edited.includeText += L"new"; }));
            EXPECT_EQ(JoinCrLf({"//@include old", "//@include new", "x();"}), ReadFileBytes(script));
        } else {
            ASSERT_TRUE(read.Init(script));
            EXPECT_EQ(row.damaged ? L"ne\r\n" : L"old\r\n", read.includeText);
            EXPECT_EQ(row.damaged ? std::string("//@include ne") : old, ReadFileBytes(script));
        }
        EXPECT_FALSE(PathExists(journal)) << "the journal is gone";
    }
}

TEST_F(AutoRenderTest, AFailedSaveChangesNeitherFileNorFields)
{
    std::string original = JoinCrLf({"//@include a", "x"});
    WriteFileBytes(path, original);
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    script.includeText += L"added\r\n";
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(script.Save());
    EXPECT_EQ(original, ReadFileBytes(path));
    EXPECT_EQ(L"a\r\nadded\r\n", script.includeText);
    EXPECT_EQ(L"Autorender in IE.js;", ListFolder(dir.Path()));

    // A write that fails part-way is a failure, not a success.
    FailingSink sink(20);
    EXPECT_FALSE(script.WriteScript(sink));
    FailingSink roomy(1000);
    EXPECT_TRUE(script.WriteScript(roomy));
}

namespace {

// UTF-16 LE bytes of text.
std::string Utf16(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

std::string Utf16Lines(const std::vector<std::wstring>& lines)
{
    std::string bytes = "\xFF\xFE";
    for (const auto& line : lines) bytes += Utf16(line + L"\r\n");
    return bytes;
}

} // namespace

TEST_F(AutoRenderTest, AScriptKeepsItsBytesAndItsEncoding)
{
    // Chinese text saved as UTF-8 by an editor: under code page 936 these bytes are no valid
    // GBK (the quote after 员 and the comma after 介 would be taken into a character).
    const std::string description = "// @description  \xE9\x9A\x90\xE8\x97\x8F\"\xE4\xBA\xBA\xE6\xB0\x91\xE5\x8B\xA4\xE5"
                                    "\x8A\xA1\xE5\x91\x98\"\xE4\xB8\xBB\xE9\xA1\xB5\xE4\xB8\xAA\xE4\xBA\xBA\xE7\xAE\x80"
                                    "\xE4\xBB\x8B,\xE8\x84\x9A\xE6\x9C\xAC\xE9\x9B\x86";
    const std::string utf8Pattern = "http://\xE4\xB8\xAD\xE6\x96\x87.example/*";  // 中文
    const std::wstring widePattern = L"http://\u4E2D\u6587.example/*";
    const std::wstring added = L"http://\u65B0.example/";                    // 新
    const std::string addedUtf8 = "http://\xE6\x96\xB0.example/";
    // A character of the system code page: valid text there, no valid UTF-8 (but under 65001,
    // where the system code page is UTF-8).
    const bool cp936 = GetACP() == 936;
    const bool cpUtf8 = GetACP() == CP_UTF8;
    const std::string native = cp936 ? "\xD6\xD0\xCE\xC4" : cpUtf8 ? "caf\xC3\xA9" : "caf\xE9";
    const std::wstring nativeWide = cp936 ? L"\u4E2D\u6587" : L"caf\u00E9";
    const std::string filler(kRefillSize - 4, 'x');

    struct Case {
        const char* name;
        std::string bytes;             // the script as found
        TextEncoding encoding;         // as decided from its bytes
        std::wstring include;          // the include text read
        std::wstring add;              // appended to it, as the quick add does
        std::string saved;             // the script after Save
    };
    std::vector<Case> cases = {
        {"UTF-8 with Chinese comments", JoinCrLf({"// ==UserScript==", description, "//@include " + utf8Pattern,
                                                  "// ==/UserScript==", "", "var s = '\xE4\xBD\xA0';"}),
         TextEncoding::Utf8, widePattern + L"\r\n", added,
         JoinCrLf({"// ==UserScript==", description, "//@include " + utf8Pattern, "//@include " + addedUtf8,
                   "// ==/UserScript==", "", "var s = '\xE4\xBD\xA0';"})},
        {"UTF-8 with a mark, new block at the top", "\xEF\xBB\xBF" + JoinCrLf({description, "x"}), TextEncoding::Utf8,
         L"", added, "\xEF\xBB\xBF" + JoinCrLf({"//@include " + addedUtf8, description, "x"})},
        {"UTF-8 with a mark and nothing else", "\xEF\xBB\xBF", TextEncoding::Utf8, L"", L"a",
         "\xEF\xBB\xBF" + JoinCrLf({"//@include a"})},
        {"UTF-16 with a mark", Utf16Lines({L"// \u4E2D", L"//@include " + widePattern, L"", L"x\u00E9"}),
         TextEncoding::Utf16, widePattern + L"\r\n", added,
         Utf16Lines({L"// \u4E2D", L"//@include " + widePattern, L"//@include " + added, L"", L"x\u00E9"})},
        {"UTF-16, LF only and no block", "\xFF\xFE" + Utf16(L"x\n"), TextEncoding::Utf16, L"", added,
         Utf16Lines({L"//@include " + added, L"x"})},
        {"system code page", JoinCrLf({"// " + native, "//@include http://" + native + ".example/", "x"}),
         cpUtf8 ? TextEncoding::Utf8 : TextEncoding::Ansi, L"http://" + nativeWide + L".example/\r\n",
         L"http://" + nativeWide + L".test/",
         JoinCrLf({"// " + native, "//@include http://" + native + ".example/", "//@include http://" + native + ".test/",
                   "x"})},
        {"plain ASCII", JoinCrLf({"//@include a", "x"}), TextEncoding::Ansi, L"a\r\n", L"b",
         JoinCrLf({"//@include a", "//@include b", "x"})},
        // UTF-8 only when strictly valid; else the system code page, and the kept bytes stay.
        {"sequence cut off at the end", "//@include a\r\n// \xE4\xB8", TextEncoding::Ansi, L"a\r\n", L"",
         JoinCrLf({"//@include a", "// \xE4\xB8"})},
        {"sequence cut by a line end", "// \xE4\r\n\xB8\xAD\r\n", TextEncoding::Ansi, L"", L"",
         JoinCrLf({"// \xE4", "\xB8\xAD"})},
        {"sequence across a refill", "// " + filler + "\xE4\xB8\xAD\r\n//@include " + utf8Pattern + "\r\n",
         TextEncoding::Utf8, widePattern + L"\r\n", L"",
         JoinCrLf({"// " + filler + "\xE4\xB8\xAD", "//@include " + utf8Pattern})},
        {"ASCII but for the last line", JoinCrLf({"//@include a", "x", "// \xE6\x96\xB0"}), TextEncoding::Utf8,
         L"a\r\n", added, JoinCrLf({"//@include a", "//@include " + addedUtf8, "x", "// \xE6\x96\xB0"})},
    };
    // Overlong forms, encoded surrogates, beyond U+10FFFF, stray and cut-short sequences, each
    // next to the smallest and largest valid sequences of its kind.
    const std::pair<const char*, bool> sequences[] = {
        {"\xC0\xAF", false}, {"\xC1\xBF", false}, {"\xC2\x80", true}, {"\xDF\xBF", true},
        {"\xE0\x9F\xBF", false}, {"\xE0\xA0\x80", true}, {"\xED\x9F\xBF", true}, {"\xED\xA0\x80", false},
        {"\xED\xBF\xBF", false}, {"\xEE\x80\x80", true}, {"\xEF\xBF\xBF", true}, {"\xF0\x8F\xBF\xBF", false},
        {"\xF0\x90\x80\x80", true}, {"\xF4\x8F\xBF\xBF", true}, {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false},
        {"\xFF", false}, {"\x80", false}, {"\xE4\xB8", false}, {"\xE4\xB8\xAD\xAD", false}, {"\xE4x\xAD", false},
    };
    if (cpUtf8) {
        // Bytes of another code page, no UTF-8, under a system whose code page is UTF-8: the
        // lines keep their bytes, a new pattern is written in UTF-8.
        cases.push_back({"Latin-1 bytes under 65001",
                         JoinCrLf({"// caf\xE9", "//@include http://caf\xE9.example/", "x"}), TextEncoding::Ansi,
                         L"http://caf\uFFFD.example/\r\n", L"http://\u4E2D\u6587.test/",
                         JoinCrLf({"// caf\xE9", "//@include http://caf\xE9.example/",
                                   "//@include http://\xE4\xB8\xAD\xE6\x96\x87.test/", "x"})});
    }
    for (const auto& [sequence, valid] : sequences) {
        const std::string bytes = JoinCrLf({"// " + std::string(sequence), "//@include a"});
        cases.push_back({sequence, bytes, valid ? TextEncoding::Utf8 : TextEncoding::Ansi, L"a\r\n", L"", bytes});
    }
    for (const Case& c : cases) {
        WriteFileBytes(path, c.bytes);
        CAutoRender script;
        ASSERT_TRUE(script.Init(path)) << c.name;
        EXPECT_EQ(c.encoding, script.GetEncoding()) << c.name;
        EXPECT_EQ(c.include, script.includeText) << c.name;
        // The quick add's way: append to the text read.
        script.includeText += c.add;
        ASSERT_TRUE(script.Save()) << c.name;
        EXPECT_EQ(c.saved, ReadFileBytes(path)) << c.name;

        // The dialog's way: read again, put in the texts the boxes hold, save. The same bytes.
        WriteFileBytes(path, c.bytes);
        CAutoRender dialog;
        ASSERT_TRUE(dialog.Init(path)) << c.name;
        dialog.includeText = c.include + c.add + L"\r\n";
        dialog.excludeText = std::wstring(dialog.excludeText);
        ASSERT_TRUE(dialog.Save()) << c.name;
        EXPECT_EQ(c.saved, ReadFileBytes(path)) << c.name;
    }
}

TEST_F(AutoRenderTest, LineEndsAreNormalisedToCrLf)
{
    WriteFileBytes(path, "// h\n//@include a\nbody\nlast");
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    ASSERT_TRUE(script.Save());
    EXPECT_EQ("// h\r\n//@include a\r\nbody\r\nlast\r\n", ReadFileBytes(path));
}

TEST_F(AutoRenderTest, LargeScriptsComeBackByteForByte)
{
    // Many refills of the read buffer, characters of the system code page in every kind of
    // line, and far more to write than waits in memory at once.
    const std::string native = GetACP() == 936 ? "\xD6\xD0\xCE\xC4" : GetACP() == CP_UTF8 ? "caf\xC3\xA9" : "caf\xE9";
    std::vector<std::string> lines = {"// ==UserScript=="};
    for (int i = 0; i < 3000; ++i) lines.push_back("//@include http://site" + std::to_string(i) + "." + native + "/*");
    for (int i = 0; i < 300; ++i) lines.push_back("//@exclude http://plain" + std::to_string(i) + ".example/");
    lines.push_back("// " + native + " ==/UserScript==");
    lines.push_back("");
    for (int i = 0; i < 20000; ++i) {
        // Every other line plain ASCII, some of them longer than a refill.
        const std::string word = i % 2 == 0 ? native : "x";
        lines.push_back(std::string(static_cast<size_t>(i % 7), '\t') + "if (u == '" + word + std::to_string(i) + "') {" +
                        std::string(static_cast<size_t>(i % 300) * (i % 2 + 1), ' ') + "}");
    }
    Write(lines);
    CAutoRender script;
    ASSERT_TRUE(script.Init(path));
    StringList includes;
    SplitString(script.includeText, L"\r\n", includes);
    ASSERT_EQ(3000u, includes.size());
    EXPECT_EQ(L"http://site2999." + AnsiToWide(native) + L"/*", includes.back());
    ASSERT_EQ(lines.size() - 3300, script.GetKeptLines().Count());
    EXPECT_EQ(lines.back(), script.GetKeptLines().Line(lines.size() - 3301));
    ASSERT_TRUE(script.Save());
    EXPECT_EQ(JoinCrLf(lines), ReadFileBytes(path));

    // The size given to Read only sets storage aside: too small or far too large, the script
    // reads the same.
    for (uint64_t hint : {uint64_t(1), uint64_t(1) << 40}) {
        CTextFile file(path, kOpenRead, false);
        CAutoRender other;
        ASSERT_TRUE(other.Read(file, path, hint));
        EXPECT_EQ(script.includeText + L"\r\n", other.includeText);
        EXPECT_EQ(script.excludeText + L"\r\n", other.excludeText);
        EXPECT_EQ(ToLines(script.GetKeptLines()), ToLines(other.GetKeptLines()));
        EXPECT_EQ(script.GetIncludePos(), other.GetIncludePos());
    }
}

TEST_F(AutoRenderTest, ALineThatASaveWouldDropIsAnOrdinaryComment)
{
    // A pattern is what a save writes back as the same line: a pattern of nothing but spaces and
    // tabs would be dropped, one holding U+2028 or U+2029 (a line break of the list) cut in two.
    // Such a line is an ordinary comment: it ends its block and comes back as it was.
    const std::string ls = "\xE2\x80\xA8";  // U+2028 in UTF-8
    const std::string ps = "\xE2\x80\xA9";  // U+2029
    const std::string chinese = "// \xE4\xB8\xAD\xE6\x96\x87";  // makes an unmarked script UTF-8
    // Text of the code page that is no UTF-8: there the bytes of U+2028 are three characters.
    const std::string native = GetACP() == 936 ? "// \xD6\xD0\xCE\xC4" : "// caf\xE9";
    const std::string added = "//@include http://new.example/";
    const std::wstring addedText = L"http://new.example/";
    auto wide = [](const std::vector<std::wstring>& lines) { return Utf16Lines(lines); };
    const bool utf8CodePage = GetACP() == CP_UTF8;
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring include;
        std::wstring exclude;
        std::string afterQuickAdd;
    };
    const Case cases[] = {
        {"a tab after the keyword",
         JoinCrLf({"// ==UserScript==", "//@include http://a.example/*", "//@exclude \t", "//@include http://b.example/*",
                   "// ==/UserScript=="}),
         L"http://a.example/*\r\n", L"",
         JoinCrLf({"// ==UserScript==", "//@include http://a.example/*", added, "//@exclude \t",
                   "//@include http://b.example/*", "// ==/UserScript=="})},
        {"spaces and a tab", JoinCrLf({"//@exclude e", "//@exclude  \t ", "//@exclude f"}), L"", L"e\r\n",
         JoinCrLf({added, "//@exclude e", "//@exclude  \t ", "//@exclude f"})},
        {"UTF-8, a lone U+2028", JoinCrLf({chinese, "//@include a", "//@exclude " + ls, "//@include b"}), L"a\r\n", L"",
         JoinCrLf({chinese, "//@include a", added, "//@exclude " + ls, "//@include b"})},
        {"UTF-8 known only after the line, U+2029 inside a pattern",
         JoinCrLf({"//@include a", "//@include x" + ps + "alert(1)", "//@include b"}), L"a\r\n", L"",
         JoinCrLf({"//@include a", added, "//@include x" + ps + "alert(1)", "//@include b"})},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + JoinCrLf({"//@include " + ls + " ", "//@include a"}), L"a\r\n", L"",
         "\xEF\xBB\xBF" + JoinCrLf({"//@include " + ls + " ", "//@include a", added})},
        // Unless the code page is UTF-8 itself (65001): there they are U+2028 as well.
        {"the code page, where those bytes are text", JoinCrLf({native, "//@include x" + ls, "//@exclude e"}),
         utf8CodePage ? L"" : AnsiToWide("x" + ls) + L"\r\n", L"e\r\n",
         utf8CodePage ? JoinCrLf({added, native, "//@include x" + ls, "//@exclude e"})
                      : JoinCrLf({native, "//@include x" + ls, added, "//@exclude e"})},
        {"UTF-16", wide({L"//@include a", L"//@include \u2028", L"//@exclude  \t", L"//@exclude e"}), L"a\r\n",
         L"e\r\n",
         wide({L"//@include a", L"//@include http://new.example/", L"//@include \u2028", L"//@exclude  \t",
               L"//@exclude e"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, c.bytes);
        CAutoRender script;
        ASSERT_TRUE(script.Init(path));
        EXPECT_EQ(c.include, script.includeText);
        EXPECT_EQ(c.exclude, script.excludeText);
        ASSERT_TRUE(script.Save());
        EXPECT_EQ(c.bytes, ReadFileBytes(path)) << "a save that changes nothing writes every line back";
        // The quick add's way.
        ASSERT_TRUE(script.Init(path));
        script.includeText += addedText;
        ASSERT_TRUE(script.Save());
        EXPECT_EQ(c.afterQuickAdd, ReadFileBytes(path));
        ASSERT_TRUE(script.Init(path));
        EXPECT_EQ(c.include + addedText + L"\r\n", script.includeText);
    }
}

TEST_F(AutoRenderTest, ASaveThatWouldBeginWithAByteOrderMarkIsRefused)
{
    // An unmarked 8-bit script whose first line goes: the line after it would be the first, and
    // its first bytes would read as a mark the next time (FE FF is refused as UTF-16 big-endian).
    // Such a save writes nothing; one that leaves a pattern line above them is written.
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring include;     // the lists to save
        std::wstring exclude;
        bool saved;
    };
    const Case cases[] = {
        {"FE FF", "//@include c\r\n\xFE\xFF", L"", L"", false},
        {"FF FE", "//@include c\r\n\xFF\xFEx\r\n", L"", L"", false},
        {"EF BB BF after UTF-8", "//@include c\r\n\xEF\xBB\xBF// \xE4\xB8\xAD\r\n", L"", L"", false},
        {"EF BB BF in the code page", "//@include c\r\n\xEF\xBB\xBF\xFF\r\n", L"", L"\r\n \t\r\n", false},
        {"a new exclude line comes first", "//@include c\r\n\xFE\xFF\r\n", L"", L"e", true},
        {"the include line stays", "//@include c\r\n\xFF\xFE\r\n", L"c\r\n", L"", true},
        {"a mark in the middle of a line", "//@include c\r\nx\xFF\xFE\r\n", L"", L"", true},
        // A save that changes nothing writes back the line that keeps them from coming first.
        {"after a line that is no pattern", "//@exclude \t\r\xFF\xFEi", L"", L"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, c.bytes);
        CAutoRender script;
        ASSERT_TRUE(script.Init(path));
        script.includeText = c.include;
        script.excludeText = c.exclude;
        const bool saved = script.Save();
        EXPECT_EQ(c.saved, saved);
        if (!saved) {
            EXPECT_EQ(ScriptFailure::MarkAtStart, script.GetFailure());
            EXPECT_EQ(c.bytes, ReadFileBytes(path));
            EXPECT_EQ(L"Autorender in IE.js;", ListFolder(dir.Path()));
            EXPECT_EQ(c.include, script.includeText) << "the lists stay as they were given";
            EXPECT_EQ(c.exclude, script.excludeText);
            continue;
        }
        // What was written reads back, in the same encoding, as the lists.
        const TextEncoding encoding = script.GetEncoding();
        CAutoRender again;
        if (!again.Init(path)) {
            ADD_FAILURE() << "what was saved cannot be read";
            continue;
        }
        EXPECT_EQ(encoding, again.GetEncoding());
        EXPECT_EQ(script.includeText + (script.includeText.empty() ? L"" : L"\r\n"), again.includeText);
        EXPECT_EQ(script.excludeText + (script.excludeText.empty() ? L"" : L"\r\n"), again.excludeText);
    }
}
