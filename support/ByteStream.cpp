#include "support/ByteStream.h"

#include "support/NumberText.h"

bool CByteStream::InitFromStr(const std::wstring& input, int base)
{
    bytes_.clear();
    if (base != 16 && base != 2) {
        error_.SetError(kTextBadBase, kErrOwn);
        return false;
    }
    // Texts are carried up to their first zero character.
    const std::wstring text(input.c_str());
    if (text.empty()) {
        error_.SetError(kTextEmpty, kErrOwn);
        return true;
    }

    const size_t last = text.size() - 1;
    const size_t digitsPerByte = base == 16 ? 2 : 8;
    unsigned char accumulator = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0) {
            error_.SetError(base == 16 ? kTextNotHex : kTextNotBinary, kErrOwn);
            return false;
        }
        accumulator = static_cast<unsigned char>((accumulator << (base == 16 ? 4 : 1)) + digit);
        if ((i + 1) % digitsPerByte == 0 || i == last) bytes_.push_back(accumulator);
    }
    return true;
}

void CByteStream::Assign(const unsigned char* data, size_t count)
{
    if (data == nullptr) {
        error_.SetError(kTextEmpty, kErrOwn);
        return;
    }
    // Copied before the old contents go, so that data may point into them.
    std::vector<unsigned char> copy(data, data + count);
    bytes_.swap(copy);
}

void CByteStream::FromWideString(const std::wstring& text)
{
    bytes_.clear();
    for (const wchar_t* p = text.c_str(); *p != L'\0'; ++p) {
        const auto unit = static_cast<uint16_t>(*p);
        bytes_.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes_.push_back(static_cast<unsigned char>(unit >> 8));
    }
}

void CByteStream::FromInt32(int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    bytes_.assign({static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                   static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)});
}

void CByteStream::Clear()
{
    std::vector<unsigned char>().swap(bytes_);
}

std::wstring CByteStream::AsWideString() const
{
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes_.size(); i += 2) {
        const auto unit = static_cast<wchar_t>(bytes_[i] | (bytes_[i + 1] << 8));
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
}
