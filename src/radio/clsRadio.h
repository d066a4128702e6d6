// What the program learns about the connected radio: its flash blocks and the
// configurations stored in it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kx6000 {

// One erasable block of the radio's flash.
struct clsFlashBlock {
    int16_t ID = 0;            // the block number the flash commands use
    int32_t StartAddress = 0;  // in the radio's address units
    int32_t Length = 0;
};

class colFlashBlocks {
public:
    // The ID of the first block (in the order added) holding the address, or -1.
    int16_t FindBlock(int32_t AddressInBlock) const;
    // A block from hex texts (eight digits read as signed 32-bit). A text that is
    // not hex, or a key already used, is a RuntimeFailure.
    std::shared_ptr<clsFlashBlock> Add(int16_t ID, std::string_view StartAddress, std::string_view Length,
                                       const std::string& sKey = "");
    // By position from 1 or by key; a missing one is a RuntimeFailure (5).
    std::shared_ptr<clsFlashBlock> Item(int32_t position) const;
    std::shared_ptr<clsFlashBlock> Item(const std::string& key) const;
    int32_t Count() const { return static_cast<int32_t>(blocks.size()); }
    void Remove(int32_t position);

    auto begin() const { return blocks.begin(); }
    auto end() const { return blocks.end(); }

private:
    std::vector<std::shared_ptr<clsFlashBlock>> blocks;
    std::vector<std::string> keys;  // one per block, empty when added without a key
};

// One configuration stored in the radio.
struct clsConfiguration {
    int32_t Status = 0;  // 0 to 65535 as read
    int32_t ConfigurationAddress = 0;
    std::string ProductID;  // one byte per character, as the radio sends them
    int16_t NetWorkID = 0;  // 0 when the record carries none
    int16_t DeviceID = 0;
    std::string MemoryDeviceID;  // nothing sets it
};

class colConfigurations {
public:
    // Decodes one configuration record (hex text: the product ID one character per
    // four digits, "0000", address, status, and optional network and device IDs) and
    // appends it. A record that does not decode is a RuntimeFailure. `sKey` is not used.
    std::shared_ptr<clsConfiguration> Add(std::string_view Data, const std::string& sKey = "");
    // By position from 1; a missing one is a RuntimeFailure (5).
    std::shared_ptr<clsConfiguration> Item(int32_t position) const;
    int32_t Count() const { return static_cast<int32_t>(configurations.size()); }
    void Remove(int32_t position);

    auto begin() const { return configurations.begin(); }
    auto end() const { return configurations.end(); }

private:
    std::vector<std::shared_ptr<clsConfiguration>> configurations;
};

// The radio model of one operation. Both collections may be replaced whole.
struct clsRadio {
    std::shared_ptr<colFlashBlocks> FlashBlocks = std::make_shared<colFlashBlocks>();
    std::shared_ptr<colConfigurations> Configurations = std::make_shared<colConfigurations>();
};

}  // namespace kx6000
