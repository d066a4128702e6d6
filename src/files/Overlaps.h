// Addresses of a run that no radio's flash can take as given, seen from the files alone: addresses past
// the last a flash can have, and images that would write the same addresses. Each image goes to the flash
// of the device its "MD" line names or, without one, to the device chosen for the image before it (the
// radio itself first): only images going to the same flash can collide.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/colFiles.h"
#include "support/Errors.h"

namespace kx6000 {

// The flash each image goes to, in the run's order: images with equal texts go to the same flash.
std::vector<std::string> ImageTargets(const colFiles& images);

// What such a run gives: "Protocol - error in address", as for an address the radio's flash cannot take.

// The last address a flash can have: the radio gives its blocks' starts, and the files their addresses,
// as signed 32-bit numbers.
constexpr int64_t kLastFlashAddress = 0x7FFFFFFF;

// Why a run's images cannot be written as given, said on the image it is seen on (the later of two).
struct AddressRefusal {
    colFiles::FilePtr image;
    std::string text;
};

// The first reason found, if any: an address past the last, else two images writing the same addresses.
std::optional<AddressRefusal> RefuseAddresses(const colFiles& images);

// An image as the technician knows it: its file, its place in the file after the first, and its tag.
std::string ImageLabel(const clsFile& image);

// An address as the technician reads it: "0x" and upper-case hex digits, no leading zeros.
std::string HexAddress(int64_t address);

}  // namespace kx6000
