#pragma once
// A growable run of bytes: the raw data of a registry value, filled from hexadecimal or binary
// text, from bytes, from wide text or from an integer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/LastError.h"

class CByteStream {
public:
    CByteStream() = default;

    // Replaces the contents with the bytes that the text (up to its first zero character) spells
    // in base 16 or 2. One accumulator byte, never reset, takes each digit (16: shifted left by
    // 4, 2: by 1); it is appended after every second hex digit or eighth bit, and after the last
    // digit. So "0A1B" gives 0A 1B, "ABC" gives AB BC, and "1000000011" gives 80 03.
    // The empty text gives no bytes and true, yet records "参数为空". On a bad character false,
    // keeping the bytes appended before it.
    bool InitFromStr(const std::wstring& text, int base);
    // Replaces the contents with count bytes from data. A null data records "参数为空" and
    // changes nothing.
    void Assign(const unsigned char* data, size_t count);
    // Replaces the contents with the UTF-16 code units of the text (up to its first zero
    // character), low byte first, without a terminator.
    void FromWideString(const std::wstring& text);
    // Replaces the contents with the four bytes of value, least significant first.
    void FromInt32(int32_t value);
    void Append(unsigned char byte) { bytes_.push_back(byte); }
    // Removes every byte and releases the storage.
    void Clear();

    // The first byte; null when the stream is empty.
    const unsigned char* Data() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    size_t Size() const { return bytes_.size(); }
    bool Equals(const CByteStream& other) const { return bytes_ == other.bytes_; }
    // The bytes read as UTF-16 LE code units (an odd last byte is ignored), up to the first zero.
    std::wstring AsWideString() const;

    const CLastError& Error() const { return error_; }

private:
    CLastError error_;
    std::vector<unsigned char> bytes_;
};
