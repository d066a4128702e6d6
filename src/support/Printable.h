// Text from a radio or a file, made safe to print on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace kx6000 {

// `text` with each control byte (below 0x20, and 0x7F) as "\xNN", so that nothing the radio or a file
// holds moves the cursor, clears the screen or starts a line of its own. The result holds no control
// byte, so it is its own printable form.
inline std::string Printable(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
        } else {
            shown += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
        }
    }
    return shown;
}

}  // namespace kx6000
