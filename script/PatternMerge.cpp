#include "script/PatternMerge.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

using Lines = std::vector<std::wstring_view>;

// Views into text, which must outlive them.
Lines SplitLines(const std::wstring& text)
{
    Lines lines;
    const size_t size = text.size();
    size_t pos = 0;
    while (pos < size) {
        size_t end = pos;
        while (end < size && text[end] != L'\r' && text[end] != L'\n') ++end;
        if (end > pos) lines.emplace_back(text.data() + pos, end - pos);
        pos = end + 1;
    }
    return lines;
}

struct LineCounts {
    size_t loaded = 0;
    size_t box = 0;
    size_t file = 0;
    size_t boxSeen = 0;    // copies of the box met so far while writing
    size_t fileSeen = 0;   // copies of the file met so far while appending

    size_t Dropped() const
    {
        const size_t kept = std::min(loaded, box);
        return kept > file ? kept - file : 0;
    }
    size_t Appended() const
    {
        const size_t known = std::max(loaded, box);
        return file > known ? file - known : 0;
    }
};

void AppendLine(std::wstring& text, std::wstring_view line)
{
    text.append(line.data(), line.size());
    text += L"\r\n";
}

}  // namespace

bool MergePatternText(const std::wstring& loadedText, const std::wstring& boxText,
                      const std::wstring& fileText, std::wstring& saved)
{
    // The usual case, nothing written to the list since it was read, needs no counting.
    if (fileText == loadedText) {
        saved = boxText;
        return false;
    }
    const Lines loaded = SplitLines(loadedText);
    const Lines box = SplitLines(boxText);
    const Lines file = SplitLines(fileText);
    std::unordered_map<std::wstring_view, LineCounts> counts;
    counts.reserve(loaded.size() + box.size() + file.size());
    for (std::wstring_view line : loaded) ++counts[line].loaded;
    for (std::wstring_view line : box) ++counts[line].box;
    for (std::wstring_view line : file) ++counts[line].file;

    bool changed = false;
    std::wstring merged;
    merged.reserve(boxText.size());
    for (std::wstring_view line : box) {
        LineCounts& count = counts[line];
        if (count.boxSeen++ < count.box - count.Dropped()) {
            AppendLine(merged, line);
        } else {
            changed = true;
        }
    }
    for (std::wstring_view line : file) {
        LineCounts& count = counts[line];
        if (count.fileSeen++ >= count.file - count.Appended()) {
            AppendLine(merged, line);
            changed = true;
        }
    }
    if (changed) {
        saved.swap(merged);
    } else {
        saved = boxText;
    }
    return changed;
}
