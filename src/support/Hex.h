// Hex text: two upper-case digits per byte, first byte first. Readers accept
// either letter case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kx6000 {

// The value of one hex digit, or -1.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The value of 1 to 8 hex digits; nothing for an empty text, a longer one or a non-digit.
std::optional<uint32_t> ParseHex(std::string_view text);

// `value` as exactly `digits` upper-case hex digits (the low ones).
std::string ToHex(uint32_t value, int digits);

}  // namespace kx6000
