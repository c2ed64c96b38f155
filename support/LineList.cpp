#include "support/LineList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

void CLineList::SetLineEnd(std::string_view lineEnd)
{
    lineEndLength_ = std::min(lineEnd.size(), sizeof lineEnd_);
    lineEnd.copy(lineEnd_, lineEndLength_);
}

void CLineList::Grow(size_t capacity)
{
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_ > 0) std::memcpy(bigger.get(), bytes_.get(), size_);
    bytes_.swap(bigger);
    capacity_ = capacity;
}

void CLineList::GrowFor(size_t count)
{
    // Doubling keeps the copying linear in the final size.
    const size_t needed = size_ + count;
    const size_t doubled = capacity_ <= SIZE_MAX / 2 ? 2 * capacity_ : needed;
    Grow(std::max({needed, doubled, size_t(256)}));
}

void CLineList::EndLine()
{
    char* end = Space(lineEndLength_);
    std::memcpy(end, lineEnd_, lineEndLength_);
    Commit(lineEndLength_);
    starts_.push_back(linesEnd_);
    linesEnd_ = size_;
}

void CLineList::Append(std::string_view line)
{
    DiscardUnfinished();
    if (!line.empty()) {
        std::memcpy(Space(line.size()), line.data(), line.size());
        Commit(line.size());
    }
    EndLine();
}

void CLineList::RemoveLast()
{
    DiscardUnfinished();
    if (starts_.empty()) return;
    linesEnd_ = size_ = starts_.back();
    starts_.pop_back();
}

bool CLineList::Reserve(size_t byteCount)
{
    if (byteCount <= capacity_) return true;
    // Storage set aside is a speed-up only: without it the list grows step by step.
    try {
        Grow(byteCount);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CLineList::Clear()
{
    linesEnd_ = size_ = 0;
    starts_.clear();
}

void CLineList::Swap(CLineList& other) noexcept
{
    bytes_.swap(other.bytes_);
    std::swap(linesEnd_, other.linesEnd_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    starts_.swap(other.starts_);
    std::swap(lineEnd_, other.lineEnd_);
    std::swap(lineEndLength_, other.lineEndLength_);
}
