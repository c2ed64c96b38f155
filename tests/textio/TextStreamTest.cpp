// The line logic of CTextStream over bytes in memory: the word-at-a-time paths against the
// plain rules, lines read into a CLineList, and written bytes that collect before the sink.

#include "textio/TextStream.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Charset.h"
#include "support/LineList.h"

namespace {

// What the test sources hand out at a time: small, so that lines span refills.
const uint32_t kRefillSize = 256;

using Lines = std::vector<std::wstring>;

// A source handing out bytes one buffer at a time, as CTextFile does, that can fail after a
// number of refills; and a sink that keeps what it is given, each piece apart.
class MemoryStream : public CTextStream {
public:
    explicit MemoryStream(std::string bytes = std::string(), bool unicode = false) : bytes_(std::move(bytes))
    {
        Opened(kModeRead | kModeWrite, unicode);
    }
    bool FillBuffer() override
    {
        if (fills_++ == failAfter_) return Fail(ERROR_READ_FAULT);
        const auto count = static_cast<uint32_t>(bytes_.copy(reinterpret_cast<char*>(buffer_), kRefillSize, taken_));
        taken_ += count;
        Serve(buffer_, count, taken_ >= bytes_.size());
        return count > 0;
    }
    bool WriteRaw(const void* bytes, int32_t count) override
    {
        if (written.size() + static_cast<size_t>(count) > capacity) return Fail(ERROR_DISK_FULL);
        pieces.emplace_back(static_cast<const char*>(bytes), static_cast<size_t>(count));
        written += pieces.back();
        return true;
    }
    using CTextStream::FlushWrites;
    using CTextStream::SetWriteLimit;
    using CTextStream::State;

    int failAfter_ = -1;
    size_t capacity = static_cast<size_t>(-1);
    std::string written;
    std::vector<std::string> pieces;

private:
    std::string bytes_;
    size_t taken_ = 0;
    int fills_ = 0;
    unsigned char buffer_[kRefillSize] = {};
};

// What every reader promises: the lines read, each followed by CR LF, are the bytes with every
// line end (CR LF, a lone CR, a lone LF, or a NUL, which the stream then reports) made CR LF and
// one after an unended last line; no other byte is dropped or changed.
std::string NormalizedEnds(const std::string& bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        if (c == '\r' || c == '\n' || c == '\0') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.compare(out.size() - std::min<size_t>(2, out.size()), 2, "\r\n") != 0) out += "\r\n";
    return out;
}

// Those lines, each converted whole from the ANSI code page.
Lines ExpectedLines(const std::string& bytes)
{
    const std::string normalized = NormalizedEnds(bytes);
    Lines lines;
    for (size_t pos = 0; pos < normalized.size();) {
        const size_t end = normalized.find("\r\n", pos);
        lines.push_back(AnsiToWide(normalized.substr(pos, end - pos)));
        pos = end + 2;
    }
    return lines;
}

Lines ReadStrings(const std::string& bytes)
{
    MemoryStream in(bytes);
    Lines lines;
    std::wstring line;
    while (in.ReadLine(line)) lines.push_back(line);
    return lines;
}

// The list keeps bytes, each line followed by CR LF: all of them, end to end.
std::string ReadList(const std::string& bytes, bool* sawNul = nullptr)
{
    MemoryStream in(bytes);
    CLineList list;
    while (in.ReadLine(list)) {
    }
    if (sawNul != nullptr) *sawNul = in.SawNul();
    return std::string(list.LinesWithEnds(0, list.Count()));
}

// A character of the system code page beyond ASCII: one byte in 1252, two in 936. Neither is
// the character of the same number (the euro sign is 80 in 1252, U+20AC), so a byte taken
// for a character of its own value shows.
std::string NativeBytes() { return GetACP() == 936 ? "\xD6\xD0" : "\x80"; }

std::string Written(const std::wstring& text, bool unicode)
{
    MemoryStream out(std::string(), unicode);
    EXPECT_TRUE(out.WriteLine(text.data(), text.size()));
    return out.written;
}

// The same line written from two parts, split at split.
std::string WrittenInTwo(const std::wstring& text, size_t split, bool unicode)
{
    MemoryStream out(std::string(), unicode);
    bool lossy = false;
    EXPECT_TRUE(out.WriteLineExactly(text.data(), split, text.data() + split, text.size() - split, lossy));
    return out.written;
}

} // namespace

