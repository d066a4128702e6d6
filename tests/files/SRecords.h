// Download files written by hand for tests: S-record lines and whole images.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/Hex.h"

namespace kx6000::test {

// `digits` hex digits of random data, the same for the same seed.
inline std::string RandomHex(size_t digits, uint32_t seed) {
    std::mt19937 random(seed);
    std::string hex;
    while (hex.size() < digits) hex += ToHex(random() & 0xFF, 2);
    return hex.substr(0, digits);
}

inline std::vector<uint8_t> HexBytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(*ParseHex(hex.substr(i, 2))));
    return bytes;
}

// One S-record line: type, count, address, data and their checksum.
inline std::string Rec(const std::string& type, uint32_t address, const std::string& data) {
    int addressDigits = type == "S2" || type == "S8" ? 6 : type == "S3" || type == "S7" ? 8 : 4;
    size_t count = addressDigits / 2 + data.size() / 2 + 1;
    std::string record = ToHex(static_cast<uint32_t>(count), 2) + ToHex(address, addressDigits) + data;
    uint32_t sum = 0;
    for (uint8_t byte : HexBytes(record)) sum += byte;
    return type + record + ToHex(~sum & 0xFF, 2) + "\r\n";
}

// An "S0" line carrying `text`.
inline std::string Header(const std::string& text) {
    std::string hex;
    for (char c : text) hex += ToHex(static_cast<unsigned char>(c), 2);
    return Rec("S0", 0, hex);
}

// One image of 16-bit words: its header, records of eight words from each run's
// word address, and the terminator matching the record type.
inline std::string ImageText(const std::string& tag, const std::string& type,
                             const std::vector<std::pair<uint32_t, std::string>>& runs) {
    std::string text = Header(tag);
    for (const auto& [address, hex] : runs) {
        for (size_t at = 0; at < hex.size(); at += 32)
            text += Rec(type, address + static_cast<uint32_t>(at / 4), hex.substr(at, 32));
    }
    return text + Rec(type == "S1" ? "S9" : type == "S2" ? "S8" : "S7", 0, "");
}

}  // namespace kx6000::test
