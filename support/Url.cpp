#include "support/Url.h"

#include "support/Format.h"

namespace {

bool IsUnreserved(unsigned c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '!': case '\'': case '(': case ')': case '*': case '-': case '.': case '_': case '~':
        return true;
    default:
        return false;
    }
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Value of count hex digits at text[at], or -1 when they are not all there.
int HexRun(const std::string& text, size_t at, size_t count)
{
    if (at + count > text.size()) return -1;
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
        int digit = HexValue(text[at + i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

std::string UrlEscape(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        unsigned code = static_cast<unsigned>(c);
        if (IsUnreserved(code)) {
            out.push_back(static_cast<char>(code));
        } else if (code >= 128) {
            out += FormatNarrow("%%u%04x", code);
        } else {
            out += FormatNarrow("%%%02x", code);
        }
    }
    return out;
}

std::string UrlDecode(const std::string& text, CLastError& error)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c != '%') {
            out.push_back(c);
        } else if (i + 1 < text.size() && text[i + 1] == '%') {
            out.push_back('%');
            i += 1;
        } else {
            int value = HexRun(text, i + 1, 2);
            if (value < 0) {
                error.SetError(L"error", kErrOwn);
                return std::string();
            }
            out.push_back(static_cast<char>(value));
            i += 2;
        }
    }
    return out;
}

std::wstring UrlUnescape(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            int value;
            if (i + 1 < text.size() && text[i + 1] == 'u') {
                value = HexRun(text, i + 2, 4);
                i += 5;
            } else {
                value = HexRun(text, i + 1, 2);
                i += 2;
            }
            if (value < 0) return std::wstring();
            out.push_back(static_cast<wchar_t>(value));
        } else if (IsUnreserved(c)) {
            out.push_back(static_cast<wchar_t>(c));
        } else {
            return std::wstring();
        }
    }
    return out;
}
