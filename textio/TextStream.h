#pragma once
// Line-oriented reading and writing over a byte source and sink that a derived class supplies.
// A line ends at CR LF, at a lone LF or at a lone CR (as in JavaScript), or at a NUL unit, which
// the stream remembers; no other byte of a line is dropped. Written lines end in CR LF.
// Text is either 8-bit, in the system ANSI code page or in UTF-8, or UTF-16 little-endian.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/LastError.h"
#include "support/TextEncoding.h"

class CLineList;

struct TextStreamState {
    bool unicode = false;   // UTF-16 LE code units rather than 8-bit text
    bool utf8 = false;      // 8-bit text is UTF-8 rather than the ANSI code page
    int32_t lineEnd = 0;    // 1: CR LF; anything else: LF alone
    bool error = false;     // sticky: once set, every read and write is refused
    bool eof = false;       // the byte source reported its end during a refill
    bool crEnded = false;   // the last line ended at a CR: an LF right after it is part of that end
    bool nulSeen = false;   // a NUL unit ended a line
    bool oddByte = false;   // UTF-16 text ended in a lone byte, which was dropped
    uint32_t mode = 0;      // kModeRead | kModeWrite
    unsigned char* buffer = nullptr;  // the read buffer: what the last refill gave
    uint32_t count = 0;     // valid bytes in buffer
    uint32_t pos = 0;       // next byte to hand out
};

class CTextStream {
public:
    static const uint32_t kModeRead = 1;
    static const uint32_t kModeWrite = 4;

    CTextStream();
    virtual ~CTextStream();
    CTextStream(const CTextStream&) = delete;
    CTextStream& operator=(const CTextStream&) = delete;

    // Refills the read buffer through Serve; true when at least one byte came.
    virtual bool FillBuffer() { return false; }
    virtual bool WriteRaw(const void* bytes, int32_t count)
    {
        (void)bytes;
        (void)count;
        return false;
    }

    // The encoding of the text; Open sets ANSI or UTF-16 by the caller's flag.
    void SetEncoding(TextEncoding encoding);
    TextEncoding Encoding() const;
    // At the start of a source: skips a byte-order mark (FF FE: UTF-16 LE; EF BB BF: UTF-8), sets
    // its encoding and returns true. The mark must arrive with the first refill, as from a file.
    bool ReadByteOrderMark(TextEncoding& encoding);
    // Looks ahead, taking nothing; like a mark, the bytes must arrive with one refill.
    bool NextBytesAre(std::string_view bytes);
    // Every byte taken from now on is also shown to watcher (null: none), to tell whether it is UTF-8.
    void WatchBytes(CUtf8Check* watcher) { byteWatcher_ = watcher; }
    // Whether a NUL unit was met, and whether UTF-16 text ended in a lone byte: what no line
    // read shows, and a file written back from the lines would lose.
    bool SawNul() const { return state_->nulSeen; }
    bool SawOddByte() const { return state_->oddByte; }

    bool ReadLine(std::wstring& line);
    // As above, adding the line to lines as the bytes it was read as (two per unit in UTF-16), built
    // in place (unfinished bytes dropped first). False, and no line added, where the above is false.
    bool ReadLine(CLineList& lines);
    bool ReadLine(std::string& line);
    bool WriteLine(const std::wstring& text) { return WriteLine(text.data(), text.size()); }
    // text need not end in a zero unit: lines kept end to end are written without a copy.
    bool WriteLine(const wchar_t* text, size_t length);
    // ANSI bytes: written as they are, or converted from the ANSI code page in UTF-16 mode.
    bool WriteLine(const std::string& text) { return WriteLine(text.data(), text.size()); }
    bool WriteLine(const char* text, size_t length);
    // Writes the line made of two parts, as WriteLine of the two joined would (a line with a fixed
    // start needs no string of its own), only when the text has exactly these characters in the
    // stream's encoding. Otherwise sets lossy, writes nothing and returns false, the stream usable.
    bool WriteLineExactly(const wchar_t* first, size_t firstLength, const wchar_t* second, size_t secondLength,
                          bool& lossy);
    // No line end is added: for runs of lines kept as the bytes they were read as.
    bool WriteBytes(const char* bytes, size_t count);

    uint32_t ReadBytes(void* destination, uint32_t count);
    bool ReadByte(unsigned char& byte);
    bool WriteByte(unsigned char byte);
    bool WriteWord(uint16_t word);
    bool WriteBom();

