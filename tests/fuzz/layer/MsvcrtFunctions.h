#pragma once
// The functions of Windows' C runtime that the program calls and glibc does not have; the fuzz
// build includes this before every source. Defined in FuzzLayer.cpp.
#include <cstdarg>
#include <cstddef>

extern "C" {
int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);
int _vsnprintf(char* buffer, size_t count, const char* format, va_list args);
int _wtoi(const wchar_t* text);
wchar_t* _itow(int value, wchar_t* buffer, int radix);
}