TEST(TextStream, BothReadersFollowThePlainRulesAtEveryPosition)
{
    // Line ends, NUL, tabs and other control bytes, and native characters at every offset of a
    // 32-bit word and across the 256-byte refills, in lines of many lengths.
    const std::string specials[] = {"\n", "\r\n", "\r", std::string(1, '\0'), "\t", "\x01", "\x0D\x0D\n", NativeBytes(),
                                 NativeBytes().substr(0, 1)};
    for (const std::string& special : specials) {
        std::string bytes;
        for (size_t length = 0; length < 300; length += (length < 12 ? 1 : 37)) {
            for (size_t at = 0; at <= length && at < 9; ++at) {
                std::string line(length, 'a' + static_cast<char>(length % 26));
                line.insert(at, special);
                bytes += line + "\r\n";
            }
        }
        bytes += "last line without an end" + special;
        EXPECT_EQ(ExpectedLines(bytes), ReadStrings(bytes)) << static_cast<int>(special[0]);
        bool sawNul = false;
        EXPECT_EQ(NormalizedEnds(bytes), ReadList(bytes, &sawNul)) << static_cast<int>(special[0]);
        EXPECT_EQ(special[0] == '\0', sawNul) << "a NUL is reported, never quietly taken for a line end";
    }

    // A double-byte character split by a refill is decoded whole; a CR LF split by one is one end.
    for (const std::string& end : {std::string("\n"), std::string("\r"), std::string("\r\n")}) {
        std::string split = std::string(kRefillSize - 1, 'x') + NativeBytes() + "y" + end + NativeBytes();
        split += std::string(kRefillSize - 1 - split.size() % kRefillSize, 'z') + end + "w";
        EXPECT_EQ(ExpectedLines(split), ReadStrings(split));
        EXPECT_EQ(NormalizedEnds(split), ReadList(split));
    }
    EXPECT_EQ("", ReadList(""));
}

TEST(TextStream, ReadingIntoALineList)
{
    // Unfinished units a caller left are dropped; lines already in the list stay.
    MemoryStream in("one\ntwo");
    CLineList list;
    list.Append("before");
    list.Space(1)[0] = '?';
    list.Commit(1);
    ASSERT_TRUE(in.ReadLine(list));
    ASSERT_TRUE(in.ReadLine(list));
    EXPECT_FALSE(in.ReadLine(list));
    ASSERT_EQ(3u, list.Count());
    EXPECT_EQ("before", list.Line(0));
    EXPECT_EQ("one", list.Line(1));
    EXPECT_EQ("two", list.Line(2));

    // A read error half-way through a line adds no line, not even part of one.
    MemoryStream failing("whole\n" + std::string(kRefillSize, 'p'));
    failing.failAfter_ = 1;
    CLineList partial;
    ASSERT_TRUE(failing.ReadLine(partial));
    EXPECT_FALSE(failing.ReadLine(partial));
    EXPECT_TRUE(failing.HasError());
    ASSERT_EQ(1u, partial.Count());
    EXPECT_EQ("", partial.Unfinished());

    // UTF-16 files too: the units' bytes, lines ending at CR LF, a lone CR or LF, or a NUL
    // unit; a lone last byte makes no unit. Both are reported.
    struct WideCase {
        std::string bytes;
        std::string lines;  // the units' bytes, each line followed by CR LF units
        bool nul;
        bool odd;
    };
    const std::string crlf("\r\0\n\0", 4);
    const WideCase cases[] = {
        {std::string("a\0\r\0\n\0\xFF\xFE", 8), std::string("a\0", 2) + crlf + "\xFF\xFE" + crlf, false, false},
        {std::string("a\0\r\0b\0\n\0\r\0", 10), std::string("a\0", 2) + crlf + std::string("b\0", 2) + crlf + crlf,
         false, false},
        {std::string("\r\0\r\0\n\0", 6), crlf + crlf, false, false},
        {std::string("a\0\0\0b\0", 6), std::string("a\0", 2) + crlf + std::string("b\0", 2) + crlf, true, false},
        {std::string("a\0b", 3), std::string("a\0", 2) + crlf, false, true},
    };
    for (const WideCase& c : cases) {
        MemoryStream wide(c.bytes, true);
        CLineList units;
        units.SetLineEnd(crlf);
        while (wide.ReadLine(units)) {
        }
        EXPECT_EQ(c.lines, units.LinesWithEnds(0, units.Count()));
        EXPECT_EQ(c.nul, wide.SawNul());
        EXPECT_EQ(c.odd, wide.SawOddByte());
    }
}

