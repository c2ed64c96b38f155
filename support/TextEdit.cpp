#include "support/TextEdit.h"

#include <cctype>

namespace {

// The C runtime's toupper/tolower are defined on the char range only; other units stay.
wchar_t UpperUnit(wchar_t c) { return c < 256 ? static_cast<wchar_t>(toupper(c)) : c; }
wchar_t LowerUnit(wchar_t c) { return c < 256 ? static_cast<wchar_t>(tolower(c)) : c; }
wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

} // namespace

void TrimChar(std::wstring& text, wchar_t ch)
{
    size_t first = text.find_first_not_of(ch);
    if (first == std::wstring::npos) {
        text.clear();
        return;
    }
    size_t last = text.find_last_not_of(ch);
    text.erase(last + 1);
    text.erase(0, first);
}

void CutAtChar(std::wstring& text, wchar_t ch, bool fromStart, bool removeChar)
{
    if (fromStart) {
        size_t at = text.find(ch);
        if (at == std::wstring::npos) return;
        text.erase(0, removeChar ? at + 1 : at);
    } else {
        size_t at = text.rfind(ch);
        if (at == std::wstring::npos) return;
        text.erase(removeChar ? at : at + 1);
    }
}

void SplitString(const std::wstring& text, const std::wstring& separator, StringList& out)
{
    out.clear();
    if (text.empty()) return;
    if (separator.empty()) {
        out.push_back(text);
        return;
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t at = text.find(separator, pos);
        if (at == std::wstring::npos) {
            out.push_back(text.substr(pos));
            return;
        }
        out.push_back(text.substr(pos, at - pos));
        pos = at + separator.size();
    }
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

int CompareNoCase(const std::wstring& a, const std::wstring& b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        wchar_t x = UpperUnit(a[i]);
        wchar_t y = UpperUnit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void RemoveAll(std::wstring& text, const std::wstring& pattern)
{
    // Removing the leftmost occurrence again and again is the same as scanning once and
    // dropping the pattern whenever the kept text comes to end with it: the leftmost
    // occurrence is also the one that ends first, and a removal can only create a new
    // occurrence across the place it was cut.
    if (pattern.empty() || text.size() < pattern.size()) return;
    const size_t m = pattern.size();
    std::wstring kept;
    kept.reserve(text.size());
    for (wchar_t c : text) {
        kept.push_back(c);
        if (c == pattern.back() && kept.size() >= m &&
            kept.compare(kept.size() - m, m, pattern) == 0) {
            kept.resize(kept.size() - m);
        }
    }
    text.swap(kept);
}

void ReplaceAll(std::wstring& text, const std::wstring& search, const std::wstring& replacement)
{
    // One pass over the original text. After a replacement the search resumes one character
    // past the inserted text, which in the original is one character past the match.
    std::wstring out;
    size_t pos = 0;
    size_t at = text.find(search, 0);
    if (at == std::wstring::npos) return;
    out.reserve(text.size());
    while (at != std::wstring::npos) {
        out.append(text, pos, at - pos);
        out.append(replacement);
        size_t afterMatch = at + search.size();
        if (afterMatch < text.size()) out.push_back(text[afterMatch]);
        pos = afterMatch + 1;
        at = pos <= text.size() ? text.find(search, pos) : std::wstring::npos;
    }
    if (pos < text.size()) out.append(text, pos, std::wstring::npos);
    text.swap(out);
}

void RemoveChars(std::wstring& text, size_t count, bool fromStart)
{
    if (count >= text.size()) {
        text.clear();
    } else if (fromStart) {
        text.erase(0, count);
    } else {
        text.erase(text.size() - count);
    }
}

void ToUpperCase(std::wstring& text)
{
    for (wchar_t& c : text) c = UpperUnit(c);
}

void ToLowerCase(std::wstring& text)
{
    for (wchar_t& c : text) c = LowerUnit(c);
}

int FindWithWildcard(const std::wstring& text, const std::wstring& pattern, int start)
{
    if (pattern.empty() || start < 0 || static_cast<size_t>(start) > text.size()) return -1;
    const size_t m = pattern.size();
    for (size_t i = static_cast<size_t>(start); i + m <= text.size(); ++i) {
        size_t k = 0;
        while (k < m && (pattern[k] == L'?' || pattern[k] == text[i + k])) ++k;
        if (k == m) return static_cast<int>(i);
    }
    return -1;
}

bool MatchWildcard(const std::wstring& text, const std::wstring& pattern, bool caseSensitive)
{
    // Greedy match with one back-track point: the last '*' seen.
    auto same = [caseSensitive](wchar_t a, wchar_t b) {
        return caseSensitive ? a == b : FoldAscii(a) == FoldAscii(b);
    };
    size_t t = 0, p = 0;
    size_t star = std::wstring::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            while (p < pattern.size() && pattern[p] == L'*') ++p;
            star = p;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == L'?' || same(pattern[p], text[t]))) {
            ++p;
            ++t;
        } else if (star != std::wstring::npos) {
            p = star;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

bool MatchPatternList(const std::wstring& text, const std::wstring& list, bool all, bool caseSensitive)
{
    StringList patterns;
    SplitString(list, L";", patterns);
    if (all) {
        for (const std::wstring& pattern : patterns) {
            if (!MatchWildcard(text, pattern, caseSensitive)) return false;
        }
        return true;
    }
    for (const std::wstring& pattern : patterns) {
        if (!pattern.empty() && MatchWildcard(text, pattern, caseSensitive)) return true;
    }
    return false;
}
