#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>

void Broken(const char* promise, const std::string& detail)
{
    std::fprintf(stderr, "\nBROKEN PROMISE: %s (code page %u)\n%s\n", promise, fuzz_layer::AnsiCodePage(),
                 detail.c_str());
    std::abort();
}

namespace {
template <typename Text>
std::string ShownUnits(const Text& text)
{
    std::string shown = "\"";
    for (auto unit : text) {
        const unsigned value = static_cast<std::make_unsigned_t<decltype(unit)>>(unit);
        if (value >= 0x20 && value < 0x7F && value != '\\' && value != '"') {
            shown += static_cast<char>(value);
        } else {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, sizeof(unit) == 1 ? "\\x%02X" : "\\u%04X", value);
            shown += escaped;
        }
    }
    return shown + "\"";
}
} // namespace

std::string Shown(const std::string& bytes) { return ShownUnits(bytes); }
std::string Shown(const std::wstring& units) { return ShownUnits(units); }
