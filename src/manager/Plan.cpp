#include "manager/Plan.h"

#include <algorithm>

#include "manager/clsDLManager.h"
#include "protocol/clsProtocol.h"

namespace kx6000 {
namespace {

// A command frame on the line: code, word count, the data, the checksum word.
int64_t FrameBytes(int64_t dataBytes) {
    return 4 + dataBytes;
}

// A block list's command and its reply: a word per block, then "AFAF".
int64_t BlockListBytes(size_t blocks) {
    const auto words = static_cast<int64_t>(blocks);
    return FrameBytes(2 * words) + 2 * words + 2;
}

}  // namespace

std::string LostConfiguration::Sentence() const {
    return productId + " lies in block " + std::to_string(block) + ", which " + erasedBy +
           " erases: it will be lost";
}

int64_t DownloadPlan::LineBytes() const {
    int64_t bytes = 0;
    for (const PlannedImage& image : images) bytes += image.lineBytes;
    return bytes;
}

bool PlanImage(const clsFile& image, const colFlashBlocks& blocks, const std::string& device,
               PlannedImage& planned) {
    planned = PlannedImage();
    planned.file = image.SourceFile;
    planned.tag = image.TagName;
    planned.imageInFile = image.ImageInFile;
    planned.device = device;
    planned.hardware = image.strHardware;
    std::optional<std::vector<int16_t>> ids = TouchedBlocks(image, blocks);
    if (!ids || ids->empty()) return false;
    for (int16_t id : *ids) {
        const clsFlashBlock& block = *blocks.Item(id + 1);
        planned.blocks.push_back({id, block.StartAddress, int64_t{block.StartAddress} + block.Length - 1});
    }
    // Unlock, erase and lock; per run its address and its data frames, each answered by "AFAF".
    planned.lineBytes = 3 * BlockListBytes(ids->size());
    const colDefTables& tables = image.Definitiontables();
    for (int32_t t = 0; t < tables.Count(); ++t) {
        const DataDefinition table = tables.Item(t);
        const int64_t start = std::stoll(table.Address);
        planned.runs.emplace_back(start, start + table.Length);
        planned.words += table.Length;
        planned.lineBytes += FrameBytes(4) + 2;
        for (int32_t b = 0; b < table.DataBlocks->Count(); ++b)
            planned.lineBytes += FrameBytes(static_cast<int64_t>(table.DataBlocks->Item(b).size() / 2)) + 2;
    }
    return true;
}

std::vector<LostConfiguration> LostWith(const std::vector<PlannedImage>& planned,
                                        const colConfigurations& configurations, const colFlashBlocks& blocks,
                                        const std::string& device) {
    std::vector<LostConfiguration> lost;
    for (const auto& configuration : configurations) {
        if (DeviceIdText(configuration->NetWorkID, configuration->DeviceID) != device) continue;
        const int64_t address = configuration->ConfigurationAddress;
        const int16_t block = blocks.FindBlock(configuration->ConfigurationAddress);
        const PlannedImage* eraser = nullptr;
        bool written = false;
        for (const PlannedImage& image : planned) {
            if (image.device != device) continue;
            written = written || std::ranges::any_of(image.runs, [address](const auto& run) {
                          return run.first <= address && address < run.second;
                      });
            if (!eraser &&
                std::ranges::any_of(image.blocks, [block](const PlannedBlock& b) { return b.id == block; }))
                eraser = &image;
        }
        if (eraser && !written) lost.push_back({configuration->ProductID, device, eraser->tag, block});
    }
    return lost;
}

}  // namespace kx6000
