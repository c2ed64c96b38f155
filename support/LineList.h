#pragma once
// An ordered list of lines, each kept as the bytes it was read as, stored end to end with where
// each line starts. A script of a million lines then costs a few growing blocks instead of one
// heap block per line, which is what made reading and rewriting large scripts slow. Every line
// is stored followed by the line end of its file's encoding (CR LF, or CR LF as UTF-16 units),
// the form in which it goes back to the file, so a run of lines is written in one piece,
// without a conversion or a copy of its own.
//
// A reader can also build the next line in place (Space, Commit, EndLine).

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

class CLineList {
public:
    CLineList() = default;
    CLineList(const CLineList&) = delete;
    CLineList& operator=(const CLineList&) = delete;

    // The bytes stored after every line added from now on (at most four; CR LF by default).
    // Set it while the list is empty: runs of lines are written with what each line holds.
    void SetLineEnd(std::string_view lineEnd);
    std::string_view LineEnd() const { return std::string_view(lineEnd_, lineEndLength_); }

    size_t Count() const { return starts_.size(); }
    bool IsEmpty() const { return starts_.empty(); }
    // The bytes of line index (below Count), without its line end. Valid until the list next
    // changes.
    std::string_view Line(size_t index) const
    {
        const size_t start = starts_[index];
        return std::string_view(bytes_.get() + start, EndOf(index) - lineEndLength_ - start);
    }
    // Lines first to end - 1 (first not above end), each followed by its line end.
    std::string_view LinesWithEnds(size_t first, size_t end) const
    {
        if (first == end) return std::string_view();
        return std::string_view(bytes_.get() + starts_[first], EndOf(end - 1) - starts_[first]);
    }

    // Adds a line (unfinished bytes are dropped first).
    void Append(std::string_view line);
    // Removes the last line, and unfinished bytes; nothing when there is no line.
    void RemoveLast();

    // Room for count more bytes of the unfinished line; valid until the list next changes.
    char* Space(size_t count)
    {
        if (capacity_ - size_ < count) GrowFor(count);
        return bytes_.get() + size_;
    }
    // The first count bytes written into the last Space now belong to the unfinished line.
    void Commit(size_t count) { size_ += count; }
    std::string_view Unfinished() const
    {
        return std::string_view(bytes_.get() + linesEnd_, size_ - linesEnd_);
    }
    // The unfinished bytes, followed by the line end, become the last line.
    void EndLine();
    void DiscardUnfinished() { size_ = linesEnd_; }

    // Sets storage aside for that many bytes of lines and their line ends in all, so that a
    // list of known size grows without being copied along the way. False, with nothing
    // changed, when the memory cannot be had.
    bool Reserve(size_t byteCount);
    void Clear();
    void Swap(CLineList& other) noexcept;

private:
    size_t EndOf(size_t index) const { return index + 1 < starts_.size() ? starts_[index + 1] : linesEnd_; }
    void Grow(size_t capacity);
    void GrowFor(size_t count);

    // Plain storage rather than a string: a string cannot grow without first filling the new
    // bytes, a cost paid again for every line read into it.
    std::unique_ptr<char[]> bytes_;
    size_t linesEnd_ = 0;   // bytes of finished lines; the unfinished line follows them
    size_t size_ = 0;
    size_t capacity_ = 0;
    std::vector<size_t> starts_;
    char lineEnd_[4] = {'\r', '\n', 0, 0};
    size_t lineEndLength_ = 2;
};
