// Helpers that take text from anywhere, against references written from their descriptions:
// number text in bases 16, 2, 8 and 10, the byte stream's hex and binary text, web-address
// escaping, and relative paths.
//
// Input: a choice byte (bit 0 the code page), then two texts as UTF-16 LE units.
#include <cstring>
#include <string>
#include <vector>

#include "profile/RelativePath.h"
#include "support/ByteStream.h"
#include "support/NumberText.h"
#include "support/Url.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

std::wstring UpToZero(const std::wstring& text) { return text.substr(0, text.find(L'\0')); }

int Digit(wchar_t c, int base)
{
    int value = -1;
    if (c >= L'0' && c <= L'9') value = c - L'0';
    if (base == 16 && c >= L'a' && c <= L'f') value = c - L'a' + 10;
    if (base == 16 && c >= L'A' && c <= L'F') value = c - L'A' + 10;
    return value < base ? value : -1;
}

// The bytes a hex (4 bits a digit) or binary (1 bit) text spells: one accumulator byte takes
// every digit and is appended after every second hex digit or eighth bit, and after the last.
bool ReferenceBytes(const std::wstring& text, int base, std::vector<unsigned char>& bytes)
{
    const unsigned shift = base == 16 ? 4 : 1;
    const size_t perByte = base == 16 ? 2 : 8;
    unsigned accumulator = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int digit = Digit(text[i], base);
        if (digit < 0) return false;
        accumulator = ((accumulator << shift) | static_cast<unsigned>(digit)) & 0xFF;
        if ((i + 1) % perByte == 0 || i + 1 == text.size()) bytes.push_back(static_cast<unsigned char>(accumulator));
    }
    return true;
}

std::wstring ReferenceResolve(const std::wstring& relative, const std::wstring& base)
{
    if (relative.empty() || base.empty()) return std::wstring();
    std::wstring rest = relative;
    int levels;
    if (rest.compare(0, 2, L".\\") == 0) {
        rest.erase(0, 2);
        levels = 1;
    } else if (rest.compare(0, 3, L"..\\") == 0) {
        levels = 2;
        rest.erase(0, 3);
        while (rest.compare(0, 3, L"..\\") == 0) {
            rest.erase(0, 3);
            ++levels;
        }
        if (rest.compare(0, 2, L".\\") == 0) rest.erase(0, 2);
    } else {
        return relative;
    }
    std::wstring folder = base;
    if (folder.back() == L'\\') folder.pop_back();
    for (int i = 1; i < levels; ++i) {
        const size_t slash = folder.rfind(L'\\');
        if (slash != std::wstring::npos) folder.erase(slash);
    }
    return folder + L"\\" + rest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzInput input(data, size);
    const std::wstring text = input.Units(0);
    const std::wstring other = input.Units(1);
    const std::wstring carried = UpToZero(text);

    // Number text: checked bases against the reference, and each written number read back.
    for (int base : {16, 2, 8, 10, 7}) {
        int32_t value = 12345;
        CLastError error;
        const bool ok = StrToInt(text, value, base, error);
        if (base == 7) {
            if (ok) Broken("StrToInt took base 7");
            continue;
        }
        const size_t most = base == 16 ? 8 : base == 2 ? 32 : 16;
        if (base != 10) {
            bool digits = true;
            uint32_t expected = 0;
            for (wchar_t c : carried) {
                digits = digits && Digit(c, base) >= 0;
                if (digits) expected = expected * static_cast<uint32_t>(base) + static_cast<uint32_t>(Digit(c, base));
            }
            const bool fits = carried.size() <= most;
            if (ok != (fits && digits)) Broken("what StrToInt takes", Shown(carried));
            if (ok && value != static_cast<int32_t>(expected)) Broken("what StrToInt reads", Shown(carried));
        }
        if (ok && carried.empty() && value != 0) Broken("StrToInt of the empty text");
    }
    int32_t number = 0;
    std::memcpy(&number, input.Bytes(0).data(), std::min<size_t>(4, input.Bytes(0).size()));
    for (int base : {10, 16}) {
        int32_t back = 0;
        CLastError error;
        const std::wstring written = IntToStr(number, base);
        if (!StrToInt(written, back, base, error) || back != number) Broken("a number written and read back", Shown(written));
    }

    // The byte stream's hex and binary text, and its units.
    for (int base : {16, 2}) {
        CByteStream stream;
        std::vector<unsigned char> expected;
        const bool ok = stream.InitFromStr(text, base);
        if (ok != ReferenceBytes(carried, base, expected)) Broken("what InitFromStr takes", Shown(carried));
        if (ok && std::vector<unsigned char>(stream.Data(), stream.Data() + stream.Size()) != expected) {
            Broken("the bytes of InitFromStr", Shown(carried));
        }
    }
    CByteStream units;
    units.FromWideString(text);
    if (units.AsWideString() != carried) Broken("units to bytes and back", Shown(text));

    // Web addresses: escaping is undone by unescaping; decoding follows its three rules.
    if (UrlUnescape(UrlEscape(text)) != text) Broken("escaped and unescaped", Shown(text));
    const std::string narrow = input.Bytes(1);
    std::string decoded;
    bool valid = true;
    for (size_t i = 0; i < narrow.size() && valid; ++i) {
        if (narrow[i] == '+') {
            decoded += ' ';
        } else if (narrow[i] != '%') {
            decoded += narrow[i];
        } else if (i + 1 < narrow.size() && narrow[i + 1] == '%') {
            decoded += '%';
            ++i;
        } else if (i + 2 < narrow.size() && Digit(static_cast<unsigned char>(narrow[i + 1]), 16) >= 0 &&
                   Digit(static_cast<unsigned char>(narrow[i + 2]), 16) >= 0) {
            decoded += static_cast<char>(Digit(static_cast<unsigned char>(narrow[i + 1]), 16) * 16 +
                                         Digit(static_cast<unsigned char>(narrow[i + 2]), 16));
            i += 2;
        } else {
            valid = false;
        }
    }
    CLastError error;
    const std::string got = UrlDecode(narrow, error);
    if (valid ? got != decoded || error.GetErrorCode() != 0 : !got.empty() || error.GetErrorCode() != 1) {
        Broken("UrlDecode", Shown(narrow) + " gave " + Shown(got));
    }

    // Relative paths.
    if (ResolveRelativePath(text, other) != ReferenceResolve(text, other)) {
        Broken("ResolveRelativePath", Shown(text) + " in " + Shown(other));
    }
    return 0;
}
