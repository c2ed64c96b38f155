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
    // In place where every pattern goes where it or the lines before it stood, as with CR LF
    // between the lines (what a read or an edit box gives); a text whose lines a lone break
    // character parts grows where CR LF takes its place, and is built anew.
    size_t out = 0;
    bool inPlace = true;
    ForEachPatternLine(text, [&](std::wstring_view line) {
        if (out > 0) out += 2;
        if (out > static_cast<size_t>(line.data() - text.data())) inPlace = false;
        out += PatternAsRead(line).size();
    });
    std::wstring built;
    if (!inPlace) built.reserve(out);
    out = 0;
    ForEachPatternLine(text, [&](std::wstring_view line) {
        const std::wstring_view pattern = PatternAsRead(line);
        if (!inPlace) {
            if (out++ > 0) built += L"\r\n";
            built.append(pattern.data(), pattern.size());
            return;
        }
        if (out > 0) {
            text[out++] = L'\r';
            text[out++] = L'\n';
        }
        const size_t from = static_cast<size_t>(pattern.data() - text.data());
        if (from != out) std::copy(pattern.begin(), pattern.end(), text.begin() + static_cast<std::ptrdiff_t>(out));
        out += pattern.size();
    });
    if (inPlace) {
        text.resize(out);
    } else {
        text.swap(built);
    }
}
