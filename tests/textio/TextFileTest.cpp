#include "textio/TextFile.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "support/Charset.h"
#include "tests/common/TestFiles.h"
#include "textio/FileUtil.h"

namespace {

using Lines = std::vector<std::wstring>;

Lines ReadAll(const std::wstring& path, bool unicode)
{
    CTextFile file(path, kOpenRead, unicode);
    EXPECT_TRUE(file.IsOpen());
    Lines lines;
    std::wstring line;
    while (file.ReadLine(line)) lines.push_back(line);
    EXPECT_TRUE(line.empty()) << "a ReadLine that returns false leaves the output empty";
    EXPECT_FALSE(file.HasError());
    return lines;
}

Lines ReadAnsi(const CTempDir& dir, const std::string& bytes)
{
    std::wstring path = dir.File(L"in.txt");
    WriteFileBytes(path, bytes);
    return ReadAll(path, false);
}

std::string Utf16(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

} // namespace

TEST(TextFile, AnsiLinesEndAtCrLfLoneCrLoneLfOrNul)
{
    CTempDir dir;
    EXPECT_EQ(Lines{}, ReadAnsi(dir, ""));
    EXPECT_EQ((Lines{L"a", L"b"}), ReadAnsi(dir, "a\r\nb\r\n"));
    EXPECT_EQ((Lines{L"a", L"bc"}), ReadAnsi(dir, "a\nbc"));
    EXPECT_EQ((Lines{L"a", L"b"}), ReadAnsi(dir, "a\rb\n"));
    EXPECT_EQ((Lines{L"a", L""}), ReadAnsi(dir, "a\r\r\n"));
    EXPECT_EQ((Lines{L"", L""}), ReadAnsi(dir, "\n\n"));
    EXPECT_EQ((Lines{L"a", L"", L"b"}), ReadAnsi(dir, "a\n\r\nb"));
    EXPECT_EQ((Lines{L"a", L"b", L"c"}), ReadAnsi(dir, std::string("a\0b\nc", 5)));
    EXPECT_EQ((Lines{L"", L"x"}), ReadAnsi(dir, "\rx\r"));
}

TEST(TextFile, BufferBoundariesAndLongLines)
{
    CTempDir dir;
    // 254 bytes, then CR LF: the file is exactly one buffer long.
    std::string exact(254, 'e');
    EXPECT_EQ((Lines{std::wstring(254, L'e')}), ReadAnsi(dir, exact + "\r\n"));
    // A CR LF split across the buffer boundary.
    std::string split(255, 's');
    EXPECT_EQ((Lines{std::wstring(255, L's'), L"t"}), ReadAnsi(dir, split + "\r\nt"));
    // Lines far longer than the buffer, and many of them.
    std::string big;
    Lines expected;
    for (int i = 0; i < 50; ++i) {
        std::string line(97 * i + 3, static_cast<char>('a' + i % 26));
        big += line + (i % 2 ? "\n" : "\r\n");
        expected.push_back(std::wstring(line.begin(), line.end()));
    }
    EXPECT_EQ(expected, ReadAnsi(dir, big));
}

TEST(TextFile, AnsiUsesTheSystemCodePage)
{
    CTempDir dir;
    std::wstring path = dir.File(L"cp.txt");
    std::wstring text = GetACP() == 936 ? L"中文网址" : L"café €";
    std::string bytes = GetACP() == 936 ? "\xD6\xD0\xCE\xC4\xCD\xF8\xD6\xB7" : "caf\xE9 \x80";
    {
        CTextFile out(path, kOpenWrite, false);
        ASSERT_TRUE(out.IsOpen());
        EXPECT_TRUE(out.WriteLine(text));
    }
    EXPECT_EQ(bytes + "\r\n", ReadFileBytes(path));
    EXPECT_EQ((Lines{text}), ReadAll(path, false));

    // A DBCS lead byte whose trail byte is an LF must not swallow the line end.
    if (GetACP() == 936) {
        EXPECT_EQ(2u, ReadAnsi(dir, "\xD6\nx").size());
    }
}

TEST(TextFile, NarrowReadAndWrite)
{
    CTempDir dir;
    std::wstring path = dir.File(L"n.txt");
    WriteFileBytes(path, "\xEF\xBB\xBFUser JavaScript File=C:\\js\xE4\xB8\xAD\r\nb\n");
    CTextFile in(path, kOpenRead, false);
    std::string line;
    ASSERT_TRUE(in.ReadLine(line));
    EXPECT_EQ("\xEF\xBB\xBFUser JavaScript File=C:\\js\xE4\xB8\xAD", line) << "ANSI bytes come through unchanged";
    ASSERT_TRUE(in.ReadLine(line));
    EXPECT_EQ("b", line);
    EXPECT_FALSE(in.ReadLine(line));

    std::wstring upath = dir.File(L"u.txt");
    {
        CTextFile out(upath, kOpenWrite, true);
        EXPECT_TRUE(out.WriteLine(std::string("ab")));
    }
    EXPECT_EQ(std::string("a\0b\0\r\0\n\0", 8), ReadFileBytes(upath));
    CTextFile uin(upath, kOpenRead, true);
    ASSERT_TRUE(uin.ReadLine(line));
    EXPECT_EQ("ab", line);
}

TEST(TextFile, UnicodeModeIsUtf16LeWithoutMark)
{
    CTempDir dir;
    std::wstring path = dir.File(L"u.ini");
    {
        CTextFile out(path, kOpenWrite, true);
        ASSERT_TRUE(out.IsOpen());
        EXPECT_TRUE(out.WriteLine(L"x"));
        EXPECT_TRUE(out.WriteLine(L""));
        EXPECT_TRUE(out.WriteLine(L"中\U0001F600"));
    }
    std::string expected = std::string("x\0\r\0\n\0\r\0\n\0", 10) + Utf16(L"中\U0001F600") + std::string("\r\0\n\0", 4);
    EXPECT_EQ(expected, ReadFileBytes(path));
    EXPECT_EQ((Lines{L"x", L"", L"中\U0001F600"}), ReadAll(path, true));

    // A byte-order mark is not skipped; a NUL unit ends a line; a lone last byte is dropped.
    WriteFileBytes(path, "\xFF\xFE" + Utf16(L"a") + std::string("\0\0", 2) + Utf16(L"b\r\nc") + "z");
    EXPECT_EQ((Lines{L"\uFEFFa", L"b", L"c"}), ReadAll(path, true));
}

TEST(TextFile, AnsiWriteOfALineAndAnEmptyLine)
{
    CTempDir dir;
    std::wstring path = dir.File(L"w.txt");
    CTextFile out;
    ASSERT_TRUE(out.Open(path, kOpenWrite, false));
    EXPECT_TRUE(out.WriteLine(L"x"));
    EXPECT_TRUE(out.WriteLine(L""));
    EXPECT_TRUE(out.Close());
    EXPECT_EQ("x\r\n\r\n", ReadFileBytes(path));
}

TEST(TextFile, OpenModesAndFailures)
{
    CTempDir dir;
    std::wstring path = dir.File(L"m.txt");
    CTextFile file;
    EXPECT_FALSE(file.Open(path, kOpenRead, false));
    // The system's own reason, as for every failure.
    CLastError missing;
    SetLastError(ERROR_FILE_NOT_FOUND);
    missing.SetErrorFromLastError();
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), file.Error().GetErrorCode());
    EXPECT_EQ(missing.GetErrorText(), file.Error().GetErrorText());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.GetPath().empty());
    EXPECT_FALSE(file.Open(path, kOpenReadWrite, false)) << "ReadWrite needs an existing file";

    // After a failed open the same object still opens a file that exists.
    WriteFileBytes(path, "old content\n");
    ASSERT_TRUE(file.Open(path, 0, false)) << "no mode flag means Read";
    EXPECT_TRUE(file.CanRead());
    EXPECT_FALSE(file.CanWrite());
    EXPECT_EQ(path, file.GetPath());
    EXPECT_EQ(12, file.GetLength());
    EXPECT_FALSE(file.WriteLine(L"refused")) << "not open for writing";

    // Re-opening an open object leaves it usable.
    ASSERT_TRUE(file.Open(path, kOpenWrite | kOpenRead, false)) << "Read wins over Write";
    EXPECT_TRUE(file.CanRead());
    ASSERT_TRUE(file.Open(path, kOpenWrite, false));
    EXPECT_TRUE(file.WriteLine(L"new"));
    file.Close();
    EXPECT_EQ("new\r\n", ReadFileBytes(path)) << "Write empties the file";

    // Reading and writing share one position: a line written after a line read follows it,
    // however far the file was read ahead.
    WriteFileBytes(path, "ab\ncd\r\n" + std::string(100000, 'z'));
    ASSERT_TRUE(file.Open(path, kOpenReadWrite, false));
    std::wstring first;
    ASSERT_TRUE(file.ReadLine(first));
    EXPECT_EQ(L"ab", first);
    EXPECT_TRUE(file.WriteLine(L"XY"));
    EXPECT_TRUE(file.Close());
    const std::string after = ReadFileBytes(path);
    EXPECT_EQ("ab\nXY\r\n", after.substr(0, 7));
    EXPECT_EQ(100007u, after.size());
    EXPECT_EQ(std::string::npos, after.find_first_not_of('z', 7));

    CTextFile closed;
    std::wstring line;
    EXPECT_FALSE(closed.ReadLine(line));
    EXPECT_FALSE(closed.WriteLine(L"x"));
}