    bool IsEnd() const { return state_->pos >= state_->count && state_->eof; }
    bool HasError() const { return state_->error; }
    bool CanRead() const { return (state_->mode & kModeRead) != 0; }
    bool CanWrite() const { return (state_->mode & kModeWrite) != 0; }
    void ResetState();

    CLastError& Error() { return *errorRecord_; }
    const CLastError& Error() const { return *errorRecord_; }

protected:
    // The derived class's byte source and sink change the stream's state through these alone.
    const TextStreamState& State() const { return *state_; }
    // Its source or sink is open for mode (kModeRead, kModeWrite, or both), with text in UTF-16
    // (unicode) or 8-bit; lines written end in CR LF.
    void Opened(uint32_t mode, bool unicode);
    // The bytes the next reads take: count of them at bytes, which stay where they are until the
    // next refill; last when the source has none after them.
    void Serve(unsigned char* bytes, uint32_t count, bool last);
    // Bytes served and not read yet; forgotten once the source has moved back over them.
    uint32_t ReadAhead() const { return state_->count - std::min(state_->pos, state_->count); }
    void ForgetReadAhead();
    // Fails the stream for good: every later read and write is refused, and Error() holds the
    // reason, the system's code and its text. Returns false, for the caller to return.
    bool Fail(DWORD code);
    bool FailFromLastError() { return Fail(GetLastError()); }
    // Error() from now on is record, which the sink keeps its reasons in: a failure of the sink is
    // then recorded once, where both read it.
    void ShareErrorRecord(CLastError& record) { errorRecord_ = &record; }
    // Fails the stream where the sink has put the reason in the shared record.
    bool FailWithReasonKept();

    // Lets written bytes collect until limit of them wait, then hands them to WriteRaw in one
    // piece: one call per line is what writing a large file mostly cost. 0, the default, hands
    // each line over at once. A derived class that sets a limit calls FlushWrites before it
    // flushes or closes its sink, and before its destructor ends.
    void SetWriteLimit(size_t limit) { writeLimit_ = limit; }
    // Hands the waiting bytes to WriteRaw; false when that fails (the bytes are then dropped).
    bool FlushWrites();
    void DiscardWrites() { pending_ = 0; }

private:
    enum class ReadResult { Line, Nothing, Failed };
    // Collects one line of ANSI bytes as they are (Units::Unit char) or widened (wchar_t); nonAscii
    // when one is 80 or above. Units takes them through Space and Commit, as CLineList does; on
    // Failed the partial line stays there.
    template <typename Units>
    ReadResult ReadAnsiRuns(Units& units, bool& nonAscii);
    enum class AsciiWrite { Written, NotAscii, Failed };
    // Writes first + second and the line end when both are plain ASCII; otherwise writes nothing
    // and gives NotAscii.
    AsciiWrite WriteAsciiParts(const wchar_t* first, size_t firstLength, const wchar_t* second, size_t secondLength);
    bool Readable() const { return !IsEnd() && !state_->error && CanRead(); }
    bool Writable() const { return !state_->error && CanWrite(); }
    // Takes the LF of a CR LF whose CR ended the last line.
    void SkipLfAfterCr();
    // Collects one line of UTF-16 units; on Failed the partial line stays in units.
    ReadResult ReadUnicodeUnits(std::wstring& units);
    // Makes sure a byte is in the buffer; false at the end of the source or after an error.
    bool EnsureByte();
    // Room for count more bytes after those waiting for the sink (which go out first when
    // the limit would be passed); null when that fails. Valid until the next write.
    char* WriteRoom(size_t count);
    // The first count bytes of the room now wait for the sink; false when handing bytes
    // over fails, or has failed before.
    bool CommitWrite(size_t count);

    CLastError error_;
    CLastError* errorRecord_ = &error_;
    std::unique_ptr<TextStreamState> state_;
    CUtf8Check* byteWatcher_ = nullptr;
    // Reused between lines so that reading or writing a long file does not allocate per line.
    std::string narrowScratch_;
    std::wstring wideScratch_;
    // The bytes waiting for the sink, at its start; it only ever grows, its size is its room.
    std::string writeScratch_;
    size_t pending_ = 0;
    size_t writeLimit_ = 0;
};
