// The rules for the lines of a pattern list, and the dialog's merge, against plain references
// written from their descriptions (PatternText.h, PatternMerge.h): one unit at a time, one
// copy at a time.
//
// Input: a choice byte (unused but the code page), then three texts as UTF-16 LE units: the list
// as loaded, the box, and the list as the file holds it now.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "script/PatternMerge.h"
#include "script/PatternText.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

bool IsBreak(wchar_t unit) { return unit == L'\r' || unit == L'\n' || unit == 0 || unit == 0x2028 || unit == 0x2029; }

bool IsBlank(const std::wstring& line)
{
    return std::all_of(line.begin(), line.end(), [](wchar_t unit) { return unit == L' ' || unit == L'\t'; });
}

// The lines of a text: parted at CR LF, or at any one break character; blank ones dropped.
std::vector<std::wstring> ReferenceLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::wstring line;
    bool pending = false;  // a line was begun
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsBreak(text[i])) {
            line += text[i];
            pending = true;
            continue;
        }
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        if (!IsBlank(line)) lines.push_back(line);
        line.clear();
        pending = false;
    }
    if (pending && !IsBlank(line)) lines.push_back(line);
    return lines;
}

std::wstring TrimRight(std::wstring line)
{
    while (!line.empty() && line.back() == L' ') line.pop_back();
    return line;
}

std::wstring Joined(const std::vector<std::wstring>& lines, bool endLast)
{
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (endLast || i + 1 < lines.size()) text += L"\r\n";
    }
    return text;
}

// The merge, copy by copy: for each line (as the file reads it back) with L loaded copies, B in
// the box and F in the file, the box's last max(0, min(L, B) - F) copies go and the file's last
// max(0, F - max(L, B)) copies are appended.
bool ReferenceMerge(const std::wstring& loadedText, const std::wstring& boxText, const std::wstring& fileText,
                    std::wstring& saved)
{
    const auto loaded = ReferenceLines(loadedText);
    const auto box = ReferenceLines(boxText);
    const auto file = ReferenceLines(fileText);
    if (fileText == loadedText) {
        saved = Joined(box, true);
        return false;
    }
    std::map<std::wstring, size_t> l, b, f, boxSeen, fileSeen;
    for (const auto& line : loaded) ++l[TrimRight(line)];
    for (const auto& line : box) ++b[TrimRight(line)];
    for (const auto& line : file) ++f[TrimRight(line)];
    std::vector<std::wstring> out;
    bool changed = false;
    for (const std::wstring& line : box) {
        const std::wstring p = TrimRight(line);
        const size_t kept = std::min(l[p], b[p]);
        const size_t drop = kept > f[p] ? kept - f[p] : 0;
        if (boxSeen[p]++ < b[p] - drop) {
            out.push_back(line);
        } else {
            changed = true;
        }
    }
    for (const std::wstring& line : file) {
        const std::wstring p = TrimRight(line);
        const size_t known = std::max(l[p], b[p]);
        const size_t append = f[p] > known ? f[p] - known : 0;
        if (fileSeen[p]++ >= f[p] - append) {
            out.push_back(line);
            changed = true;
        }
    }
    saved = Joined(out, true);
    return changed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput input(data, size);
    const std::wstring loaded = input.Units(0);
    const std::wstring box = input.Units(1);
    const std::wstring file = input.Units(2);

    for (const std::wstring* text : {&loaded, &box, &file}) {
        const std::vector<std::wstring> expected = ReferenceLines(*text);
        std::vector<std::wstring> lines;
        PatternReadBackCheck check(*text);
        ForEachPatternLine(*text, [&](std::wstring_view line) {
            lines.emplace_back(line);
            check.Visit(line);
        });
        if (lines != expected) Broken("the pattern lines of a text", Shown(*text));
        if (IsSinglePattern(*text) != (expected.size() == 1 && expected[0] == *text)) {
            Broken("IsSinglePattern", Shown(*text));
        }
        if (PatternLinesText(*text) != Joined(expected, true)) Broken("PatternLinesText", Shown(*text));
        std::vector<std::wstring> asRead;
        for (const std::wstring& line : expected) asRead.push_back(TrimRight(line));
        std::wstring readBack = *text;
        ReadBackPatternText(readBack);
        if (readBack != Joined(asRead, false)) Broken("ReadBackPatternText", Shown(*text));
        std::wstring checked = *text;
        check.ReadBack(checked);
        if (checked != readBack) Broken("PatternReadBackCheck", Shown(*text));
    }

    std::wstring merged;
    std::wstring expected;
    const bool changed = MergePatternText(loaded, box, file, merged);
    const bool expectedChanged = ReferenceMerge(loaded, box, file, expected);
    if (merged != expected || changed != expectedChanged) {
        Broken("MergePatternText", Shown(loaded) + "\n" + Shown(box) + "\n" + Shown(file) + "\ngave " + Shown(merged) +
                                       "\nexpected " + Shown(expected));
    }
    return 0;
}