// The bytes a read gives are the whole file as it was opened: a file that another program
// lengthens, shortens or rewrites in place while it is read fails the read (the caller reads it
// again) rather than handing out a mix of two contents.
TEST(TextFile, AFileThatChangesWhileItIsReadFailsTheRead)
{
    const std::string content = "first\r\n" + std::string(200000, 'x') + "\r\nlast\r\n";
    for (const char* change : {static_cast<const char*>(nullptr), "longer", "short", "same size"}) {
        CTempDir dir;
        const std::wstring path = dir.File(L"read.txt");
        WriteFileBytes(path, content);
        CTextFile file;
        std::wstring line;
        ASSERT_TRUE(file.Open(path, kOpenRead, false));
        ASSERT_TRUE(file.ReadLine(line));
        if (change != nullptr) {
            std::string changed = std::string(change) == "short" ? content.substr(0, 1000) : content;
            if (std::string(change) == "longer") changed += "appended\r\n";
            if (std::string(change) == "same size") changed[100] = 'y';
            Sleep(20);  // a last-write time of its own
            const HANDLE other = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr);
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(other, changed.data(), static_cast<DWORD>(changed.size()), &written, nullptr));
            ASSERT_TRUE(SetEndOfFile(other));
            CloseHandle(other);
        }
        size_t lines = 0;
        while (file.ReadLine(line)) ++lines;
        EXPECT_EQ(change != nullptr, file.HasError()) << (change != nullptr ? change : "unchanged");
        EXPECT_EQ(change != nullptr ? kFileChangedMeanwhile : 0u, file.Error().GetErrorCode());
        EXPECT_TRUE(change != nullptr || lines == 2u) << lines;
    }
}

