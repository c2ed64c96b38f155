#pragma once
// Escaping of text for use in web addresses, in the %XX and %uXXXX forms.

#include <string>

#include "support/LastError.h"

// Letters, digits and ! ' ( ) * - . _ ~ stay; characters from 128 up become %uXXXX, others %XX.
std::string UrlEscape(const std::wstring& text);
// '+' becomes a space, "%%" a percent sign, %XX that byte. Any other percent sequence
// records code 1, "error" in error and gives the empty string.
std::string UrlDecode(const std::string& text, CLastError& error);
// The inverse of UrlEscape; any character UrlEscape would not copy, or a percent sequence
// cut short, gives the empty string.
std::wstring UrlUnescape(const std::string& text);
