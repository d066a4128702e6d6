// The download file parser: S-record text with the radio tools' own line types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/colFiles.h"

namespace kx6000 {

// What a parse leaves behind for the next one (the manager keeps it).
struct ParserState {
    int16_t DataWidth = 0;      // word width in bits; set by "DW" lines, 16 when still 0 at an "S0" line
    int16_t AddressDigits = 0;  // hex digits of the last data record type's address
};

// A remark on one line of a download file; line 0 is the file as a whole.
struct FileNote {
    int32_t line;
    std::string text;
};

// What a parse found that a technician should know before the radio is touched.
struct FileNotes {
    static constexpr size_t kWarningsKept = 10;
    std::optional<FileNote> failure;  // why the parse gave 33 or 34
    // What would not reach the radio whole: data it refuses halfway (error 54), and lines whose data the
    // parse would drop or misread; each kind of line once, at its first line, with how many more share it.
    std::vector<FileNote> refusals;
    std::vector<FileNote> warnings;  // what loses nothing (a wrong checksum): the first kWarningsKept
    int32_t warningsLeftOut = 0;
    int32_t wholeImages = 0;  // the images read to their terminator: the first ones of the file
};

// Parses `strFileName` into `files`, one clsFile per image, and returns 0, 33
// ("File does not exist") or 34 ("File format is not valid"). Images added
// before a failure stay in `files`. With `tagSearch`, an image whose tag does
// not begin with "ZMA" is searched for a tag inside its data. With `notes`,
// the parse also says where and why the file fails, what it would not write
// whole, and what it tolerates.
int32_t ParseDownloadFile(const std::string& strFileName, colFiles& files, ParserState& state, bool tagSearch,
                          FileNotes* notes = nullptr);

// Why the radio would refuse a table of `digits` data digits at `address` after erasing its flash: it takes
// data only in whole 4-digit words. Empty when the digits are whole words.
std::string UnevenTableReason(int64_t address, size_t digits);

}  // namespace kx6000
