#include "textio/TextStream.h"

#include <cstring>
#include <vector>

#include "support/Charset.h"

CTextStream::CTextStream() : state_(new TextStreamState()) {}

CTextStream::~CTextStream() = default;

void CTextStream::ResetState()
{
    TextStreamState& s = *state_;
    s.count = 0;
    s.pos = 0;
    s.lineEnd = 0;
    s.error = false;
    s.eof = false;
    s.unicode = false;
}

bool CTextStream::EnsureByte()
{
    TextStreamState& s = *state_;
    if (s.pos < s.count) return true;
    if (s.error || !FillBuffer()) return false;
    s.pos = 0;
    return s.pos < s.count;
}

uint32_t CTextStream::ReadBytes(void* destination, uint32_t count)
{
    TextStreamState& s = *state_;
    if (IsEnd() || s.error || !CanRead()) return 0;
    unsigned char* out = static_cast<unsigned char*>(destination);
    uint32_t copied = 0;
    while (copied < count) {
        if (!EnsureByte()) return copied;
        uint32_t run = s.count - s.pos;
        if (run > count - copied) run = count - copied;
        std::memcpy(out + copied, s.buffer + s.pos, run);
        s.pos += run;
        copied += run;
    }
    return copied;
}

bool CTextStream::ReadByte(unsigned char& byte)
{
    return ReadBytes(&byte, 1) == 1;
}

CTextStream::ReadResult CTextStream::ReadAnsiUnits(std::string& bytes)
{
    TextStreamState& s = *state_;
    bool any = false;
    for (;;) {
        if (!EnsureByte()) {
            if (s.error) return ReadResult::Failed;
            return any ? ReadResult::Line : ReadResult::Nothing;
        }
        any = true;
        // Take the run of ordinary bytes in one step, then look at the byte that stopped it.
        const unsigned char* start = s.buffer + s.pos;
        const unsigned char* end = s.buffer + s.count;
        const unsigned char* p = start;
        while (p < end && *p != '\n' && *p != '\r' && *p != 0) ++p;
        bytes.append(reinterpret_cast<const char*>(start), static_cast<size_t>(p - start));
        s.pos += static_cast<uint32_t>(p - start);
        if (p == end) continue;
        ++s.pos;
        if (*p != '\r') return ReadResult::Line;  // LF or NUL ends the line; CR is dropped
    }
}

CTextStream::ReadResult CTextStream::ReadUnicodeUnits(std::wstring& units)
{
    TextStreamState& s = *state_;
    bool any = false;
    for (;;) {
        unsigned char pair[2];
        uint32_t got = ReadBytes(pair, 2);
        if (got < 2) {
            // A lone last byte of an odd-sized file is dropped.
            if (s.error) return ReadResult::Failed;
            return any ? ReadResult::Line : ReadResult::Nothing;
        }
        any = true;
        wchar_t unit = static_cast<wchar_t>(pair[0] | (pair[1] << 8));
        if (unit == L'\n' || unit == 0) return ReadResult::Line;
        if (unit != L'\r') units.push_back(unit);
    }
}

bool CTextStream::ReadLine(std::wstring& line)
{
    line.clear();
    if (IsEnd() || state_->error || !CanRead()) return false;
    if (state_->unicode) return ReadUnicodeUnits(line) == ReadResult::Line;
    narrowScratch_.clear();
    if (ReadAnsiUnits(narrowScratch_) != ReadResult::Line) return false;
    // Most lines are plain ASCII, which every ANSI code page maps to itself.
    const std::string& bytes = narrowScratch_;
    unsigned char high = 0;
    for (char c : bytes) high |= static_cast<unsigned char>(c);
    if (high < 0x80) {
        line.resize(bytes.size());
        for (size_t i = 0; i < bytes.size(); ++i) line[i] = static_cast<wchar_t>(bytes[i]);
    } else {
        AnsiToWideInto(bytes, line);
    }
    return true;
}

bool CTextStream::ReadLine(std::string& line)
{
    line.clear();
    if (IsEnd() || state_->error || !CanRead()) return false;
    if (!state_->unicode) return ReadAnsiUnits(line) == ReadResult::Line;
    std::wstring units;
    if (ReadUnicodeUnits(units) != ReadResult::Line) return false;
    line = WideToAnsi(units);
    return true;
}

bool CTextStream::WriteUnits(const void* bytes, size_t count)
{
    if (count == 0) return true;
    return WriteRaw(bytes, static_cast<int32_t>(count));
}

bool CTextStream::WriteLineEnd()
{
    TextStreamState& s = *state_;
    if (s.unicode) {
        static const unsigned char crlf[4] = {0x0D, 0x00, 0x0A, 0x00};
        return s.lineEnd == 1 ? WriteRaw(crlf, 4) : WriteRaw(crlf + 2, 2);
    }
    static const char crlf[2] = {'\r', '\n'};
    return s.lineEnd == 1 ? WriteRaw(crlf, 2) : WriteRaw(crlf + 1, 1);
}

bool CTextStream::WriteLine(const std::wstring& text)
{
    TextStreamState& s = *state_;
    if (s.error || !CanWrite()) return false;
    // The text and its line end go to the sink in one piece.
    std::string& bytes = writeScratch_;
    if (s.unicode) {
        bytes.clear();
        for (wchar_t unit : text) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
        }
        if (s.lineEnd == 1) bytes.append("\r\0", 2);
        bytes.append("\n\0", 2);
    } else {
        WideToAnsiInto(text, bytes);
        if (s.lineEnd == 1) bytes.push_back('\r');
        bytes.push_back('\n');
    }
    return WriteUnits(bytes.data(), bytes.size()) && !s.error;
}

bool CTextStream::WriteLine(const std::string& text)
{
    TextStreamState& s = *state_;
    if (s.error || !CanWrite()) return false;
    if (s.unicode) return WriteLine(AnsiToWide(text));
    if (!WriteUnits(text.data(), text.size())) return false;
    return WriteLineEnd() && !s.error;
}

bool CTextStream::WriteByte(unsigned char byte)
{
    if (state_->error || !CanWrite()) return false;
    return WriteRaw(&byte, 1);
}

bool CTextStream::WriteWord(uint16_t word)
{
    if (state_->error || !CanWrite()) return false;
    unsigned char bytes[2] = {static_cast<unsigned char>(word & 0xFF), static_cast<unsigned char>(word >> 8)};
    return WriteRaw(bytes, 2);
}

bool CTextStream::WriteBom()
{
    if (!WriteByte(0xFF)) return false;
    WriteByte(0xFE);
    return true;
}
