// The text stream's line reading and writing against a reference splitter: every way of reading
// a line gives the lines that splitting the bytes at CR LF, a lone CR or LF and a NUL unit
// gives, in refills of any size; the UTF-8 check agrees with a plain decoder; written lines are
// their text encoded, each followed by CR LF.
//
// Input: choices (bit 0 code page 936; bits 1-2 the encoding: code page, UTF-8, UTF-16, as the
// mark says; bits 3-7 the refill size and the write limit), then the bytes.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/Charset.h"
#include "support/LineList.h"
#include "support/Utf8Check.h"
#include "tests/fuzz/FuzzInput.h"
#include "textio/TextStream.h"

namespace {

class MemoryStream : public CTextStream {
public:
    MemoryStream(std::string bytes, uint32_t refill, size_t writeLimit) : bytes_(bytes), refill_(refill)
    {
        Opened(kModeRead | kModeWrite, false);
        SetWriteLimit(writeLimit);
    }
    bool FillBuffer() override
    {
        const size_t n = std::min<size_t>(refill_, bytes_.size() - std::min(next_, bytes_.size()));
        std::memcpy(buffer_, bytes_.data() + next_, n);
        next_ += n;
        Serve(buffer_, static_cast<uint32_t>(n), next_ >= bytes_.size());
        return n > 0;
    }
    bool WriteRaw(const void* bytes, int32_t count) override
    {
        written.append(static_cast<const char*>(bytes), static_cast<size_t>(count));
        return true;
    }
    std::string Written()
    {
        FlushWrites();
        return written;
    }
    std::string written;

private:
    const std::string bytes_;
    uint32_t refill_;
    size_t next_ = 0;
    unsigned char buffer_[256] = {};
};

// Strictly valid UTF-8 (RFC 3629), decoded one character at a time.
bool ReferenceUtf8(const std::string& bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

struct Split {
    std::vector<std::string> lines;  // each line's bytes (two a unit in UTF-16)
    bool nul = false;
    bool odd = false;
};

Split ReferenceSplit(const std::string& bytes, size_t from, bool wide)
{
    Split split;
    const size_t unit = wide ? 2 : 1;
    size_t end = bytes.size();
    if (wide && (end - from) % 2 != 0) {
        split.odd = true;
        --end;
    }
    std::string line;
    bool open = false;
    for (size_t i = from; i < end; i += unit) {
        const unsigned value = wide ? static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)
                                    : static_cast<uint8_t>(bytes[i]);
        if (value == '\r' || value == '\n' || value == 0) {
            split.nul = split.nul || value == 0;
            split.lines.push_back(line);
            line.clear();
            open = false;
            const bool lf = i + 2 * unit <= end && bytes[i + unit] == '\n' && (!wide || bytes[i + unit + 1] == 0);
            if (value == '\r' && lf) i += unit;
            continue;
        }
        line.append(bytes, i, unit);
        open = true;
    }
    if (open) split.lines.push_back(line);
    return split;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput input(data, size);
    const unsigned how = input.Choices() & 3;
    const uint32_t refill = 3 + (input.Choices() >> 2) * 8;  // 3 to 251 bytes a refill
    const size_t writeLimit = (input.Choices() >> 2) * 3;
    const std::string& bytes = input.Bytes(0);
    const TextEncoding chosen[] = {TextEncoding::Ansi, TextEncoding::Utf8, TextEncoding::Utf16, TextEncoding::Ansi};

    // Where the text starts, and in which encoding.
    TextEncoding encoding = chosen[how];
    size_t from = 0;
    if (how == 3) {
        if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
            encoding = TextEncoding::Utf16;
            from = 2;
        } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            encoding = TextEncoding::Utf8;
            from = 3;
        }
    }
    const bool wide = encoding == TextEncoding::Utf16;
    const Split expected = ReferenceSplit(bytes, from, wide);

    // Lines as bytes, with the UTF-8 check watching every byte.
    {
        MemoryStream stream(bytes, refill, 0);
        CUtf8Check check;
        stream.WatchBytes(&check);
        stream.SetEncoding(chosen[how]);
        TextEncoding marked = TextEncoding::Ansi;
        if (how == 3 && stream.ReadByteOrderMark(marked) != (from != 0)) Broken("ReadByteOrderMark");
        if (stream.Encoding() != encoding) Broken("the encoding after the mark");
        CLineList lines;
        if (wide) lines.SetLineEnd(std::string("\r\0\n\0", 4));
        while (stream.ReadLine(lines)) {
        }
        if (lines.Count() != expected.lines.size()) Broken("how many lines ReadLine(CLineList) gives", Shown(bytes));
        for (size_t i = 0; i < lines.Count(); ++i) {
            if (lines.Line(i) != expected.lines[i]) Broken("a line of ReadLine(CLineList)", Shown(bytes));
        }
        if (stream.SawNul() != expected.nul) Broken("SawNul", Shown(bytes));
        if (wide && stream.SawOddByte() != expected.odd) Broken("SawOddByte", Shown(bytes));
        const bool nonAscii = std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
        if (check.IsValid() != ReferenceUtf8(bytes) || check.HasNonAscii() != nonAscii) {
            Broken("the UTF-8 check", Shown(bytes));
        }
    }

    // Lines as text and as narrow text; then written back.
    MemoryStream stream(bytes, refill, writeLimit);
    MemoryStream narrow(bytes, refill, 0);
    stream.SetEncoding(encoding);
    narrow.SetEncoding(encoding);
    if (from != 0) {
        char mark[3];
        stream.ReadBytes(mark, static_cast<uint32_t>(from));
        narrow.ReadBytes(mark, static_cast<uint32_t>(from));
    }
    std::wstring line;
    std::string narrowLine;
    std::string expectedWritten;
    for (const std::string& lineBytes : expected.lines) {
        if (!stream.ReadLine(line)) Broken("ReadLine(wstring) ended early", Shown(bytes));
        if (!narrow.ReadLine(narrowLine)) Broken("ReadLine(string) ended early", Shown(bytes));
        std::wstring text;
        DecodeText(lineBytes, encoding, text);
        if (line != text) Broken("a line of ReadLine(wstring)", Shown(lineBytes) + " gave " + Shown(line));
        const std::string narrowExpected = wide ? WideToAnsi(text) : lineBytes;
        if (narrowLine != narrowExpected) Broken("a line of ReadLine(string)", Shown(lineBytes));
        std::string encoded;
        EncodeText(text.substr(0, text.find(L'\0')), encoding, encoded);
        expectedWritten += encoded + (wide ? std::string("\r\0\n\0", 4) : "\r\n");
    }
    if (stream.ReadLine(line) || narrow.ReadLine(narrowLine)) Broken("a line after the last", Shown(bytes));
    MemoryStream sink(std::string(), refill, writeLimit);
    sink.SetEncoding(encoding);
    for (const std::string& lineBytes : expected.lines) {
        std::wstring text;
        DecodeText(lineBytes, encoding, text);
        if (!sink.WriteLine(text)) Broken("WriteLine failed");
    }
    if (sink.Written() != expectedWritten) Broken("what WriteLine wrote", Shown(bytes));

    // A prefixed line written only as exactly its text.
    MemoryStream exact(std::string(), refill, writeLimit);
    exact.SetEncoding(encoding);
    for (const std::string& lineBytes : expected.lines) {
        std::wstring text;
        DecodeText(lineBytes, encoding, text);
        bool lossy = false;
        const size_t had = exact.Written().size();
        std::string encoded;
        const bool exactly = EncodeTextExactly(L"//@include " + text, encoding, encoded);
        if (exact.WriteLineExactly(L"//@include ", 11, text.data(), text.size(), lossy) != exactly || lossy == exactly) {
            Broken("WriteLineExactly", Shown(text));
        }
        if (exactly && exact.Written().substr(had) != encoded + (wide ? std::string("\r\0\n\0", 4) : "\r\n")) {
            Broken("what WriteLineExactly wrote", Shown(text));
        }
    }
    return 0;
}
