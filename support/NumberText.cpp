#include "support/NumberText.h"

#include "support/Format.h"

namespace {

// Longest text each checked base accepts: as many digits as 32 bits hold (octal: 16).
size_t MaxDigits(int base)
{
    switch (base) {
    case 16: return 8;
    case 2: return 32;
    case 8: return 16;
    default: return 0;
    }
}

} // namespace

int DigitValue(wchar_t ch, int base)
{
    if (base == 16) {
        if (ch >= L'a' && ch <= L'f') ch = static_cast<wchar_t>(ch - L'a' + L'A');
        if (ch >= L'A' && ch <= L'F') return ch - L'A' + 10;
        return (ch >= L'0' && ch <= L'9') ? ch - L'0' : -1;
    }
    return (ch >= L'0' && ch < L'0' + base) ? ch - L'0' : -1;
}

bool StrToInt(const std::wstring& input, int32_t& out, int base, CLastError& error)
{
    if (base != 16 && base != 2 && base != 8 && base != 10) {
        error.SetError(kTextBadBase, kErrOwn);
        return false;
    }
    // Texts are carried up to their first zero character.
    const std::wstring text(input.c_str());
    if (base != 10 && text.size() > MaxDigits(base)) {
        error.SetError(kTextTooLong, kErrOwn);
        return false;
    }
    if (text.empty()) {
        error.SetError(kTextEmpty, kErrOwn);
        out = 0;
        return true;
    }
    if (base == 10) {
        out = TextToInt(text);
        return true;
    }

    // Unsigned, so that octal digits pushed past bit 31 drop out without overflow.
    uint32_t value = 0;
    for (wchar_t ch : text) {
        const int digit = DigitValue(ch, base);
        if (digit < 0) {
            error.SetError(base == 16 ? kTextNotHex : kTextNotBinary, kErrOwn);
            return false;
        }
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
    out = static_cast<int32_t>(value);
    return true;
}

std::wstring IntToStr(int value, int base)
{
    if (base == 10) return FormatWide(L"%d", value);
    if (base == 16) return FormatWide(L"%02x", static_cast<unsigned>(value));
    return std::wstring();
}
