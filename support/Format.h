#pragma once
// printf-style formatting into a string of whatever length the output needs, and the
// integer conversions of the C runtime. The wide formats follow the C runtime's wide
// family: "%s" takes a wide string.

#include <cstdarg>
#include <string>

std::wstring FormatWide(const wchar_t* format, ...);
std::wstring FormatWideV(const wchar_t* format, va_list args);
std::wstring FormatWideText(const std::wstring& format, const std::wstring& text);
std::wstring FormatWideTexts(const std::wstring& format, const std::wstring& first, const std::wstring& second);
std::string FormatNarrow(const char* format, ...);

// Buffer size (characters) that FormatWideText and FormatWideTexts start with.
size_t InitialFormatBuffer(size_t formatLength);

// _wtoi: optional white space, optional sign, decimal digits up to the first other character.
int TextToInt(const std::wstring& text);
// _itow: a minus sign only for radix 10, lowercase letters above 9.
std::wstring IntToText(int value, int radix);
