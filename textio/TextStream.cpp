#include "textio/TextStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "support/Charset.h"
#include "support/LineList.h"
#include "support/Utf8Check.h"
#include "textio/FileUtil.h"

namespace {

// Takes the runs of ReadAnsiRuns into a string, as bytes (char) or widened (wchar_t): each run
// is collected on the stack, then appended in one step.
template <typename Char>
class StringUnits {
public:
    using Unit = Char;
    static constexpr size_t kMostPerRun = 256;
    explicit StringUnits(std::basic_string<Char>& text) : text_(text) {}
    Char* Space(size_t) { return run_; }
    void Commit(size_t count) { text_.append(run_, count); }

private:
    std::basic_string<Char>& text_;
    Char run_[kMostPerRun];
};

// Takes the runs of ReadAnsiRuns into a line list as bytes, in place. A run asks the list for
// no more room than this: a list given the room of the whole file would otherwise grow for room
// that a long refill seems to need near the file's end and the lines never take.
class ListUnits {
public:
    using Unit = char;
    static constexpr size_t kMostPerRun = 4096;
    explicit ListUnits(CLineList& lines) : lines_(lines) {}
    char* Space(size_t count) { return lines_.Space(count); }
    void Commit(size_t count) { lines_.Commit(count); }

private:
    CLineList& lines_;
};

static_assert(sizeof(wchar_t) == 2, "text is UTF-16, as on Windows");

// Reading and writing a large script spends most of its time on the plain-ASCII runs of its
// lines, so those are taken eight bytes or units at a time, in 64-bit words. Windows is
// little-endian: the first unit, or byte, of a word is its low part.

// True when one of the eight bytes of x is below 0x0E, which covers LF, CR and NUL.
bool HasByteBelow0E(uint64_t x)
{
    return ((x - 0x0E0E0E0E0E0E0E0Eull) & ~x & 0x8080808080808080ull) != 0;
}

// Copies the leading units of text that are in 1..7F, the same bytes in every ANSI code page,
// to bytes; returns how many.
size_t NarrowAscii(const wchar_t* text, size_t length, char* bytes)
{
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t first;
        uint64_t second;
        std::memcpy(&first, text + i, 8);
        std::memcpy(&second, text + i + 4, 8);
        // A unit above 7F sets one of the bits masked first; a zero unit borrows in the
        // subtraction and sets its own top bit.
        const uint64_t notAscii = 0xFF80FF80FF80FF80ull;
        const uint64_t ones = 0x0001000100010001ull;
        const uint64_t tops = 0x8000800080008000ull;
        if (((first | second) & notAscii) != 0) break;
        if ((((first - ones) | (second - ones)) & tops) != 0) break;
        // Each unit's low byte, four units to a word: the units are below 80, so nothing of the
        // high bytes gets in the way.
        const uint64_t firstPacked = first | (first >> 8);
        const uint64_t secondPacked = second | (second >> 8);
        const uint32_t firstFour = static_cast<uint32_t>((firstPacked & 0xFFFFu) | ((firstPacked >> 16) & 0xFFFF0000u));
        const uint32_t secondFour =
            static_cast<uint32_t>((secondPacked & 0xFFFFu) | ((secondPacked >> 16) & 0xFFFF0000u));
        std::memcpy(bytes + i, &firstFour, 4);
        std::memcpy(bytes + i + 4, &secondFour, 4);
    }
    for (; i < length; ++i) {
        const wchar_t unit = text[i];
        if (unit == 0 || unit > 0x7F) break;
        bytes[i] = static_cast<char>(unit);
    }
    return i;
}

// A line's units, widened byte by byte, back to the bytes they came from.
void NarrowWidened(const wchar_t* units, size_t count, std::string& bytes)
{
    bytes.resize(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(units[i]);
}

} // namespace

CTextStream::CTextStream() : state_(new TextStreamState()) {}

CTextStream::~CTextStream() = default;

void CTextStream::Opened(uint32_t mode, bool unicode)
{
    state_->mode = mode;
    state_->unicode = unicode;
    state_->lineEnd = 1;
}

void CTextStream::Serve(unsigned char* bytes, uint32_t count, bool last)
{
    state_->buffer = bytes;
    state_->count = count;
    state_->pos = 0;
    if (last) state_->eof = true;
}

void CTextStream::ForgetReadAhead()
{
    state_->count = 0;
    state_->pos = 0;
    state_->eof = false;
}

