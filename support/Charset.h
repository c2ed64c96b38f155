#pragma once
// Conversion between wide (UTF-16) text and narrow text in the system ANSI code page or UTF-8.
// Every input is taken up to its first zero character. Characters the target code page lacks
// become its default character; a failing system call gives the empty string.

#include <string>

#include "support/TextEncoding.h"

std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// A file's bytes as text, and text as a file's bytes, in its encoding (UTF-16: two bytes a
// unit, low byte first, taken whole; a lone last byte is dropped).
void DecodeText(const std::string& bytes, TextEncoding encoding, std::wstring& text);
void EncodeText(const std::wstring& text, TextEncoding encoding, std::string& bytes);
// The same, only when nothing is lost: true when the bytes decode to exactly text again (no
// character replaced by the code page's default one, none taken for a look-alike, no lone
// surrogate); false otherwise, bytes then undefined. Takes the whole text, zero units too.
bool EncodeTextExactly(const std::wstring& text, TextEncoding encoding, std::string& bytes);
// Decodes as DecodeText and tells whether encoding the text gives back exactly the bytes: false
// for bytes that make no character of the encoding, or another form of one.
bool DecodeTextExactly(const std::string& bytes, TextEncoding encoding, std::wstring& text);
std::string AnsiToUtf8(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);
