// Reading the lines and records of a download file: the parser's tools, kept apart from its rules.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "support/Errors.h"

namespace kx6000::records {

constexpr int32_t kCurrentLine = -1;
// No record is longer than 514 characters; a line past this bound is refused before it is gathered whole,
// so a file of one endless line costs no more memory than this.
constexpr size_t kLongestLine = 65536;

// Why a parse gives up: the number it gives and, for the technician, where and why.
struct ParseFailure {
    int32_t number;
    std::string reason;
    int32_t line = kCurrentLine;  // 0: the file as a whole
    bool atEnd = false;           // found at the end of the file, where a line feed alone may be the cause
};

// `text` in quotes, with what a terminal cannot show as \xNN.
std::string Shown(std::string_view text);

// Reads lines ended by CR LF or CR; a line feed alone is part of the line. Only a regular file is read. A
// line longer than kLongestLine fails the parse with 34 at that line.
class LineReader {
public:
    explicit LineReader(const std::string& path);

    // The next line without its end, valid until the next call; false at the end of the file.
    bool Next(std::string_view& line);
    // The number of the last line read, from 1.
    int32_t Number() const { return number; }

private:
    bool Fill();
    // Adds `length` characters at `start` to the line being gathered, refusing it past kLongestLine.
    void Gather(const char* start, size_t length);

    FileReader file;
    std::vector<char> buffer;
    size_t begin = 0, end = 0;
    bool skipLineFeed = false;  // the last line ended with the buffer's last byte, a CR
    std::string longLine;       // a line that ran over the end of the buffer
    int32_t number = 0;
};

// Characters from 1-based `position`, fewer or none at the end of the line.
inline std::string_view Mid(std::string_view line, size_t position, size_t length = std::string_view::npos) {
    return position - 1 < line.size() ? line.substr(position - 1, length) : std::string_view{};
}

// Per character: its hex value, with kLower for a lower-case digit, or kNotHex. The two flags are
// multiples of 256, so sums of these values keep the right low byte.
constexpr uint32_t kLower = 0x100, kNotHex = 0x200;
constexpr std::array<uint16_t, 256> kDigit = [] {
    std::array<uint16_t, 256> table{};
    table.fill(kNotHex);
    for (uint16_t i = 0; i < 10; ++i) table['0' + i] = i;
    for (uint16_t i = 0; i < 6; ++i) {
        table['A' + i] = static_cast<uint16_t>(10 + i);
        table['a' + i] = static_cast<uint16_t>((10 + i) | kLower);
    }
    return table;
}();

inline uint32_t Digit(char c) {
    return kDigit[static_cast<unsigned char>(c)];
}

// The digits after a line's type (trailing blanks and line feeds left out, as they lose nothing), read in
// one pass: the parse and its explanations both work from this.
struct Scan {
    std::string_view digits;
    uint32_t flags = 0;  // kLower and kNotHex of all the digits together
    uint32_t sum = 0;    // of the digit pairs, the checksum's included
};

Scan ScanLine(std::string_view line);

struct Record {
    int32_t address;
    int32_t bytes;  // data bytes the count gives
    int32_t words;
    std::string_view data;
};

// The address, the number of words of `width` bits and the data text of a data record.
Record ReadRecord(std::string_view line, int16_t addressDigits, int16_t width);

// The text of an "S0" record: its data digits taken two at a time as character codes, blanks trimmed.
std::string DecodeHeaderText(std::string_view line);

// The width of a "DW" line: positions 3 and 4, blanks trimmed, as a decimal number.
int16_t ReadWidth(std::string_view line);

// Hex digits of an address field for each record type that has one; 0 for any other type.
size_t AddressDigits(char type);

}  // namespace kx6000::records
