#include "support/Charset.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// Every Windows ANSI code page, and UTF-8, maps the units 01-7F to the same ASCII characters,
// so pure-ASCII text converts without asking the system. Scripts and profiles are mostly ASCII,
// and this keeps reading and writing them cheap. Copies up to the first zero unit and returns
// true, or returns false (out undefined) at the first non-ASCII unit.
template <typename From, typename To>
bool CopyAscii(const std::basic_string<From>& text, std::basic_string<To>& out)
{
    const From* from = text.c_str();
    out.resize(text.size());
    size_t i = 0;
    for (; from[i] != 0; ++i) {
        if (static_cast<unsigned>(from[i]) > 0x7F) return false;
        out[i] = static_cast<To>(from[i]);
    }
    out.resize(i);
    return true;
}

void WideToNarrowInto(const std::wstring& text, UINT codePage, std::string& out)
{
    if (CopyAscii(text, out)) return;
    out.clear();
    int size = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr);
    out.assign(buffer.data());
}

void NarrowToWideInto(const std::string& text, UINT codePage, std::wstring& out)
{
    if (CopyAscii(text, out)) return;
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

UINT CodePageOf(TextEncoding encoding) { return encoding == TextEncoding::Utf8 ? CP_UTF8 : CP_ACP; }

std::wstring NarrowToWide(const std::string& text, UINT codePage)
{
    std::wstring out;
    NarrowToWideInto(text, codePage, out);
    return out;
}

} // namespace

std::string WideToAnsi(const std::wstring& text) { return WideToNarrow(text, CP_ACP); }
std::wstring AnsiToWide(const std::string& text) { return NarrowToWide(text, CP_ACP); }
std::wstring Utf8ToWide(const std::string& text) { return NarrowToWide(text, CP_UTF8); }
std::string WideToUtf8(const std::wstring& text) { return WideToNarrow(text, CP_UTF8); }

void DecodeText(const std::string& bytes, TextEncoding encoding, std::wstring& text)
{
    switch (encoding) {
    case TextEncoding::Utf16:
        // Windows is little-endian: the bytes of the file are the units in memory.
        text.resize(bytes.size() / sizeof(wchar_t));
        if (!text.empty()) std::memcpy(&text[0], bytes.data(), text.size() * sizeof(wchar_t));
        break;
    default: NarrowToWideInto(bytes, CodePageOf(encoding), text); break;
    }
}

void EncodeText(const std::wstring& text, TextEncoding encoding, std::string& bytes)
{
    switch (encoding) {
    case TextEncoding::Utf16:
        bytes.resize(text.size() * sizeof(wchar_t));
        if (!bytes.empty()) std::memcpy(&bytes[0], text.data(), bytes.size());
        break;
    default: WideToNarrowInto(text, CodePageOf(encoding), bytes); break;
    }
}
namespace {

// Whole texts, zero units included, with no default character of the caller's.
bool WideToNarrowWhole(const std::wstring& text, UINT codePage, DWORD flags, BOOL* usedDefault, std::string& out)
{
    out.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, usedDefault);
    if (size <= 0) return false;
    out.resize(static_cast<size_t>(size));
    return WideCharToMultiByte(codePage, flags, text.data(), length, &out[0], size, nullptr, usedDefault) == size;
}

bool NarrowToWideWhole(const std::string& bytes, UINT codePage, std::wstring& out)
{
    out.clear();
    if (bytes.empty()) return true;
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0) return false;
    out.resize(static_cast<size_t>(size));
    return MultiByteToWideChar(codePage, 0, bytes.data(), length, &out[0], size) == size;
}

// UTF-8, named or as the system's ANSI code page (Windows 10 and 11 make it 65001 with "Use Unicode
// UTF-8 for worldwide language support"). For it WideCharToMultiByte takes no flags but
// WC_ERR_INVALID_CHARS and no default character: given others it fails.
bool IsUtf8CodePage(UINT codePage)
{
    return codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8);
}

bool IsAscii(const std::wstring& text)
{
    for (wchar_t unit : text) {
        if (unit > 0x7F) return false;
    }
    return true;
}

} // namespace

bool EncodeTextExactly(const std::wstring& text, TextEncoding encoding, std::string& bytes)
{
    if (encoding == TextEncoding::Utf16) {
        EncodeText(text, encoding, bytes);
        return true;
    }
    if (IsAscii(text)) {
        bytes.assign(text.begin(), text.end());
        return true;
    }
    const UINT codePage = CodePageOf(encoding);
    bool converted;
    if (IsUtf8CodePage(codePage)) {
        // Every character has bytes in UTF-8 but a lone surrogate, which the check below finds.
        converted = WideToNarrowWhole(text, codePage, 0, nullptr, bytes);
    } else {
        // No best fit ("A" for an accented A): a character the code page lacks is a loss, which
        // the default character then shows.
        BOOL usedDefault = FALSE;
        converted = WideToNarrowWhole(text, codePage, WC_NO_BEST_FIT_CHARS, &usedDefault, bytes) && !usedDefault;
    }
    // And back: whatever a conversion does with what it cannot map, the text must come again.
    std::wstring back;
    return converted && NarrowToWideWhole(bytes, codePage, back) && back == text;
}

bool DecodeTextExactly(const std::string& bytes, TextEncoding encoding, std::wstring& text)
{
    DecodeText(bytes, encoding, text);
    if (encoding == TextEncoding::Utf16) return bytes.size() % sizeof(wchar_t) == 0;
    std::string again;
    return WideToNarrowWhole(text, CodePageOf(encoding), 0, nullptr, again) && again == bytes;
}

std::string AnsiToUtf8(const std::string& text) { return WideToUtf8(NarrowToWide(text, CP_ACP)); }
std::string Utf8ToAnsi(const std::string& text) { return WideToNarrow(NarrowToWide(text, CP_UTF8), CP_ACP); }
