#include "support/Utf8Check.h"

#include <cstdint>
#include <cstring>

void CUtf8Check::Feed(const unsigned char* bytes, size_t count)
{
    if (!valid_) return;
    size_t i = 0;
    while (i < count) {
        if (pending_ == 0) {
            // Scripts are mostly ASCII: eight bytes at a time while none has its top bit.
            while (count - i >= 8) {
                uint32_t first;
                uint32_t second;
                std::memcpy(&first, bytes + i, 4);
                std::memcpy(&second, bytes + i + 4, 4);
                if (((first | second) & 0x80808080u) != 0) break;
                i += 8;
            }
            if (i == count) return;
            const unsigned char lead = bytes[i++];
            if (lead < 0x80) continue;
            nonAscii_ = true;
            low_ = 0x80;
            high_ = 0xBF;
            if (lead >= 0xC2 && lead <= 0xDF) {
                pending_ = 1;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                pending_ = 2;
                if (lead == 0xE0) low_ = 0xA0;   // below: an overlong form
                if (lead == 0xED) high_ = 0x9F;  // above: a surrogate D800-DFFF
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                pending_ = 3;
                if (lead == 0xF0) low_ = 0x90;   // below: an overlong form
                if (lead == 0xF4) high_ = 0x8F;  // above: beyond U+10FFFF
            } else {
                // A continuation byte without a lead, C0 and C1 (overlong), F5 and above.
                valid_ = false;
                return;
            }
            continue;
        }
        const unsigned char next = bytes[i++];
        if (next < low_ || next > high_) {
            valid_ = false;
            return;
        }
        low_ = 0x80;
        high_ = 0xBF;
        --pending_;
    }
}
