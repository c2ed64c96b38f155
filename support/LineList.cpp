#include "support/LineList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

void CLineList::Grow(size_t capacity)
{
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (asciiSize_ > 0) std::memcpy(bigger.get(), ascii_.get(), asciiSize_);
    ascii_.swap(bigger);
    asciiCapacity_ = capacity;
}

std::wstring CLineList::Line(size_t index) const
{
    if (!IsAscii(index)) return std::wstring(WideLine(index));
    const std::string_view bytes = AsciiLine(index);
    return std::wstring(bytes.begin(), bytes.end());
}

void CLineList::GrowFor(size_t count)
{
    // Doubling keeps the copying linear in the final size.
    const size_t needed = asciiSize_ + count;
    const size_t doubled = asciiCapacity_ <= SIZE_MAX / 2 ? 2 * asciiCapacity_ : needed;
    Grow(std::max({needed, doubled, size_t(256)}));
}

std::string_view CLineList::Unfinished() const
{
    return std::string_view(ascii_.get() + asciiLinesEnd_, asciiSize_ - asciiLinesEnd_);
}

void CLineList::EndLine()
{
    const size_t length = asciiSize_ - asciiLinesEnd_;
    char* end = Space(2);
    end[0] = '\r';
    end[1] = '\n';
    Commit(2);
    lines_.push_back(Entry{asciiLinesEnd_, length});
    asciiLinesEnd_ = asciiSize_;
}

void CLineList::Append(const wchar_t* line, size_t length)
{
    DiscardUnfinished();
    size_t ascii = 0;
    while (ascii < length && line[ascii] != 0 && line[ascii] <= 0x7F) ++ascii;
    if (ascii == length) {
        char* bytes = Space(length + 2);
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(line[i]);
        Commit(length);
        EndLine();
        return;
    }
    lines_.push_back(Entry{wide_.size() | kWide, length});
    wide_.append(line, length);
}

void CLineList::RemoveLast()
{
    DiscardUnfinished();
    if (lines_.empty()) return;
    const Entry last = lines_.back();
    lines_.pop_back();
    if ((last.start & kWide) != 0) {
        wide_.resize(last.start & ~kWide);
    } else {
        asciiLinesEnd_ = asciiSize_ = last.start;
    }
}

bool CLineList::Reserve(size_t asciiUnits)
{
    if (asciiUnits <= asciiCapacity_) return true;
    // Storage set aside is a speed-up only: without it the list grows step by step.
    try {
        Grow(asciiUnits);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CLineList::Clear()
{
    asciiLinesEnd_ = asciiSize_ = 0;
    wide_.clear();
    lines_.clear();
}

void CLineList::Swap(CLineList& other) noexcept
{
    ascii_.swap(other.ascii_);
    std::swap(asciiLinesEnd_, other.asciiLinesEnd_);
    std::swap(asciiSize_, other.asciiSize_);
    std::swap(asciiCapacity_, other.asciiCapacity_);
    wide_.swap(other.wide_);
    lines_.swap(other.lines_);
}
