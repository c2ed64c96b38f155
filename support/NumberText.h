#pragma once
// An integer read from, or written as, text in a chosen base.

#include <cstdint>
#include <string>

#include "support/LastError.h"

// Reads text (up to its first zero character) as a number in base 16, 2, 8 or 10 into out.
// Bases 16, 2 and 8 accept at most 8, 32 and 16 characters and check every character (a bad
// octal digit is reported with the binary text); base 10 is _wtoi's reading, without checks.
// The empty text gives 0 and true, yet records "参数为空". Bits beyond 32 are lost. On failure
// out is untouched and error holds code 1 and the reason.
bool StrToInt(const std::wstring& text, int32_t& out, int base, CLastError& error);

// Base 10 as "%d", base 16 as "%02x" (lowercase, at least two digits); any other base gives
// the empty text.
std::wstring IntToStr(int value, int base);

// The value of ch as a digit of base 16 (ASCII, either case), 8 or 2; -1 when it is not one.
int DigitValue(wchar_t ch, int base);

// Failure texts of these conversions and of CByteStream, all recorded with code 1.
inline constexpr wchar_t kTextTooLong[] = L"转换字符串过长";
inline constexpr wchar_t kTextEmpty[] = L"参数为空";
inline constexpr wchar_t kTextNotHex[] = L"非十六进制字符串";
// Also the text for a bad octal digit.
inline constexpr wchar_t kTextNotBinary[] = L"非二进制字符串";
inline constexpr wchar_t kTextBadBase[] = L"不支持的转换方式";
