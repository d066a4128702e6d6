#include "sim/Frames.h"

#include <utility>

namespace kx6000::sim {

uint16_t Checksum(uint16_t first, const std::vector<uint16_t>& words) {
    uint16_t sum = first;
    for (uint16_t word : words) sum = static_cast<uint16_t>(sum + word);
    return static_cast<uint16_t>(~sum);
}

std::optional<CommandFrame> FrameReader::Push(uint8_t byte) {
    pending.push_back(byte);
    // Whole once the count byte's words and the checksum word are in.
    if (pending.size() < 2 || pending.size() != 4 + 2 * size_t{pending[1]}) return std::nullopt;
    CommandFrame frame;
    frame.bytes = std::exchange(pending, {});
    const std::vector<uint8_t>& bytes = frame.bytes;
    frame.code = bytes[0];
    uint8_t count = bytes[1];
    for (size_t i = 0; i < count; ++i)
        frame.words.push_back(static_cast<uint16_t>(bytes[2 + 2 * i] << 8 | bytes[3 + 2 * i]));
    frame.checksum = static_cast<uint16_t>(bytes[2 + 2 * size_t{count}] << 8 | bytes[3 + 2 * size_t{count}]);
    frame.checksumOk =
        Checksum(static_cast<uint16_t>(frame.code << 8 | count), frame.words) == frame.checksum;
    return frame;
}

}  // namespace kx6000::sim
