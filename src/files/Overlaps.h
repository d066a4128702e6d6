// Images of one run that would write the same addresses. Each image goes to the flash of the device its
// "MD" line names or, without one, to the device chosen for the image before it (the radio itself first):
// only images going to the same flash can collide.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/colFiles.h"

namespace kx6000 {

// The flash each image goes to, in the run's order: images with equal texts go to the same flash.
std::vector<std::string> ImageTargets(const colFiles& images);

// What a run of images that would erase each other gives: "Protocol - error in address", as for an address
// the radio's flash cannot take.
constexpr int32_t kImagesOverlap = 52;

// Two images of one run writing the same addresses of the same flash.
struct ImageOverlap {
    colFiles::FilePtr first, second;  // in the run's order
    int64_t start = 0, end = 0;       // the first address both write and the address after the last
};

// The first overlap found, if any.
std::optional<ImageOverlap> FindOverlap(const colFiles& images);

// An image as the technician knows it: its file, its place in the file after the first, and its tag.
std::string ImageLabel(const clsFile& image);

// An address as the technician reads it: "0x" and upper-case hex digits, no leading zeros.
std::string HexAddress(int64_t address);

// "A and B both write the addresses 0x... to 0x...".
std::string OverlapText(const ImageOverlap& overlap);

}  // namespace kx6000
