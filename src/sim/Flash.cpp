#include "sim/Flash.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace kx6000::sim {

Device::Device(const DeviceSetup& setup, int unitBytes, const Faults& faults)
    : networkId(setup.networkId),
      deviceId(setup.deviceId),
      unitBytes(unitBytes),
      listTags(!faults.unlistedTags),
      tagStatus(faults.tagStatus) {
    for (size_t i = 0; i < setup.blocks.size(); ++i) {
        Block block;
        block.state = {static_cast<uint16_t>(i), setup.blocks[i].start, setup.blocks[i].length, true, 0};
        block.bytes.assign(size_t{setup.blocks[i].length} * static_cast<size_t>(unitBytes), 0xFF);
        blocks.push_back(std::move(block));
    }
    for (const auto& configuration : setup.configurations) {
        configurations.push_back(
            {networkId, deviceId, configuration.productId, configuration.address, configuration.status});
        StoreTag(configuration);
    }
}

std::vector<BlockState> Device::Blocks() const {
    std::vector<BlockState> states;
    for (const auto& block : blocks) states.push_back(block.state);
    return states;
}

Device::Block* Device::BlockAt(uint64_t byteAddress) {
    return const_cast<Block*>(std::as_const(*this).BlockAt(byteAddress));
}

const Device::Block* Device::BlockAt(uint64_t byteAddress) const {
    for (const auto& block : blocks) {
        uint64_t start = uint64_t{block.state.start} * static_cast<uint64_t>(unitBytes);
        if (byteAddress >= start && byteAddress < start + block.bytes.size()) return &block;
    }
    return nullptr;
}

Device::Block* Device::BlockById(uint16_t id) {
    return id < blocks.size() ? &blocks[id] : nullptr;
}

bool Device::Contains(uint32_t address) const {
    return BlockAt(uint64_t{address} * static_cast<uint64_t>(unitBytes)) != nullptr;
}

uint16_t Device::Unlock(uint16_t id) {
    Block* block = BlockById(id);
    if (!block) return kInvalidAddress;
    block->state.locked = false;
    return kKeepAliveWord;
}

uint16_t Device::Erase(uint16_t id) {
    Block* block = BlockById(id);
    if (!block) return kInvalidAddress;
    if (block->state.locked) return kFlashLocked;
    std::fill(block->bytes.begin(), block->bytes.end(), 0xFF);
    ++block->state.erasures;
    uint64_t end = uint64_t{block->state.start} + block->state.length;
    std::erase_if(configurations, [&](const Configuration& configuration) {
        return configuration.address >= block->state.start && configuration.address < end;
    });
    return kKeepAliveWord;
}

uint16_t Device::Lock(uint16_t id) {
    Block* block = BlockById(id);
    if (!block) return kInvalidAddress;
    block->state.locked = true;
    if (listTags) ScanTags(*block);
    return kKeepAliveWord;
}

void Device::LockAll() {
    for (auto& block : blocks) block.state.locked = true;
}

uint16_t Device::Write(uint64_t byteAddress, const std::vector<uint8_t>& data) {
    // The whole range is checked before a byte is written: first that it lies in flash, then that its
    // blocks are unlocked, then that it is erased.
    std::vector<Block*> holders;
    for (size_t i = 0; i < data.size(); ++i) {
        holders.push_back(BlockAt(byteAddress + i));
        if (!holders.back()) return kInvalidAddress;
    }
    for (Block* block : holders)
        if (block->state.locked) return kFlashLocked;
    auto at = [&](size_t i) -> uint8_t& {
        return holders[i]
            ->bytes[byteAddress + i - uint64_t{holders[i]->state.start} * static_cast<uint64_t>(unitBytes)];
    };
    for (size_t i = 0; i < data.size(); ++i)
        if (at(i) != 0xFF) return kFlashNotErased;
    for (size_t i = 0; i < data.size(); ++i) at(i) = data[i];
    return kDoneWord;
}

std::optional<std::vector<uint8_t>> Device::Read(uint32_t address, size_t count) const {
    std::vector<uint8_t> bytes;
    uint64_t first = uint64_t{address} * static_cast<uint64_t>(unitBytes);
    for (uint64_t at = first; at < first + count; ++at) {
        const Block* block = BlockAt(at);
        if (!block) return std::nullopt;
        bytes.push_back(block->bytes[at - uint64_t{block->state.start} * static_cast<uint64_t>(unitBytes)]);
    }
    return bytes;
}

std::vector<uint16_t> Device::StructureWords() const {
    std::vector<uint16_t> words;
    for (const auto& block : blocks)
        for (uint32_t value : {block.state.start, block.state.length}) {
            words.push_back(static_cast<uint16_t>(value >> 16));
            words.push_back(static_cast<uint16_t>(value));
        }
    return words;
}

void Device::StoreTag(const ConfigurationSetup& configuration) {
    std::vector<uint8_t> bytes(std::begin(kTagMarker), std::end(kTagMarker));
    for (char c : configuration.productId) {
        bytes.push_back(0);
        bytes.push_back(static_cast<uint8_t>(c));
    }
    bytes.insert(bytes.end(), {0, 0});
    uint64_t first = uint64_t{configuration.address} * static_cast<uint64_t>(unitBytes);
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!BlockAt(first + i)) return;  // a tag that does not fit stays a configuration without flash
    for (size_t i = 0; i < bytes.size(); ++i) {
        Block* block = BlockAt(first + i);
        block->bytes[first + i - uint64_t{block->state.start} * static_cast<uint64_t>(unitBytes)] = bytes[i];
    }
}

void Device::ScanTags(const Block& block) {
    const uint64_t base = uint64_t{block.state.start} * static_cast<uint64_t>(unitBytes);
    // A marker counts on a word boundary that is also an address: its address is what the radio reports.
    const size_t step = static_cast<size_t>(std::max(2, unitBytes));
    auto word = [&](uint64_t at) -> std::optional<uint16_t> {
        const Block* holder = BlockAt(at);
        const Block* next = BlockAt(at + 1);
        if (!holder || !next) return std::nullopt;
        uint64_t h = at - uint64_t{holder->state.start} * static_cast<uint64_t>(unitBytes);
        uint64_t l = at + 1 - uint64_t{next->state.start} * static_cast<uint64_t>(unitBytes);
        return static_cast<uint16_t>(holder->bytes[h] << 8 | next->bytes[l]);
    };
    for (size_t offset = (step - base % step) % step; offset + sizeof kTagMarker <= block.bytes.size();
         offset += step) {
        if (!std::equal(std::begin(kTagMarker), std::end(kTagMarker), block.bytes.begin() + offset)) continue;
        uint64_t at = base + offset + sizeof kTagMarker;
        auto value = word(at);
        while (value && *value == 0) value = word(at += 2);
        std::string tag;
        while (value && *value != 0 && *value <= 0xFF) {
            tag += static_cast<char>(*value);
            value = word(at += 2);
        }
        // No tag ended by a blank word, or one too long for a configuration record.
        if (!value || *value != 0 || tag.empty() || tag.size() > 240) continue;
        Configuration found{networkId, deviceId, tag, static_cast<uint32_t>((base + offset) / unitBytes),
                            tagStatus};
        auto same = std::find_if(configurations.begin(), configurations.end(),
                                 [&](const Configuration& c) { return c.productId == tag; });
        if (same == configurations.end())
            configurations.push_back(found);
        else if (same->address != found.address)
            *same = found;  // a new image of the same product; one found again in place keeps its status
    }
}

}  // namespace kx6000::sim
