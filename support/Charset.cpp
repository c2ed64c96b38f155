#include "support/Charset.h"

#include <windows.h>
#include <vector>

namespace {

// Every Windows ANSI code page, and UTF-8, maps the bytes 01-7F to the same ASCII characters,
// so pure-ASCII text converts without asking the system. Scripts and profiles are mostly ASCII,
// and this keeps reading and writing them cheap. Returns the length up to the first zero, or
// -1 when the text holds a non-ASCII unit before it.
template <typename Char>
int AsciiPrefixLength(const std::basic_string<Char>& text)
{
    const Char* p = text.c_str();
    int length = 0;
    for (; p[length] != 0; ++length) {
        if (static_cast<unsigned>(p[length]) > 0x7F) return -1;
    }
    return length;
}

// Unit-by-unit copy of ASCII text into out, reusing its storage. (assign() from iterators of
// another character type builds a temporary string first.)
template <typename From, typename To>
void CopyUnits(const From* from, size_t count, std::basic_string<To>& out)
{
    out.resize(count);
    To* to = &out[0];
    for (size_t i = 0; i < count; ++i) to[i] = static_cast<To>(from[i]);
}

void WideToNarrowInto(const std::wstring& text, UINT codePage, std::string& out)
{
    int ascii = AsciiPrefixLength(text);
    if (ascii >= 0) {
        CopyUnits(text.c_str(), static_cast<size_t>(ascii), out);
        return;
    }
    out.clear();
    int size = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr);
    out.assign(buffer.data());
}

void NarrowToWideInto(const std::string& text, UINT codePage, std::wstring& out)
{
    int ascii = AsciiPrefixLength(text);
    if (ascii >= 0) {
        CopyUnits(text.c_str(), static_cast<size_t>(ascii), out);
        return;
    }
    out.clear();
    int size = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 0) return;
    std::vector<wchar_t> buffer(static_cast<size_t>(size) + 1, L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, buffer.data(), size);
    out.assign(buffer.data());
}

std::string WideToNarrow(const std::wstring& text, UINT codePage)
{
    std::string out;
    WideToNarrowInto(text, codePage, out);
    return out;
}

std::wstring NarrowToWide(const std::string& text, UINT codePage)
{
    std::wstring out;
    NarrowToWideInto(text, codePage, out);
    return out;
}

} // namespace

std::string WideToAnsi(const std::wstring& text)
{
    if (text.empty()) return std::string();
    return WideToNarrow(text, CP_ACP);
}

void WideToAnsiInto(const std::wstring& text, std::string& out)
{
    if (text.empty()) {
        out.clear();
        return;
    }
    WideToNarrowInto(text, CP_ACP, out);
}

void AnsiToWideInto(const std::string& text, std::wstring& out)
{
    if (text.empty()) {
        out.clear();
        return;
    }
    NarrowToWideInto(text, CP_ACP, out);
}

std::wstring AnsiToWide(const std::string& text)
{
    if (text.empty()) return std::wstring();
    return NarrowToWide(text, CP_ACP);
}

std::wstring Utf8ToWide(const std::string& text) { return NarrowToWide(text, CP_UTF8); }
std::string WideToUtf8(const std::wstring& text) { return WideToNarrow(text, CP_UTF8); }
std::string AnsiToUtf8(const std::string& text) { return WideToUtf8(NarrowToWide(text, CP_ACP)); }
std::string Utf8ToAnsi(const std::string& text) { return WideToNarrow(NarrowToWide(text, CP_UTF8), CP_ACP); }