TEST(TextStream, ByteOrderMarksAndUtf8)
{
    // A mark is taken from the start and sets the encoding; anything else stays to be read.
    struct Case {
        std::string bytes;
        bool marked;
        TextEncoding encoding;
        std::wstring firstLine;
    };
    const Case cases[] = {
        {"\xFF\xFE" + std::string("a\0\n\0", 4), true, TextEncoding::Utf16, L"a"},
        {"\xEF\xBB\xBF\xE4\xB8\xAD\n", true, TextEncoding::Utf8, L"\u4E2D"},
        {"\xEF\xBB\xBF", true, TextEncoding::Utf8, L""},
        {"\xEF\xBBx\n", false, TextEncoding::Ansi, AnsiToWide("\xEF\xBBx")},
        {"\xFE\xFFz", false, TextEncoding::Ansi, AnsiToWide("\xFE\xFFz")},
        {"\xFF", false, TextEncoding::Ansi, AnsiToWide("\xFF")},
        {"", false, TextEncoding::Ansi, L""},
    };
    for (const Case& c : cases) {
        MemoryStream in(c.bytes);
        TextEncoding found = TextEncoding::Ansi;
        EXPECT_EQ(c.marked, in.ReadByteOrderMark(found)) << c.bytes;
        EXPECT_EQ(c.encoding, in.Encoding()) << c.bytes;
        std::wstring line;
        in.ReadLine(line);
        EXPECT_EQ(c.firstLine, line) << c.bytes;
    }

    // In UTF-8 a line is read and written through UTF-8, whatever the ANSI code page.
    MemoryStream utf8("\xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9\n");
    utf8.SetEncoding(TextEncoding::Utf8);
    std::wstring line;
    ASSERT_TRUE(utf8.ReadLine(line));
    EXPECT_EQ(L"\u4E2D\u6587 caf\u00E9", line);
    ASSERT_TRUE(utf8.WriteLine(line));
    bool lossy = false;
    ASSERT_TRUE(utf8.WriteLineExactly(L"x", 1, L"\u00E9", 1, lossy));
    EXPECT_EQ("\xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9\r\nx\xC3\xA9\r\n", utf8.written);
}

TEST(TextStream, WritingUnitsFromABuffer)
{
    // Only the given units are written, not up to a terminating zero.
    const std::wstring buffer = L"abcdefgh";
    MemoryStream out;
    ASSERT_TRUE(out.WriteLine(buffer.data() + 2, 3));
    ASSERT_TRUE(out.WriteLine(buffer.data(), 0));
    EXPECT_EQ("cde\r\n\r\n", out.written);

    // ANSI bytes go out as they are, also a zero byte; to UTF-16 they are converted, up to it.
    const std::string bytes("a\0b", 3);
    MemoryStream narrow;
    ASSERT_TRUE(narrow.WriteLine(bytes.data(), bytes.size()));
    EXPECT_EQ(std::string("a\0b\r\n", 5), narrow.written);
    MemoryStream wide(std::string(), true);
    ASSERT_TRUE(wide.WriteLine(NativeBytes().data(), NativeBytes().size()));
    const wchar_t native0 = AnsiToWide(NativeBytes())[0];
    EXPECT_EQ((std::string{static_cast<char>(native0 & 0xFF), static_cast<char>(native0 >> 8), '\r', '\0', '\n', '\0'}),
              wide.written);

    // Against the system's conversion, with a native character or a zero unit at every offset:
    // in ANSI the line ends at its first zero unit, in UTF-16 it is kept.
    const std::wstring native = AnsiToWide(NativeBytes());
    for (size_t length = 0; length < 20; ++length) {
        for (size_t at = 0; at <= length; ++at) {
            for (const std::wstring& special : {native, std::wstring(1, L'\0'), std::wstring(L"\x7F")}) {
                std::wstring text(length, L'k');
                text.insert(at, special);
                const std::string ansi = WideToAnsi(text) + "\r\n";
                EXPECT_EQ(ansi, Written(text, false)) << length << " " << at;
                std::string units;
                for (wchar_t c : text + L"\r\n") units += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
                EXPECT_EQ(units, Written(text, true)) << length << " " << at;
                // Two parts make the line the two joined would, wherever they meet (in ANSI a
                // written zero unit would end the line, so the exact write does not take one).
                for (size_t split = 0; split <= text.size() && special[0] != 0; split += 3) {
                    EXPECT_EQ(ansi, WrittenInTwo(text, split, false)) << length << " " << at << " " << split;
                    EXPECT_EQ(units, WrittenInTwo(text, split, true)) << length << " " << at << " " << split;
                }
            }
        }
    }
}