TEST(TextFile, WideNamesAndFileExists)
{
    CTempDir dir;
    // Characters no single ANSI code page holds together.
    std::wstring path = dir.File(L"ελληνικά-中文-é.txt");
    {
        CTextFile out(path, kOpenWrite, false);
        ASSERT_TRUE(out.IsOpen());
        out.WriteLine(L"ok");
    }
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ((Lines{L"ok"}), ReadAll(path, false));
    EXPECT_FALSE(FileExists(dir.File(L"missing.txt")));
    EXPECT_FALSE(FileExists(dir.Path())) << "a folder is not a file";
    EXPECT_FALSE(FileExists(dir.Path().substr(0, dir.Path().size() - 1)));
    EXPECT_FALSE(FileExists(L""));
}

TEST(TextFile, BytesWordsAndMark)
{
    CTempDir dir;
    std::wstring path = dir.File(L"b.bin");
    {
        CTextFile out(path, kOpenWrite, true);
        EXPECT_TRUE(out.WriteBom());
        EXPECT_TRUE(out.WriteWord(0x1234));
        EXPECT_TRUE(out.WriteByte(0x7F));
    }
    EXPECT_EQ(std::string("\xFF\xFE\x34\x12\x7F", 5), ReadFileBytes(path));
    CTextFile in(path, kOpenRead, false);
    unsigned char bytes[8] = {};
    EXPECT_EQ(5u, in.ReadBytes(bytes, 8));
    EXPECT_EQ(0x7F, bytes[4]);
    EXPECT_TRUE(in.IsEnd());
    unsigned char b = 0;
    EXPECT_FALSE(in.ReadByte(b));
}

TEST(TextFile, LinesWrittenToAFileForWritingOnlyAllReachIt)
{
    CTempDir dir;
    std::wstring path = dir.File(L"big.txt");
    std::string expected;
    {
        CTextFile out(path, kOpenWrite, false);
        ASSERT_TRUE(out.IsOpen());
        ASSERT_TRUE(out.WriteLine(L"head"));
        expected += "head\r\n";
        // Written lines may wait in memory: a flush, and the length, take them along.
        ASSERT_TRUE(out.Flush());
        EXPECT_EQ(expected, ReadFileBytes(path));
        ASSERT_TRUE(out.WriteLine(L"12345"));
        expected += "12345\r\n";
        EXPECT_EQ(13, out.GetLength());
        // Far more than waits at once, and one line longer than that on its own.
        for (int i = 0; i < 20000; ++i) {
            std::wstring line = L"line " + std::to_wstring(i) + std::wstring(static_cast<size_t>(i % 50), L'.');
            ASSERT_TRUE(out.WriteLine(line));
            expected += std::string(line.begin(), line.end()) + "\r\n";
        }
        ASSERT_TRUE(out.WriteLine(std::wstring(100000, L'w')));
        expected += std::string(100000, 'w') + "\r\n";
        ASSERT_TRUE(out.WriteByte('!'));
        expected += "!";
        // The destructor closes the file without being asked.
    }
    EXPECT_EQ(expected, ReadFileBytes(path));

    // With auto-flush each line is in the file at once.
    CTextFile flushing(path, kOpenWrite, true);
    flushing.SetAutoFlush(true);
    ASSERT_TRUE(flushing.WriteLine(L"u"));
    EXPECT_EQ(std::string("u\0\r\0\n\0", 6), ReadFileBytes(path));
    flushing.Close();

    // Opening another file first finishes the one before; nothing of it reaches the new one.
    std::wstring second = dir.File(L"second.txt");
    CTextFile reused(path, kOpenWrite, false);
    ASSERT_TRUE(reused.WriteLine(L"for the first"));
    ASSERT_TRUE(reused.Open(second, kOpenWrite, false));
    ASSERT_TRUE(reused.WriteLine(L"for the second"));
    EXPECT_TRUE(reused.Close());
    EXPECT_EQ("for the first\r\n", ReadFileBytes(path));
    EXPECT_EQ("for the second\r\n", ReadFileBytes(second));
}

