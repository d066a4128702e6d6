#include "files/Records.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "support/Hex.h"

namespace kx6000::records {
std::string Shown(std::string_view text) {
    if (text.empty()) return "an empty line";
    std::string shown = "\"";
    for (char c : text) {
        if (c >= ' ' && c <= '~') {
            shown += c;
        } else {
            shown += "\\x" + ToHex(static_cast<unsigned char>(c), 2);
        }
    }
    return shown + '"';
}

LineReader::LineReader(const std::string& path) : buffer(256 * 1024) {
    // Anything but a regular file (a folder, a FIFO, a device) is no download file.
    std::error_code error = file.Open(path);
    if (error == kNotRegularFile) throw ParseFailure{kFileMissing, "is not a regular file", 0};
    if (error) throw ParseFailure{kFileMissing, "cannot be read: " + error.message(), 0};
}

bool LineReader::Next(std::string_view& line) {
    if (skipLineFeed) {
        skipLineFeed = false;
        if ((begin < end || Fill()) && buffer[begin] == '\n') ++begin;
    }
    longLine.clear();
    bool partial = false;
    for (;;) {
        if (begin == end && !Fill()) {
            line = longLine;
            number += partial;
            return partial;
        }
        const char* start = buffer.data() + begin;
        size_t available = end - begin;
        const char* cr = static_cast<const char*>(std::memchr(start, '\r', available));
        if (cr == nullptr) {
            Gather(start, available);
            begin = end;
            partial = true;
            continue;
        }
        size_t length = static_cast<size_t>(cr - start);
        if (partial || length > kLongestLine) Gather(start, length);
        begin += length + 1;
        if (begin == end) {
            skipLineFeed = true;
        } else if (buffer[begin] == '\n') {
            ++begin;
        }
        line = partial ? std::string_view(longLine) : std::string_view(start, length);
        ++number;
        return true;
    }
}

void LineReader::Gather(const char* start, size_t length) {
    if (longLine.size() + length <= kLongestLine) {
        longLine.append(start, length);
        return;
    }
    std::string reason = "line " + std::to_string(number + 1) + " is longer than " +
                         std::to_string(kLongestLine) + " characters; no record is longer than 514";
    // Line feeds alone make one line of many: the likelier cause.
    if (std::string_view(longLine).find('\n') != std::string_view::npos ||
        std::memchr(start, '\n', std::min(length, kLongestLine)) != nullptr)
        reason += " (it holds line feeds without carriage returns: lines must end with CR LF or CR)";
    throw ParseFailure{kFileInvalid, reason, number + 1};
}

bool LineReader::Fill() {
    size_t got = 0;
    if (std::error_code error = file.Read(buffer.data(), buffer.size(), got))
        throw ParseFailure{kFileMissing, "cannot be read: " + error.message(), 0};
    begin = 0;
    end = got;
    return got > 0;
}

Scan ScanLine(std::string_view line) {
    Scan scan;
    std::string_view digits = line.substr(std::min<size_t>(2, line.size()));
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t' || digits.back() == '\n'))
        digits.remove_suffix(1);
    scan.digits = digits;
    uint32_t flags = 0, highs = 0, lows = 0;
    size_t i = 0;
    for (; i + 1 < digits.size(); i += 2) {
        uint32_t high = Digit(digits[i]), low = Digit(digits[i + 1]);
        flags |= high | low;
        highs += high;
        lows += low;
    }
    if (i < digits.size()) flags |= Digit(digits[i]);
    scan.flags = flags & (kLower | kNotHex);
    scan.sum = (highs << 4) + lows;
    return scan;
}

namespace {

// A field of exactly `digits` hex digits; anything else makes the file invalid.
uint32_t HexField(std::string_view line, size_t position, size_t digits, const char* what) {
    std::string_view field = Mid(line, position, digits);
    uint32_t value = 0, flags = field.size() == digits ? 0 : kNotHex;
    for (char c : field) {
        flags |= Digit(c);
        value = value << 4 | (Digit(c) & 15);
    }
    if (flags & kNotHex)
        throw ParseFailure{kFileInvalid,
                           std::string(what) + " is not " + std::to_string(digits) + " hex digits"};
    return value;
}

}  // namespace

Record ReadRecord(std::string_view line, int16_t addressDigits, int16_t width) {
    int32_t bytesPerWord = width / 8;
    int32_t count = static_cast<int32_t>(HexField(line, 3, 2, "the count"));
    Record record{};
    record.address =
        static_cast<int32_t>(HexField(line, 5, static_cast<size_t>(addressDigits), "the address"));
    record.bytes = count - (addressDigits / 2 + 1);
    record.words = record.bytes / bytesPerWord;
    if (record.words < 0)
        throw ParseFailure{kFileInvalid, "the count " + ToHex(static_cast<uint32_t>(count), 2) +
                                             " is too small to hold the address and the checksum"};
    record.data = Mid(line, static_cast<size_t>(addressDigits) + 5,
                      2 * static_cast<size_t>(bytesPerWord) * static_cast<size_t>(record.words));
    return record;
}

std::string DecodeHeaderText(std::string_view line) {
    if (line.size() < 10) throw ParseFailure{kFileInvalid, "an \"S0\" line of fewer than 10 characters"};
    std::string_view digits = line.substr(8, line.size() - 10);
    std::string text;
    for (size_t i = 0; i < digits.size(); i += 2) {
        std::optional<uint32_t> code = ParseHex(digits.substr(i, 2));
        if (!code) throw ParseFailure{kFileInvalid, "the text of the \"S0\" line is not hex"};
        text += static_cast<char>(*code);
    }
    size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int16_t ReadWidth(std::string_view line) {
    std::string_view text = Mid(line, 3, 2);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int16_t width = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), width);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw ParseFailure{kFileMissing,
                           "the \"DW\" width " + Shown(Mid(line, 3, 2)) + " is not a decimal number"};
    return width;
}

size_t AddressDigits(char type) {
    switch (type) {
        case '0':
        case '1':
        case '9':
            return 4;
        case '2':
        case '8':
            return 6;
        case '3':
        case '7':
            return 8;
        default:
            return 0;
    }
}

}  // namespace kx6000::records
