#pragma once
// The one rule for the lines of a pattern list as a box, a quick add or a caller hands it in:
// which characters break it into lines, which lines are no pattern, and what a line reads back as
// once written after its prefix. The save, the read-back of a saved list, the dialog's merge and
// the quick add all go through it, so that they agree on what a list's patterns are.
//
// A line break is what ends a line of the file (EndsFileLine: CR LF, a lone CR or LF, a NUL, which
// a read refuses in a script), U+2028 (LINE SEPARATOR) or U+2029 (PARAGRAPH SEPARATOR): with CR
// and LF the characters at which JavaScript ends a "//" comment. A pattern holding one would end
// its header line there and turn the rest into code that Opera runs on every page.
// A line of nothing but spaces and tabs (or of nothing) is no pattern: written after a prefix it
// would read back as an ordinary comment that ends the block.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "support/TextEncoding.h"

inline bool IsPatternLineBreak(wchar_t unit)
{
    return EndsFileLine(unit) || unit == L'\u2028' || unit == L'\u2029';
}

inline bool IsBlankPattern(std::wstring_view line)
{
    for (wchar_t unit : line) {
        if (unit != L' ' && unit != L'\t') return false;
    }
    return true;
}

// The position of the first line break in units from pos on, or size. Most lines are plain
// ASCII, none of which is a line break from 0E on, so those go four units at a time, as two
// 32-bit words of two units each; a unit from 80 up, or below 0E, stops that for one step.
inline size_t FindPatternLineBreak(const wchar_t* units, size_t pos, size_t size)
{
    static_assert(sizeof(wchar_t) == 2, "text is UTF-16, as on Windows");
    for (;;) {
        for (; pos + 4 <= size; pos += 4) {
            uint32_t first;
            uint32_t second;
            std::memcpy(&first, units + pos, 4);
            std::memcpy(&second, units + pos + 2, 4);
            // A unit from 80 up sets a bit of the mask; one below 0E (its top bit clear, as the
            // first test made sure) borrows and sets the top bit of its half.
            if (((first | second) & 0xFF80FF80u) != 0) break;
            if ((((first - 0x000E000Eu) | (second - 0x000E000Eu)) & 0x80008000u) != 0) break;
        }
        if (pos >= size || IsPatternLineBreak(units[pos])) return pos;
        ++pos;
    }
}

// Calls visit(line) with each line of text that is a pattern, in order, as it stands (spaces
// kept): the text the save writes after the prefix.
template <typename Visit>
void ForEachPatternLine(std::wstring_view text, Visit visit)
{
    const wchar_t* units = text.data();
    const size_t size = text.size();
    size_t pos = 0;
    while (pos < size) {
        const size_t end = FindPatternLineBreak(units, pos, size);
        const std::wstring_view line(units + pos, end - pos);
        if (!IsBlankPattern(line)) visit(line);
        // CR LF is one line break; every other break character is one of its own.
        pos = end + (end + 1 < size && units[end] == L'\r' && units[end + 1] == L'\n' ? 2 : 1);
    }
}

// The pattern a line gives when the file is read again: without its trailing spaces, which a
// read drops (leading ones belong to the pattern).
inline std::wstring_view PatternAsRead(std::wstring_view line)
{
    size_t end = line.size();
    while (end > 0 && line[end - 1] == L' ') --end;
    return line.substr(0, end);
}

// True when text makes exactly one pattern line of itself: no line break, not blank. An address
// that a quick add is to append must be one.
bool IsSinglePattern(std::wstring_view text);

// The text's pattern lines as they stand, each ended by CR LF.
std::wstring PatternLinesText(std::wstring_view text);

// Makes a list what reading the pattern lines written from it gives: its patterns as read, each
// ended by CR LF but the last. In place: a list of a million patterns is not copied.
void ReadBackPatternText(std::wstring& text);

// Watches the lines that ForEachPatternLine visits in text, all of them in order, and tells
// whether text already is what ReadBackPatternText makes of it, but for a CR LF after its last
// line: its pattern lines parted by CR LF alone, none blank, none ending in a space. A save that
// walks the lines anyway then reads a list of a million patterns back without a second walk.
class PatternReadBackCheck {
public:
    explicit PatternReadBackCheck(std::wstring_view text) : text_(text) {}
    void Visit(std::wstring_view line)
    {
        const size_t start = static_cast<size_t>(line.data() - text_.data());
        const size_t end = start + line.size();
        if (start != next_ || line.back() == L' ') asRead_ = false;
        const bool crLf = end + 1 < text_.size() && text_[end] == L'\r' && text_[end + 1] == L'\n';
        next_ = crLf ? end + 2 : end;
    }
    // Call with the same text, after the walk: it becomes what ReadBackPatternText would make.
    void ReadBack(std::wstring& text) const
    {
        if (!asRead_ || next_ != text.size()) {
            ReadBackPatternText(text);
        } else if (text.size() >= 2 && text[text.size() - 2] == L'\r' && text.back() == L'\n') {
            text.resize(text.size() - 2);
        }
    }

private:
    std::wstring_view text_;
    size_t next_ = 0;     // where the next line must start: after the last one and its CR LF
    bool asRead_ = true;
};
