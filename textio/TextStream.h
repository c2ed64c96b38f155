#pragma once
// Line-oriented reading and writing over a byte source and sink that a derived class supplies.
// Lines are split at LF (or a NUL unit), every CR is dropped, and written lines end in CR LF.
// Text is either 8-bit in the system ANSI code page or UTF-16 little-endian.

#include <cstdint>
#include <memory>
#include <string>

#include "support/LastError.h"

struct TextStreamState {
    bool unicode = false;   // UTF-16 LE code units rather than ANSI bytes
    int32_t lineEnd = 0;    // 1: CR LF; anything else: LF alone
    bool error = false;     // sticky: once set, every read and write is refused
    bool eof = false;       // the byte source reported its end during a refill
    uint32_t mode = 0;      // kModeRead | kModeWrite
    unsigned char* buffer = nullptr;  // the read buffer, kBufferSize bytes
    uint32_t count = 0;     // valid bytes in buffer
    uint32_t pos = 0;       // next byte to hand out
};

class CTextStream {
public:
    static const uint32_t kBufferSize = 256;
    static const uint32_t kModeRead = 1;
    static const uint32_t kModeWrite = 4;

    CTextStream();
    virtual ~CTextStream();
    CTextStream(const CTextStream&) = delete;
    CTextStream& operator=(const CTextStream&) = delete;

    // Refills the read buffer; true when at least one byte came. Sets count, not pos.
    virtual bool FillBuffer() { return false; }
    // Hands a run of bytes to the sink.
    virtual bool WriteRaw(const void* bytes, int32_t count)
    {
        (void)bytes;
        (void)count;
        return false;
    }

    bool ReadLine(std::wstring& line);
    bool ReadLine(std::string& line);
    bool WriteLine(const std::wstring& text);
    bool WriteLine(const std::string& text);

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

    CLastError& Error() { return error_; }
    const CLastError& Error() const { return error_; }

protected:
    TextStreamState& State() { return *state_; }
    const TextStreamState& State() const { return *state_; }

private:
    enum class ReadResult { Line, Nothing, Failed };
    // Collects one line of ANSI bytes; on Failed the partial line stays in bytes.
    ReadResult ReadAnsiUnits(std::string& bytes);
    // Collects one line of UTF-16 units; on Failed the partial line stays in units.
    ReadResult ReadUnicodeUnits(std::wstring& units);
    // Makes sure a byte is in the buffer; false at the end of the source or after an error.
    bool EnsureByte();
    bool WriteUnits(const void* bytes, size_t count);
    bool WriteLineEnd();

    CLastError error_;
    std::unique_ptr<TextStreamState> state_;
    // Reused between lines so that reading or writing a long file does not allocate per line.
    std::string narrowScratch_;
    std::string writeScratch_;
};
