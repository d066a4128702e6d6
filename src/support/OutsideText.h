// Bytes from outside the program (the radio's product IDs, image tags, file names) as the text every front
// end gives its callers, and as the configuration list writes them.
#pragma once

#include <string>
#include <string_view>

namespace kx6000 {

// The bytes as UTF-8 text: a valid UTF-8 sequence stays as it is, every other byte is taken as the Latin-1
// character of its value (so C3 BF and a lone FF both read "ÿ").
std::string Utf8OfBytes(std::string_view bytes);

// Text from outside made safe to print on a terminal or write in a log: every C0 control, DEL, C1 control
// (U+0080 to U+009F) and byte that is no valid UTF-8 is shown as "\xNN" per byte, so nothing the radio, a
// file, a USB device or another process holds moves the cursor, sets the title or starts a line of its own.
// Valid UTF-8 otherwise stays as it is; the result holds nothing to escape, so it is its own printable form.
std::string Printable(std::string_view text);

// A product ID as the list "ProductID|Status|..." writes it: "%" as "%25" and "|" as "%7C", so the list
// splits on "|" into its pairs whatever the radio holds.
std::string ListName(std::string_view productId);

// Whether a caller's `name` names the configuration `productId` (the radio's bytes): given as those bytes,
// as their UTF-8 text, or as the list writes it.
bool NamesConfiguration(std::string_view name, std::string_view productId);

}  // namespace kx6000
