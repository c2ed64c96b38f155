#include "script/PatternMerge.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "script/PatternText.h"

namespace {

// A list's pattern lines (see PatternText.h), each as it stands and as the file reads it back:
// lines are the same pattern when they read back the same. Views into text, which must outlive
// them.
struct Line {
    std::wstring_view text;
    std::wstring_view pattern;
};
using Lines = std::vector<Line>;

Lines SplitLines(const std::wstring& text)
{
    Lines lines;
    ForEachPatternLine(text, [&](std::wstring_view line) { lines.push_back(Line{line, PatternAsRead(line)}); });
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
        saved = PatternLinesText(boxText);
        return false;
    }
    const Lines loaded = SplitLines(loadedText);
    const Lines box = SplitLines(boxText);
    const Lines file = SplitLines(fileText);
    std::unordered_map<std::wstring_view, LineCounts> counts;
    counts.reserve(loaded.size() + box.size() + file.size());
    for (const Line& line : loaded) ++counts[line.pattern].loaded;
    for (const Line& line : box) ++counts[line.pattern].box;
    for (const Line& line : file) ++counts[line.pattern].file;

    bool changed = false;
    std::wstring merged;
    merged.reserve(boxText.size());
    for (const Line& line : box) {
        LineCounts& count = counts[line.pattern];
        if (count.boxSeen++ < count.box - count.Dropped()) {
            AppendLine(merged, line.text);
        } else {
            changed = true;
        }
    }
    for (const Line& line : file) {
        LineCounts& count = counts[line.pattern];
        if (count.fileSeen++ >= count.file - count.Appended()) {
            AppendLine(merged, line.text);
            changed = true;
        }
    }
    saved.swap(merged);
    return changed;
}
