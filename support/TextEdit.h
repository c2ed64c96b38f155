#pragma once
// Editing operations on wide text. Each runs in time linear in its input.

#include <string>
#include <vector>

// An ordered list of texts; duplicates allowed.
using StringList = std::vector<std::wstring>;

// Removes every leading, then every trailing occurrence of ch.
void TrimChar(std::wstring& text, wchar_t ch);
// From the start: drops everything before the first ch (and ch too with removeChar).
// From the end: drops everything after the last ch (and ch too with removeChar).
// Without an occurrence the text is unchanged.
void CutAtChar(std::wstring& text, wchar_t ch, bool fromStart, bool removeChar);
// Splits at every separator. Adjacent or leading separators give empty elements; a trailing
// separator gives no empty last element; an empty text gives no element; an empty separator
// gives the whole text.
void SplitString(const std::wstring& text, const std::wstring& separator, StringList& out);
// <0, 0, >0 as the upper-cased texts compare in code-unit order.
bool StartsWith(const std::wstring& text, const wchar_t* prefix);
int CompareNoCase(const std::wstring& a, const std::wstring& b);
// Removes the pattern until it no longer occurs, including occurrences that removals bring together.
void RemoveAll(std::wstring& text, const std::wstring& pattern);
// Replaces each occurrence of search; the search resumes one character past the inserted text,
// so of two adjacent occurrences only the first is replaced.
void ReplaceAll(std::wstring& text, const std::wstring& search, const std::wstring& replacement);
// Removes count characters from the start or from the end.
void RemoveChars(std::wstring& text, size_t count, bool fromStart);
void ToUpperCase(std::wstring& text);
void ToLowerCase(std::wstring& text);

// First index at or after start where pattern matches ('?' matches any one character);
// -1 when there is none, when the pattern is empty or when start lies outside the text.
int FindWithWildcard(const std::wstring& text, const std::wstring& pattern, int start);
// Whole-text match: '*' any run, '?' any one character. Without caseSensitive, A-Z fold to a-z.
bool MatchWildcard(const std::wstring& text, const std::wstring& pattern, bool caseSensitive);
// Patterns separated by ';'. all: every entry must match; otherwise any non-empty entry.
bool MatchPatternList(const std::wstring& text, const std::wstring& list, bool all, bool caseSensitive);