TEST(TextStream, CollectedWritesReachTheSinkInOrder)
{
    MemoryStream out;
    out.SetWriteLimit(64);
    ASSERT_TRUE(out.WriteLine(L"first"));
    ASSERT_TRUE(out.WriteByte('b'));
    ASSERT_TRUE(out.WriteWord(0x4241));
    ASSERT_TRUE(out.WriteLine(std::string("narrow")));
    EXPECT_TRUE(out.pieces.empty()) << "below the limit nothing goes out yet";
    const std::wstring longer(100, L'L');
    ASSERT_TRUE(out.WriteLine(longer));
    ASSERT_TRUE(out.WriteLine(L"after"));
    ASSERT_TRUE(out.FlushWrites());
    // What waited goes out before a line that would pass the limit; a line that reaches the
    // limit goes out at once.
    EXPECT_EQ((std::vector<std::string>{"first\r\nbABnarrow\r\n", std::string(100, 'L') + "\r\n", "after\r\n"}),
              out.pieces);
    EXPECT_TRUE(out.FlushWrites()) << "nothing left to hand over";
    EXPECT_EQ(3u, out.pieces.size());

    // A sink that fails when the collected bytes reach it: the write that hands them over
    // fails, the error sticks, and nothing more is taken.
    MemoryStream full;
    full.SetWriteLimit(16);
    full.capacity = 5;
    EXPECT_TRUE(full.WriteLine(L"12345"));
    EXPECT_FALSE(full.WriteLine(L"67890abcdef"));
    EXPECT_TRUE(full.HasError());
    EXPECT_FALSE(full.WriteLine(L"x"));
    EXPECT_TRUE(full.FlushWrites());
    EXPECT_EQ("", full.written);

    // Without a limit every line goes out at once, in one piece with its line end.
    MemoryStream direct;
    ASSERT_TRUE(direct.WriteLine(L"a"));
    ASSERT_TRUE(direct.WriteLine(std::string("b")));
    EXPECT_EQ((std::vector<std::string>{"a\r\n", "b\r\n"}), direct.pieces);
}

TEST(TextStream, WritingBytesAsTheyAre)
{
    // Bytes of every value go out unchanged, after what waits and in order; a run that reaches
    // the limit goes to the sink in one piece of its own.
    const std::string small("a\0\r\xFF", 4);
    const std::string run(40, '\x80');
    MemoryStream out;
    out.SetWriteLimit(16);
    ASSERT_TRUE(out.WriteLine(L"x"));
    ASSERT_TRUE(out.WriteBytes(small.data(), small.size()));
    ASSERT_TRUE(out.WriteBytes(run.data(), 0));
    ASSERT_TRUE(out.WriteBytes(run.data(), run.size()));
    ASSERT_TRUE(out.WriteBytes(small.data(), small.size()));
    ASSERT_TRUE(out.FlushWrites());
    EXPECT_EQ((std::vector<std::string>{"x\r\n" + small, run, small}), out.pieces);

    // A sink that fails fails the call, and nothing more is written.
    MemoryStream full;
    full.capacity = 8;
    EXPECT_FALSE(full.WriteBytes(run.data(), run.size()));
    EXPECT_TRUE(full.HasError());
    EXPECT_FALSE(full.WriteBytes(small.data(), small.size()));
    EXPECT_EQ("", full.written);
}
