#include "support/Format.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

const size_t kFirstBuffer = 255;

// Formats into a buffer of n characters (plus a zeroed guard character), doubling n
// until the C runtime reports that the output fitted.
std::wstring FormatWideFrom(size_t n, const wchar_t* format, va_list args)
{
    for (;;) {
        std::vector<wchar_t> buffer(n + 1, L'\0');
        va_list copy;
        va_copy(copy, args);
        int written = _vsnwprintf(buffer.data(), n, format, copy);
        va_end(copy);
        if (written >= 0) return std::wstring(buffer.data());
        n *= 2;
    }
}

std::wstring FormatWideFromArgs(size_t n, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring result = FormatWideFrom(n, format, args);
    va_end(args);
    return result;
}

} // namespace

size_t InitialFormatBuffer(size_t formatLength)
{
    size_t n = kFirstBuffer;
    if (formatLength >= 256) {
        while (n < formatLength) n *= 2;
    }
    return n;
}

std::wstring FormatWideV(const wchar_t* format, va_list args)
{
    return FormatWideFrom(kFirstBuffer, format, args);
}

std::wstring FormatWide(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring result = FormatWideFrom(kFirstBuffer, format, args);
    va_end(args);
    return result;
}

std::wstring FormatWideText(const std::wstring& format, const std::wstring& text)
{
    return FormatWideFromArgs(InitialFormatBuffer(format.size()), format.c_str(), text.c_str());
}

std::wstring FormatWideTexts(const std::wstring& format, const std::wstring& first, const std::wstring& second)
{
    return FormatWideFromArgs(InitialFormatBuffer(format.size()), format.c_str(), first.c_str(), second.c_str());
}

std::string FormatNarrow(const char* format, ...)
{
    size_t n = kFirstBuffer;
    for (;;) {
        std::vector<char> buffer(n + 1, '\0');
        va_list args;
        va_start(args, format);
        int written = _vsnprintf(buffer.data(), n, format, args);
        va_end(args);
        if (written >= 0) return std::string(buffer.data());
        n *= 2;
    }
}

int TextToInt(const std::wstring& text)
{
    return _wtoi(text.c_str());
}

std::wstring IntToText(int value, int radix)
{
    wchar_t buffer[40] = {};
    _itow(value, buffer, radix);
    return std::wstring(buffer);
}
