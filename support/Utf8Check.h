#pragma once
// Tells whether a run of bytes, given in pieces of any size, is strictly valid UTF-8 (RFC 3629:
// no overlong form, no encoded surrogate, nothing above U+10FFFF, no sequence cut short) and
// whether it holds any byte of 80 or more. Checked here rather than by the system's conversion,
// whose strictness differs between Windows versions and Wine.

#include <cstddef>

class CUtf8Check {
public:
    // Takes the next count bytes of the run.
    void Feed(const unsigned char* bytes, size_t count);
    // True when the bytes so far are valid UTF-8 and end with a whole character.
    bool IsValid() const { return valid_ && pending_ == 0; }
    bool HasNonAscii() const { return nonAscii_; }

private:
    bool valid_ = true;
    bool nonAscii_ = false;
    unsigned pending_ = 0;              // continuation bytes the current character still needs
    unsigned char low_ = 0x80;          // bounds of the next continuation byte: the first one of a
    unsigned char high_ = 0xBF;         // character is narrower where overlong forms would start
};
