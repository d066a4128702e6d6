// The download file parser: S-record text with the radio tools' own line types.
#pragma once

#include <cstdint>
#include <string>

#include "files/colFiles.h"

namespace kx6000 {

// What a parse leaves behind for the next one (the manager keeps it).
struct ParserState {
    int16_t DataWidth = 0;      // word width in bits; set by "DW" lines, 16 when still 0 at an "S0" line
    int16_t AddressDigits = 0;  // hex digits of the last data record type's address
};

// Parses `strFileName` into `files`, one clsFile per image, and returns 0, 33
// ("File does not exist") or 34 ("File format is not valid"). Images added
// before a failure stay in `files`. With `tagSearch`, an image whose tag does
// not begin with "ZMA" is searched for a tag inside its data.
int32_t ParseDownloadFile(const std::string& strFileName, colFiles& files, ParserState& state,
                          bool tagSearch);

}  // namespace kx6000