// Every kind of text file the program reads comes through OpenText, in each encoding its kind
// allows: the settings file any (Notepad saves UTF-8, the program UTF-16 without a mark), Opera
// 10 to 12's preferences UTF-8 only, Opera 9's installation defaults the ANSI code page only; a
// mark always wins.
TEST(TextFile, OpenTextReadsEachKindOfFileInTheEncodingsItAllows)
{
    const unsigned settings = kMayBeUtf16 | kMayBeUtf8 | kMayBeAnsi;
    struct Row {
        const char* what;
        unsigned choices;
        std::string bytes;
        TextEncoding encoding;
        bool mark;
    };
    const std::string eAcuteUtf8 = "k=\xC3\xA9\r\nz";  // é in UTF-8; two characters in an ANSI code page
    const Row rows[] = {
        {"settings, UTF-16 with a mark", settings, "\xFF\xFE" + Utf16(L"k=\u00E9\r\nz"), TextEncoding::Utf16, true},
        {"settings, UTF-16 without one", settings, Utf16(L"k=\u00E9\r\nz"), TextEncoding::Utf16, false},
        {"settings, UTF-8 with a mark", settings, "\xEF\xBB\xBF" + eAcuteUtf8, TextEncoding::Utf8, true},
        {"settings, UTF-8 without one", settings, eAcuteUtf8, TextEncoding::Utf8, false},
        {"settings, ANSI", settings, "k=\xE9\xE9\r\nz", TextEncoding::Ansi, false},
        {"settings, plain ASCII", settings, "k=v\r\nz", TextEncoding::Ansi, false},
        {"Opera's preferences, UTF-8", kMayBeUtf8, eAcuteUtf8, TextEncoding::Utf8, false},
        {"Opera's preferences, no UTF-8 at all", kMayBeUtf8, "k=\xE9\r\nz", TextEncoding::Utf8, false},
        {"Opera's preferences, a UTF-16 mark", kMayBeUtf8, "\xFF\xFE" + Utf16(L"k=v"), TextEncoding::Utf16, true},
        {"Opera 9's defaults, ANSI", kMayBeAnsi, eAcuteUtf8, TextEncoding::Ansi, false},
        {"Opera 9's defaults, a UTF-8 mark", kMayBeAnsi, "\xEF\xBB\xBF" + eAcuteUtf8, TextEncoding::Utf8, true},
        {"empty", settings, "", TextEncoding::Ansi, false},
    };
    CTempDir dir;
    const std::wstring path = dir.File(L"kind.ini");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFileBytes(path, row.bytes);
        CTextFile file;
        ASSERT_TRUE(file.OpenText(path, row.choices));
        EXPECT_EQ(row.encoding, file.Encoding());
        EXPECT_EQ(row.mark, file.HadByteOrderMark());
        // The lines are the text after the mark, in that encoding, split by the file's rule.
        std::wstring text;
        DecodeText(row.bytes.substr(row.mark ? (row.encoding == TextEncoding::Utf16 ? 2 : 3) : 0), row.encoding, text);
        Lines expected;
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find(L"\r\n", start), text.size());
            expected.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        Lines lines;
        std::wstring line;
        while (file.ReadLine(line)) lines.push_back(line);
        EXPECT_EQ(expected, lines);
    }
    CTextFile missing;
    EXPECT_FALSE(missing.OpenText(dir.File(L"none.ini"), settings));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), missing.Error().GetErrorCode());
    EXPECT_FALSE(missing.OpenText(L"NUL", settings)) << "only a file on a disk";
}
