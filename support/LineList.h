#pragma once
// An ordered list of lines stored end to end, with where each line starts and ends. A script
// of a million lines then costs a few growing blocks instead of one heap block per line, which
// is what made reading and rewriting large scripts slow. Lines of plain ASCII (units 1 to 7F,
// the same bytes in every ANSI code page) are kept as one byte a unit, any other line as
// UTF-16: most lines of a script are ASCII, and half the memory is half the page faults. Each
// ASCII line is stored followed by CR LF, the form in which it goes back to a file, so that a
// run of them is written without a conversion or a copy of its own.
//
// A reader of ASCII bytes can also build the next line in place: Space hands out room after
// the line's bytes so far, Commit takes the bytes written there, and EndLine makes them the
// last line. Until EndLine they belong to no line, and DiscardUnfinished drops them.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CLineList {
public:
    CLineList() = default;
    CLineList(const CLineList&) = delete;
    CLineList& operator=(const CLineList&) = delete;

    size_t Count() const { return lines_.size(); }
    bool IsEmpty() const { return lines_.empty(); }
    // Line index (below Count) as text.
    std::wstring Line(size_t index) const;
    // Line index without a copy: as bytes when it is plain ASCII, else as UTF-16 units. Valid
    // until the list next changes.
    bool IsAscii(size_t index) const { return (lines_[index].start & kWide) == 0; }
    std::string_view AsciiLine(size_t index) const
    {
        return std::string_view(ascii_.get() + lines_[index].start, lines_[index].length);
    }
    std::wstring_view WideLine(size_t index) const
    {
        return std::wstring_view(wide_.data() + (lines_[index].start & ~kWide), lines_[index].length);
    }
    // Lines first to end - 1 (first below end), all ASCII, each followed by CR LF.
    std::string_view AsciiLinesWithCrLf(size_t first, size_t end) const
    {
        const Entry& last = lines_[end - 1];
        return std::string_view(ascii_.get() + lines_[first].start, last.start + last.length + 2 - lines_[first].start);
    }

    // Adds a line (unfinished units are dropped first).
    void Append(const wchar_t* line, size_t length);
    void Append(const std::wstring& line) { Append(line.data(), line.size()); }
    // Removes the last line, and unfinished units; nothing when there is no line.
    void RemoveLast();

    // Room for count more bytes of the unfinished line; valid until the list next changes.
    char* Space(size_t count)
    {
        if (asciiCapacity_ - asciiSize_ < count) GrowFor(count);
        return ascii_.get() + asciiSize_;
    }
    // The first count bytes written into the last Space now belong to the unfinished line.
    void Commit(size_t count) { asciiSize_ += count; }
    std::string_view Unfinished() const;
    // The unfinished bytes, which the caller has made sure are all in 1..7F, become the last line.
    void EndLine();
    void DiscardUnfinished() { asciiSize_ = asciiLinesEnd_; }

    // Sets storage aside for that many bytes of ASCII lines and their CR LF in all, so that a
    // list of known size grows without being copied along the way. False, with nothing
    // changed, when the memory cannot be had.
    bool Reserve(size_t asciiUnits);
    void Clear();
    void Swap(CLineList& other) noexcept;

private:
    struct Entry {
        size_t start;   // where the line starts in ascii_, or, with kWide set, in wide_
        size_t length;
    };
    static constexpr size_t kWide = ~(~size_t(0) >> 1);

    void Grow(size_t capacity);
    void GrowFor(size_t count);

    // The ASCII units, plain storage rather than a string: a string cannot grow without first
    // filling the new units, a cost paid again for every line read into it.
    std::unique_ptr<char[]> ascii_;
    size_t asciiLinesEnd_ = 0;   // bytes of finished lines; the unfinished line follows them
    size_t asciiSize_ = 0;
    size_t asciiCapacity_ = 0;
    std::wstring wide_;
    std::vector<Entry> lines_;
};
