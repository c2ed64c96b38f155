#pragma once
// What every fuzz target makes of its input: a first byte of choices, then parts parted by
// kPartBreak (the first part is a file's bytes; later ones texts, as UTF-16 LE units).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/layer/FuzzLayer.h"

// Chosen so that no real file of any kind holds it; the dictionary has it.
inline const std::string kPartBreak("\0EDIT\0", 6);

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
    {
        if (size > 0) {
            choices_ = data[0];
            ++data;
            --size;
        }
        const std::string all(reinterpret_cast<const char*>(data), size);
        size_t start = 0;
        for (;;) {
            const size_t at = all.find(kPartBreak, start);
            parts_.push_back(all.substr(start, at == std::string::npos ? std::string::npos : at - start));
            if (at == std::string::npos) break;
            start = at + kPartBreak.size();
        }
        // Bit 0 of the choices: the ANSI code page the input is read under.
        fuzz_layer::SetAnsiCodePage((choices_ & 1) != 0 ? 936 : 1252);
    }
    // The choice bits above bit 0.
    unsigned Choices() const { return choices_ >> 1; }
    size_t Parts() const { return parts_.size(); }
    const std::string& Bytes(size_t part) const
    {
        static const std::string none;
        return part < parts_.size() ? parts_[part] : none;
    }
    // A part as UTF-16 LE units (a lone last byte dropped).
    std::wstring Units(size_t part) const
    {
        const std::string& bytes = Bytes(part);
        std::wstring units(bytes.size() / 2, L'\0');
        for (size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<wchar_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
        }
        return units;
    }

private:
    unsigned choices_ = 0;
    std::vector<std::string> parts_;
};

// A broken promise: says which, with what the caller adds, and ends the run (libFuzzer then keeps
// the input).
[[noreturn]] void Broken(const char* promise, const std::string& detail = std::string());

// Text for a report: printable ASCII as it is, everything else escaped.
std::string Shown(const std::string& bytes);
std::string Shown(const std::wstring& units);
