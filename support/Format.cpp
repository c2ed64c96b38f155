#include "support/Format.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

const size_t kFirstBuffer = 255;

// Formats with vprint (the C runtime's _vsnwprintf or _vsnprintf) into a buffer of n characters
// (plus a zeroed guard character), doubling n until the output fitted.
template <typename Char, typename VPrint>
std::basic_string<Char> FormatGrowing(size_t n, VPrint vprint, const Char* format, va_list args)
{
    for (;; n *= 2) {
        std::vector<Char> buffer(n + 1, Char());
        va_list copy;
        va_copy(copy, args);
        const int written = vprint(buffer.data(), n, format, copy);
        va_end(copy);
        if (written >= 0) return std::basic_string<Char>(buffer.data());
    }
}

std::wstring FormatWideFrom(size_t n, const wchar_t* format, va_list args)
{
    return FormatGrowing(n, _vsnwprintf, format, args);
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
    va_list args;
    va_start(args, format);
    std::string result = FormatGrowing(kFirstBuffer, _vsnprintf, format, args);
    va_end(args);
    return result;
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
