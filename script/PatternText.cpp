#include "script/PatternText.h"

#include <algorithm>

bool IsSinglePattern(std::wstring_view text)
{
    if (IsBlankPattern(text)) return false;
    return std::none_of(text.begin(), text.end(), IsPatternLineBreak);
}

std::wstring PatternLinesText(std::wstring_view text)
{
    std::wstring lines;
    lines.reserve(text.size() + 2);
    ForEachPatternLine(text, [&](std::wstring_view line) {
        lines.append(line.data(), line.size());
        lines += L"\r\n";
    });
    return lines;
}

void ReadBackPatternText(std::wstring& text)
{
    // In place, one pass: each pattern goes where it or the lines before it stood, as long as
    // CR LF stood between the lines (what a read or an edit box gives). From the first line that
    // a lone break character parted from the one before, where CR LF would overtake the text
    // still to be read, the rest is built in a text of its own.
    size_t out = 0;
    bool inPlace = true;
    std::wstring built;
    ForEachPatternLine(text, [&](std::wstring_view line) {
        const std::wstring_view pattern = PatternAsRead(line);
        const size_t from = static_cast<size_t>(pattern.data() - text.data());
        if (inPlace && out > 0 && out + 2 > from) {
            inPlace = false;
            built.reserve(text.size() + text.size() / 8);
            built.assign(text, 0, out);
        }
        if (!inPlace) {
            built += L"\r\n";
            built.append(pattern.data(), pattern.size());
            return;
        }
        if (out > 0) {
            text[out++] = L'\r';
            text[out++] = L'\n';
        }
        if (from != out) std::copy(pattern.begin(), pattern.end(), text.begin() + static_cast<std::ptrdiff_t>(out));
        out += pattern.size();
    });
    if (inPlace) {
        text.resize(out);
    } else {
        text.swap(built);
    }
}
