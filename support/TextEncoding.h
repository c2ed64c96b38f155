#pragma once
// The vocabulary of text in a file, for every reader and writer of the program: the encodings a
// file may have, the byte-order marks that name them, how the encoding of a file without a mark
// is decided, and where a line of a file ends.

#include <string_view>

#include "support/Utf8Check.h"

// 8-bit text in the system ANSI code page, UTF-8, or UTF-16 little-endian.
enum class TextEncoding { Ansi, Utf8, Utf16 };

// The byte-order marks. UTF-16 big-endian is no encoding of the program's: a file that starts
// with its mark is refused where it would otherwise be read as 8-bit text.
constexpr std::string_view kUtf16Mark("\xFF\xFE", 2);
constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);
constexpr std::string_view kUtf16BigEndianMark("\xFE\xFF", 2);

// The mark that names encoding; none for the ANSI code page.
constexpr std::string_view MarkOf(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16 ? kUtf16Mark
           : encoding == TextEncoding::Utf8 ? kUtf8Mark
                                            : std::string_view();
}

// Where a line of a text file ends: at CR LF, a lone LF or a lone CR (as in JavaScript), and at a
// NUL unit, which a reader remembers: no line read ever holds one.
constexpr bool EndsFileLine(unsigned unit)
{
    return unit == '\n' || unit == '\r' || unit == 0;
}

// Which encodings a file may be in where no byte-order mark names one. Each reader says which its
// file may have.
enum EncodingChoice : unsigned {
    kMayBeUtf16 = 1,  // UTF-16 LE, known by a zero byte second in a pair of bytes
    kMayBeUtf8 = 2,   // UTF-8
    kMayBeAnsi = 4,   // the system ANSI code page
};

// The one rule for the encoding of a file without a mark, from what its bytes showed: UTF-16 LE
// where the file may be and a zero byte stands second in a pair (ASCII text in UTF-16 has one in
// every pair, 8-bit text none); else UTF-8 when the bytes are strictly valid UTF-8 and not plain
// ASCII, or when the file may be nothing else; else the ANSI code page.
inline TextEncoding DecideEncoding(unsigned choices, bool zeroSecondInPair, const CUtf8Check& utf8)
{
    if ((choices & kMayBeUtf16) != 0 && zeroSecondInPair) return TextEncoding::Utf16;
    const bool utf8Shows = utf8.IsValid() && utf8.HasNonAscii();
    if ((choices & kMayBeUtf8) != 0 && (utf8Shows || (choices & kMayBeAnsi) == 0)) return TextEncoding::Utf8;
    return TextEncoding::Ansi;
}
