// What a download will do, found by the same session as the download up to its first erase: the blocks each
// image erases on its device, the words it writes, the configurations lost with those blocks, and the time
// it takes. A dry run gives the whole plan; a real run uses the losses to warn before it erases.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "files/clsFile.h"
#include "radio/clsRadio.h"

namespace kx6000 {

struct PlannedBlock {
    int16_t id = 0;
    int64_t first = 0, last = 0;  // addresses, in the radio's address units
};

struct PlannedImage {
    std::string file, tag;
    int32_t imageInFile = 1;
    std::string device;    // the memory target as sent: "0000" the radio itself, else NNDD
    std::string hardware;  // the hardware code the radio matched, if the image names one
    std::vector<PlannedBlock> blocks;
    std::vector<std::pair<int64_t, int64_t>> runs;  // the addresses written: first and past the last
    int64_t words = 0;                              // data words written
    int64_t lineBytes = 0;  // bytes of its unlock, erase, write and lock frames and their replies
};

// A configuration of the radio that lies in a block an image erases, at an address no image of the run
// writes: the erase takes it and nothing puts it back.
struct LostConfiguration {
    std::string productId, device, erasedBy;
    int16_t block = 0;
    // "KXC61_SITE_B lies in block 4, which ZMA1F_02.00.00.00 erases: it will be lost"
    std::string Sentence() const;
};

struct DownloadPlan {
    std::vector<PlannedImage> images;  // in the order they are written, up to a refusal
    std::vector<LostConfiguration> lost;
    bool fpgaQuestion = false;   // the KX6100's FPGA warning would be asked
    int32_t result = 0;          // what the download would end with, when it would be refused
    std::string refusedImage;    // the image it would be refused at, if any
    std::string baud;            // the speed negotiated for the data
    double measuredSeconds = 0;  // this dry run's session: logon to restart, and the configurations read
    double lineSeconds = 0;      // the images' frames and replies on the line at that speed
    int64_t LineBytes() const;
    double EstimatedSeconds() const { return measuredSeconds + lineSeconds; }
};

// The plan of one image on its device's flash (`blocks` read for `device`); false when an address lies in
// no block (52).
bool PlanImage(const clsFile& image, const colFlashBlocks& blocks, const std::string& device,
               PlannedImage& planned);

// The configurations of `device` that the images planned for it erase and do not write again, each once.
std::vector<LostConfiguration> LostWith(const std::vector<PlannedImage>& planned,
                                        const colConfigurations& configurations, const colFlashBlocks& blocks,
                                        const std::string& device);

}  // namespace kx6000
