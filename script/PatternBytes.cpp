#include "script/PatternBytes.h"

#include <algorithm>
#include <utility>

namespace {

// Calls visit(index, text) for each pattern of a text built by the reader (every pattern ended
// by CR LF).
template <typename Visit>
void ForEachPattern(const std::wstring& text, Visit visit)
{
    size_t index = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find(L'\r', pos);  // a pattern holds no CR
        visit(index++, std::wstring_view(text.data() + pos, end - pos));
        pos = end + 2;
    }
}

} // namespace

void CPatternBytes::Add(size_t index, std::string_view bytes)
{
    lines_.push_back(Line{index, std::string(bytes)});
}

bool CPatternBytes::Contains(size_t index) const
{
    auto found = std::lower_bound(lines_.begin(), lines_.end(), index,
                                  [](const Line& line, size_t wanted) { return line.index < wanted; });
    return found != lines_.end() && found->index == index;
}

void CPatternBytes::Index(const std::wstring& text)
{
    byText_.clear();
    lengths_.clear();
    if (lines_.empty()) return;
    // Lines may be added out of order: those of another form while reading, those whose bytes
    // make no character after it.
    std::sort(lines_.begin(), lines_.end(), [](const Line& a, const Line& b) { return a.index < b.index; });
    // The texts that have lines here first, then every pattern with one of them counted in order.
    std::vector<std::pair<size_t, size_t>> spans;  // where each line's text starts in texts_, and its length
    texts_.clear();
    size_t next = 0;
    ForEachPattern(text, [&](size_t index, std::wstring_view pattern) {
        if (next < lines_.size() && lines_[next].index == index) {
            spans.emplace_back(texts_.size(), pattern.size());
            texts_.insert(texts_.end(), pattern.begin(), pattern.end());
            if (lengths_.size() <= pattern.size()) lengths_.resize(pattern.size() + 1);
            lengths_[pattern.size()] = true;
            ++next;
        }
    });
    for (const auto& span : spans) {
        byText_.try_emplace(std::wstring_view(texts_.data() + span.first, span.second), Copies{byText_.size(), {}});
    }
    std::vector<size_t> copies(byText_.size(), 0);
    next = 0;
    ForEachPattern(text, [&](size_t index, std::wstring_view pattern) {
        if (pattern.size() >= lengths_.size() || !lengths_[pattern.size()]) return;
        auto found = byText_.find(pattern);
        if (found == byText_.end()) return;
        const size_t copy = copies[found->second.id]++;
        if (next < lines_.size() && lines_[next].index == index) {
            lines_[next].index = copy;
            found->second.lines.push_back(next);
            ++next;
        }
    });
}

void CPatternBytes::Swap(CPatternBytes& other) noexcept
{
    lines_.swap(other.lines_);
    texts_.swap(other.texts_);
    byText_.swap(other.byText_);
    lengths_.swap(other.lengths_);
}

CPatternBytes::Walk::Walk(const CPatternBytes& lines)
    : lines_(lines), seen_(lines.byText_.size(), 0), cursor_(lines.byText_.size(), 0)
{
}

const std::string* CPatternBytes::Walk::Next(std::wstring_view text)
{
    const std::vector<bool>& lengths = lines_.lengths_;
    if (text.size() >= lengths.size() || !lengths[text.size()]) return nullptr;
    auto found = lines_.byText_.find(text);
    if (found == lines_.byText_.end()) return nullptr;
    const size_t id = found->second.id;
    const size_t copy = seen_[id]++;
    // The text's lines stand in ascending copy order, and copies are met in ascending order.
    const std::vector<size_t>& due = found->second.lines;
    size_t& cursor = cursor_[id];
    while (cursor < due.size() && lines_.lines_[due[cursor]].index < copy) ++cursor;
    if (cursor < due.size() && lines_.lines_[due[cursor]].index == copy) return &lines_.lines_[due[cursor++]].bytes;
    return nullptr;
}
