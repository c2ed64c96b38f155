#pragma once
// The pattern lines of one block of a script that must go back to the file as the bytes they
// were read as, because writing their text again would give other bytes: a line in another form
// ("  // @include  x  " rather than "//@include  x"), or bytes that are no character of the
// script's encoding and decode to something that does not encode back to them. Every other
// pattern line is exactly its prefix and its text encoded, so writing the text gives its bytes.
//
// A line of the text to be written takes the bytes of a loaded line with the same text: the
// k-th copy of a text those of the k-th line read with it. Lines without such a partner (new or
// edited ones) are encoded. A script of only regular lines costs nothing here.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CPatternBytes {
public:
    // While reading: the index-th pattern of the block (0 first) was read as bytes (the whole
    // line, its line end included), which its text would not give again. Indexes ascending.
    void Add(size_t index, std::string_view bytes);
    // Whether a line of that index was added; while the lines were added in ascending order.
    bool Contains(size_t index) const;
    // After reading: text holds the block's patterns in order, each ended by CR LF. Finds, for
    // every line added, how many lines before it have the same text.
    void Index(const std::wstring& text);
    bool IsEmpty() const { return lines_.empty(); }
    void Swap(CPatternBytes& other) noexcept;

    // One walk over the lines of a text being written, in order.
    class Walk {
    public:
        explicit Walk(const CPatternBytes& lines);
        // The bytes of the loaded line that the next line with this text stands for, or null
        // when that line is to be encoded.
        const std::string* Next(std::wstring_view text);

    private:
        const CPatternBytes& lines_;
        std::vector<size_t> seen_;    // per distinct text: copies met so far
        std::vector<size_t> cursor_;  // per distinct text: its next line that may be due
    };

private:
    struct Line {
        size_t index;        // among the block's patterns; then, after Index, the copy number
        std::string bytes;
    };
    struct Copies {
        size_t id;                      // the text's number, for Walk's counts
        std::vector<size_t> lines;      // lines_ entries, by ascending copy number
    };
    std::vector<Line> lines_;
    // The texts end to end, for the map's keys: a vector, whose storage stays where it is when
    // the object is moved or swapped (a short string's would not).
    std::vector<wchar_t> texts_;
    std::unordered_map<std::wstring_view, Copies> byText_;
    std::vector<bool> lengths_;         // lengths_[n]: a text of n units has lines here
};
