#include "files/Overlaps.h"

#include <algorithm>
#include <map>

#include "support/Hex.h"

namespace kx6000 {

std::vector<std::string> ImageTargets(const colFiles& images) {
    std::vector<std::string> targets;
    std::string target;  // the radio itself, until an image names a device
    for (const colFiles::FilePtr& image : images) {
        if (!image->strDeviceID.empty())
            target = image->strHardware + "," + image->strNetWorkID + "," + image->strDeviceID;
        targets.push_back(target);
    }
    return targets;
}

namespace {

// Two images of one run writing the same addresses of the same flash.
struct ImageOverlap {
    colFiles::FilePtr first, second;  // in the run's order
    int64_t start = 0, end = 0;       // the first address both write and the address after the last
};

// The first overlap found, if any.
std::optional<ImageOverlap> FindOverlap(const colFiles& images) {
    struct Run {
        int64_t start, end;
        size_t image;
    };
    std::vector<colFiles::FilePtr> list(images.begin(), images.end());
    std::vector<std::string> targets = ImageTargets(images);
    std::map<std::string, std::vector<Run>> runs;
    for (size_t i = 0; i < list.size(); ++i) {
        const colDefTables& tables = list[i]->Definitiontables();
        for (int32_t t = 0; t < tables.Count(); ++t) {
            DataDefinition table = tables.Item(t);
            int64_t start = std::stoll(table.Address);
            if (table.Length > 0) runs[targets[i]].push_back({start, start + table.Length, i});
        }
    }
    for (auto& [target, sorted] : runs) {
        std::ranges::stable_sort(sorted, {}, &Run::start);
        // The run reaching furthest so far: if any two images overlap, some run overlaps it.
        const Run* reach = nullptr;
        for (const Run& run : sorted) {
            if (reach && run.start < reach->end && run.image != reach->image) {
                auto [first, second] = std::minmax(run.image, reach->image);
                return ImageOverlap{list[first], list[second], run.start, std::min(run.end, reach->end)};
            }
            if (!reach || run.end > reach->end) reach = &run;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string ImageLabel(const clsFile& image) {
    return image.ShownName() + " [" + image.TagName + "]";
}

std::string HexAddress(int64_t address) {
    std::string digits = ToHex(static_cast<uint32_t>(address), 8);
    return "0x" + digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1));
}

std::optional<AddressRefusal> RefuseAddresses(const colFiles& images) {
    for (const colFiles::FilePtr& image : images) {
        const colDefTables& tables = image->Definitiontables();
        for (int32_t t = 0; t < tables.Count(); ++t) {
            DataDefinition table = tables.Item(t);
            int64_t start = std::stoll(table.Address), last = start + table.Length - 1;
            if (last > kLastFlashAddress)
                return AddressRefusal{image, ImageLabel(*image) + " writes the addresses " +
                                                 HexAddress(start) + " to " + HexAddress(last) + ", past " +
                                                 HexAddress(kLastFlashAddress) +
                                                 ", the last address a radio's flash can have"};
        }
    }
    if (std::optional<ImageOverlap> overlap = FindOverlap(images))
        return AddressRefusal{overlap->second, ImageLabel(*overlap->first) + " and " +
                                                   ImageLabel(*overlap->second) +
                                                   " both write the addresses " + HexAddress(overlap->start) +
                                                   " to " + HexAddress(overlap->end - 1)};
    return std::nullopt;
}

}  // namespace kx6000
