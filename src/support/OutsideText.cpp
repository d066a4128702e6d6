#include "support/OutsideText.h"

#include <cstdint>

namespace kx6000 {
namespace {

// The length of the valid UTF-8 sequence at the start of `bytes`, or 0: no overlong forms, no surrogates,
// nothing beyond U+10FFFF.
size_t SequenceAt(std::string_view bytes) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || bytes.size() < length) return 0;
    // The second byte's range narrows after E0, ED, F0 and F4.
    const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string Utf8OfBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        size_t length = SequenceAt(bytes);
        if (length > 0) {
            text += bytes.substr(0, length);
        } else {
            const auto value = static_cast<uint8_t>(bytes[0]);
            text += static_cast<char>(0xC0 | value >> 6);
            text += static_cast<char>(0x80 | (value & 0x3F));
            length = 1;
        }
        bytes.remove_prefix(length);
    }
    return text;
}

std::string Printable(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const size_t length = SequenceAt(text);
        const auto lead = static_cast<uint8_t>(text[0]);
        const bool control = length == 0 || (length == 1 && (lead < 0x20 || lead == 0x7F)) ||
                             (length == 2 && lead == 0xC2 && static_cast<uint8_t>(text[1]) < 0xA0);
        const size_t taken = length == 0 ? 1 : length;
        for (char c : text.substr(0, taken)) {
            const auto byte = static_cast<uint8_t>(c);
            if (control) {
                shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
            } else {
                shown += c;
            }
        }
        text.remove_prefix(taken);
    }
    return shown;
}

std::string ListName(std::string_view productId) {
    std::string name;
    for (char c : productId) {
        if (c == '%') {
            name += "%25";
        } else if (c == '|') {
            name += "%7C";
        } else {
            name += c;
        }
    }
    return name;
}

bool NamesConfiguration(std::string_view name, std::string_view productId) {
    if (name == productId) return true;
    const std::string text = Utf8OfBytes(productId);
    return name == text || name == ListName(text);
}

}  // namespace kx6000
