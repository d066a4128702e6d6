// The flash memory of one device of the simulated radio: blocks with their lock state and bytes, and the
// configurations registered in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Scenario.h"

namespace kx6000::sim {

// Words the radio answers with.
inline constexpr uint16_t kDoneWord = 0xAFAF;
inline constexpr uint16_t kKeepAliveWord = 0xAEAE;
inline constexpr uint16_t kCommandUnknown = 0x8001;
inline constexpr uint16_t kChecksumError = 0x8002;
inline constexpr uint16_t kIntercharacterTimeout = 0x8003;
inline constexpr uint16_t kBaudUnsupported = 0x8101;
inline constexpr uint16_t kFlashLocked = 0x8104;
inline constexpr uint16_t kFlashNotErased = 0x8105;
inline constexpr uint16_t kInvalidAddress = 0x8106;
inline constexpr uint16_t kBadDataLength = 0x8108;
inline constexpr uint16_t kNoAddress = 0x8109;
inline constexpr uint16_t kUnknownNetwork = 0x810A;
inline constexpr uint16_t kUnknownDevice = 0x810B;

struct Configuration {
    uint8_t networkId = 0;
    uint8_t deviceId = 0;
    std::string productId;
    uint32_t address = 0;  // address units
    uint16_t status = 0;
    bool operator==(const Configuration&) const = default;
};

struct BlockState {
    uint16_t id = 0;
    uint32_t start = 0;   // address units
    uint32_t length = 0;  // address units
    bool locked = true;
    int erasures = 0;
};

// The text "*/iBbbEl/*" that precedes an image's tag in flash.
inline constexpr uint8_t kTagMarker[] = {0x2A, 0x2F, 0x69, 0x42, 0x62, 0x62, 0x45, 0x6C, 0x2F, 0x2A};

class Device {
public:
    Device(const DeviceSetup& setup, int unitBytes, const Faults& faults);

    uint8_t NetworkId() const { return networkId; }
    uint8_t DeviceId() const { return deviceId; }
    const std::vector<Configuration>& Configurations() const { return configurations; }
    std::vector<BlockState> Blocks() const;

    // Per block of an unlock, erase or lock list: kKeepAliveWord when done, else the error word.
    uint16_t Unlock(uint16_t id);
    uint16_t Erase(uint16_t id);
    uint16_t Lock(uint16_t id);
    // Every block locked again, as the boot code leaves the flash after a restart.
    void LockAll();

    bool Contains(uint32_t address) const;  // address units
    // kDoneWord, or the error word of the first byte that cannot be written; nothing is written then.
    uint16_t Write(uint64_t byteAddress, const std::vector<uint8_t>& data);
    // Bytes at an address in address units; nothing when a byte lies outside every block.
    std::optional<std::vector<uint8_t>> Read(uint32_t address, size_t count) const;
    // The words of the flash structure reply: start and length of each block, two words each.
    std::vector<uint16_t> StructureWords() const;

private:
    struct Block {
        BlockState state;
        std::vector<uint8_t> bytes;
    };
    Block* BlockAt(uint64_t byteAddress);
    const Block* BlockAt(uint64_t byteAddress) const;
    Block* BlockById(uint16_t id);
    // Writes a configuration's tag into flash, as a downloaded image would hold it.
    void StoreTag(const ConfigurationSetup& configuration);
    // Registers one configuration per tag marker inside the block.
    void ScanTags(const Block& block);

    uint8_t networkId, deviceId;
    int unitBytes;
    bool listTags;       // images written become configurations
    uint16_t tagStatus;  // with this status
    std::vector<Block> blocks;
    std::vector<Configuration> configurations;
};

}  // namespace kx6000::sim