bool CTextStream::Fail(DWORD code)
{
    Error().SetErrorFromCode(code);
    return FailWithReasonKept();
}

bool CTextStream::FailWithReasonKept()
{
    state_->error = true;
    return false;
}

void CTextStream::ResetState()
{
    // Everything but what the derived class set up: its mode and its buffer.
    TextStreamState fresh;
    fresh.mode = state_->mode;
    fresh.buffer = state_->buffer;
    *state_ = fresh;
}

void CTextStream::SetEncoding(TextEncoding encoding)
{
    state_->unicode = encoding == TextEncoding::Utf16;
    state_->utf8 = encoding == TextEncoding::Utf8;
}

TextEncoding CTextStream::Encoding() const
{
    if (state_->unicode) return TextEncoding::Utf16;
    return state_->utf8 ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

bool CTextStream::ReadByteOrderMark(TextEncoding& encoding)
{
    TextStreamState& s = *state_;
    if (!Readable() || !EnsureByte()) return false;
    const std::string_view available(reinterpret_cast<const char*>(s.buffer + s.pos), s.count - s.pos);
    for (TextEncoding marked : {TextEncoding::Utf16, TextEncoding::Utf8}) {
        const std::string_view mark = MarkOf(marked);
        if (available.substr(0, mark.size()) != mark) continue;
        s.pos += static_cast<uint32_t>(mark.size());
        encoding = marked;
        SetEncoding(encoding);
        return true;
    }
    return false;
}

bool CTextStream::NextBytesAre(std::string_view bytes)
{
    TextStreamState& s = *state_;
    if (!Readable() || !EnsureByte()) return false;
    return s.count - s.pos >= bytes.size() && std::memcmp(s.buffer + s.pos, bytes.data(), bytes.size()) == 0;
}

bool CTextStream::EnsureByte()
{
    TextStreamState& s = *state_;
    if (s.pos < s.count) return true;
    if (s.error || !FillBuffer()) return false;
    if (byteWatcher_ != nullptr) byteWatcher_->Feed(s.buffer, s.count);
    return s.pos < s.count;
}

uint32_t CTextStream::ReadBytes(void* destination, uint32_t count)
{
    TextStreamState& s = *state_;
    if (!Readable()) return 0;
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

template <typename Units>
CTextStream::ReadResult CTextStream::ReadAnsiRuns(Units& units, bool& nonAscii)
{
    using Unit = typename Units::Unit;
    TextStreamState& s = *state_;
    SkipLfAfterCr();
    bool any = false;
    for (;;) {
        if (!EnsureByte()) {
            if (s.error) return ReadResult::Failed;
            return any ? ReadResult::Line : ReadResult::Nothing;
        }
        any = true;
        // Take the run of ordinary bytes in one step, copying or widening it on the way, then
        // look at the byte that stopped it: LF, CR or NUL, which ends the line.
        const unsigned char* start = s.buffer + s.pos;
        const unsigned char* end = start + std::min<size_t>(s.count - s.pos, Units::kMostPerRun);
        Unit* out = units.Space(static_cast<size_t>(end - start));
        const unsigned char* p = start;
        uint64_t bits = 0;  // every byte ORed in; a local, so that it stays in a register
        while (p < end) {
            if (end - p >= 8) {
                uint64_t eight;
                std::memcpy(&eight, p, 8);
                if (!HasByteBelow0E(eight)) {
                    bits |= eight;
                    if constexpr (sizeof(Unit) == 1) {
                        std::memcpy(out, &eight, 8);
                    } else {
                        for (int i = 0; i < 8; ++i) out[i] = static_cast<Unit>((eight >> (8 * i)) & 0xFFu);
                    }
                    out += 8;
                    p += 8;
                    continue;
                }
            }
            // One byte at a time where a line break, NUL or another control byte is near.
            const unsigned char byte = *p;
            if (EndsFileLine(byte)) break;
            bits |= byte;
            *out++ = static_cast<Unit>(byte);
            ++p;
        }
        if ((bits & 0x8080808080808080ull) != 0) nonAscii = true;
        units.Commit(static_cast<size_t>(p - start));
        s.pos += static_cast<uint32_t>(p - start);
        if (p == end) continue;
        ++s.pos;
        if (*p == '\r') s.crEnded = true;
        if (*p == 0) s.nulSeen = true;
        return ReadResult::Line;
    }
}

void CTextStream::SkipLfAfterCr()
{
    TextStreamState& s = *state_;
    if (!s.crEnded) return;
    s.crEnded = false;
    if (EnsureByte() && s.buffer[s.pos] == '\n') ++s.pos;
}

CTextStream::ReadResult CTextStream::ReadUnicodeUnits(std::wstring& units)
{
    TextStreamState& s = *state_;
    bool any = false;
    for (;;) {
        unsigned char pair[2];
        uint32_t got = ReadBytes(pair, 2);
        if (got < 2) {
            // A lone last byte of an odd-sized file makes no unit; the caller can tell.
            if (got == 1) s.oddByte = true;
            if (s.error) return ReadResult::Failed;
            return any ? ReadResult::Line : ReadResult::Nothing;
        }
        const wchar_t unit = static_cast<wchar_t>(pair[0] | (pair[1] << 8));
        if (s.crEnded) {
            s.crEnded = false;
            if (unit == L'\n') continue;
        }
        any = true;
        if (EndsFileLine(unit)) {
            s.crEnded = unit == L'\r';
            s.nulSeen = s.nulSeen || unit == 0;
            return ReadResult::Line;
        }
        units.push_back(unit);
    }
}

bool CTextStream::ReadLine(std::wstring& line)
{
    line.clear();
    if (!Readable()) return false;
    if (state_->unicode) return ReadUnicodeUnits(line) == ReadResult::Line;
    // Most lines are plain ASCII, which every ANSI code page and UTF-8 map to themselves, so
    // bytes are widened as they leave the buffer. That widening loses nothing: a line with other
    // bytes is narrowed back and converted whole, as a character may span refills.
    bool nonAscii = false;
    StringUnits<wchar_t> units(line);
    if (ReadAnsiRuns(units, nonAscii) != ReadResult::Line) {
        line.clear();
        return false;
    }
    if (nonAscii) {
        NarrowWidened(line.data(), line.size(), narrowScratch_);
        DecodeText(narrowScratch_, Encoding(), line);
    }
    return true;
}

bool CTextStream::ReadLine(CLineList& lines)
{
    lines.DiscardUnfinished();
    if (!Readable()) return false;
    if (state_->unicode) {
        if (!ReadLine(wideScratch_)) return false;
        // Windows is little-endian: the units in memory are the bytes of the file.
        const size_t count = wideScratch_.size() * sizeof(wchar_t);
        if (count > 0) std::memcpy(lines.Space(count), wideScratch_.data(), count);
        lines.Commit(count);
        lines.EndLine();
        return true;
    }
    bool nonAscii = false;
    ListUnits units(lines);
    if (ReadAnsiRuns(units, nonAscii) != ReadResult::Line) {
        lines.DiscardUnfinished();
        return false;
    }
    lines.EndLine();
    return true;
}

bool CTextStream::ReadLine(std::string& line)
{
    line.clear();
    if (!Readable()) return false;
    if (!state_->unicode) {
        bool nonAscii = false;  // bytes are taken as they are
        StringUnits<char> units(line);
        return ReadAnsiRuns(units, nonAscii) == ReadResult::Line;
    }
    std::wstring units;
    if (ReadUnicodeUnits(units) != ReadResult::Line) return false;
    line = WideToAnsi(units);
    return true;
}

char* CTextStream::WriteRoom(size_t count)
{
    // Bytes already waiting go out first when the new ones would take them past the limit.
    if (pending_ > 0 && pending_ + count > writeLimit_ && !FlushWrites()) return nullptr;
    if (writeScratch_.size() < pending_ + count) writeScratch_.resize(pending_ + count);
    return &writeScratch_[pending_];
}

bool CTextStream::CommitWrite(size_t count)
{
    pending_ += count;
    return (pending_ < writeLimit_ || FlushWrites()) && !state_->error;
}

bool CTextStream::FlushWrites()
{
    if (pending_ == 0) return true;
    const size_t count = pending_;
    pending_ = 0;
    return WriteRaw(writeScratch_.data(), static_cast<int32_t>(count));
}

bool CTextStream::WriteLine(const wchar_t* text, size_t length)
{
    TextStreamState& s = *state_;
    if (!Writable()) return false;
    // The text and its line end are built in place after the bytes already waiting, and go to
    // the sink in one piece.
    char* bytes;
    size_t count = 0;
    if (s.unicode) {
        bytes = WriteRoom(2 * length + 4);
        if (bytes == nullptr) return false;
        for (size_t i = 0; i < length; ++i) {
            bytes[count++] = static_cast<char>(text[i] & 0xFF);
            bytes[count++] = static_cast<char>((text[i] >> 8) & 0xFF);
        }
        if (s.lineEnd == 1) {
            bytes[count++] = '\r';
            bytes[count++] = '\0';
        }
        bytes[count++] = '\n';
        bytes[count++] = '\0';
    } else {
        // ASCII is the same in every ANSI code page. Like the system conversion, the text ends
        // at its first zero unit.
        bytes = WriteRoom(length + 2);
        if (bytes == nullptr) return false;
        count = NarrowAscii(text, length, bytes);
        if (count < length && text[count] != 0) {
            EncodeText(std::wstring(text, length), Encoding(), narrowScratch_);
            bytes = WriteRoom(narrowScratch_.size() + 2);
            if (bytes == nullptr) return false;
            count = narrowScratch_.copy(bytes, narrowScratch_.size());
        }
        if (s.lineEnd == 1) bytes[count++] = '\r';
        bytes[count++] = '\n';
    }
    return CommitWrite(count);
}

CTextStream::AsciiWrite CTextStream::WriteAsciiParts(const wchar_t* first, size_t firstLength, const wchar_t* second,
                                                      size_t secondLength)
{
    char* bytes = WriteRoom(firstLength + secondLength + 2);
    if (bytes == nullptr) return AsciiWrite::Failed;
    size_t count = NarrowAscii(first, firstLength, bytes);
    if (count != firstLength) return AsciiWrite::NotAscii;
    const size_t more = NarrowAscii(second, secondLength, bytes + count);
    if (more != secondLength) return AsciiWrite::NotAscii;
    count += more;
    if (state_->lineEnd == 1) bytes[count++] = '\r';
    bytes[count++] = '\n';
    return CommitWrite(count) ? AsciiWrite::Written : AsciiWrite::Failed;
}

bool CTextStream::WriteLineExactly(const wchar_t* first, size_t firstLength, const wchar_t* second,
                                   size_t secondLength, bool& lossy)
{
    TextStreamState& s = *state_;
    if (!Writable()) return false;
    // Plain ASCII, as nearly every pattern line is, is the same bytes in every encoding.
    if (!s.unicode) {
        const AsciiWrite ascii = WriteAsciiParts(first, firstLength, second, secondLength);
        if (ascii != AsciiWrite::NotAscii) return ascii == AsciiWrite::Written;
    }
    wideScratch_.assign(first, firstLength).append(second, secondLength);
    if (s.unicode) return WriteLine(wideScratch_);
    if (!EncodeTextExactly(wideScratch_, Encoding(), narrowScratch_)) {
        lossy = true;
        return false;
    }
    return WriteLine(narrowScratch_.data(), narrowScratch_.size());
}

bool CTextStream::WriteLine(const char* text, size_t length)
{
    TextStreamState& s = *state_;
    if (!Writable()) return false;
    if (s.unicode) return WriteLine(AnsiToWide(std::string(text, length)));
    char* bytes = WriteRoom(length + 2);
    if (bytes == nullptr) return false;
    if (length > 0) std::memcpy(bytes, text, length);
    size_t count = length;
    if (s.lineEnd == 1) bytes[count++] = '\r';
    bytes[count++] = '\n';
    return CommitWrite(count);
}

bool CTextStream::WriteBytes(const char* bytes, size_t count)
{
    TextStreamState& s = *state_;
    if (!Writable()) return false;
    if (count == 0) return true;
    // A long run skips the bytes waiting here: they go first, then the run straight from where
    // it is.
    if (count >= writeLimit_) {
        if (!FlushWrites()) return false;
        for (size_t done = 0; done < count;) {
            const size_t piece = std::min(count - done, kMostBytesPerCall);
            if (!WriteRaw(bytes + done, static_cast<int32_t>(piece)) || s.error) return false;
            done += piece;
        }
        return true;
    }
    char* room = WriteRoom(count);
    if (room == nullptr) return false;
    std::memcpy(room, bytes, count);
    return CommitWrite(count);
}

bool CTextStream::WriteByte(unsigned char byte)
{
    return WriteBytes(reinterpret_cast<const char*>(&byte), 1);
}

bool CTextStream::WriteWord(uint16_t word)
{
    const char bytes[2] = {static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)};
    return WriteBytes(bytes, 2);
}

bool CTextStream::WriteBom()
{
    return WriteBytes(kUtf16Mark.data(), kUtf16Mark.size());
}
