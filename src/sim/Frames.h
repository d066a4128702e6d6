// The command frames as the simulated radio reads them off the line: a code byte, a word count, the data
// words and a checksum word. Kept apart from the line so the reading can be driven with bytes alone.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kx6000::sim {

// The complement of the 16-bit sum of the words: the check of command and reply frames alike.
uint16_t Checksum(uint16_t first, const std::vector<uint16_t>& words);

struct CommandFrame {
    std::vector<uint8_t> bytes;  // every byte, code to checksum
    uint8_t code = 0;
    std::vector<uint16_t> words;  // the data words
    uint16_t checksum = 0;
    bool checksumOk = false;
};

class FrameReader {
public:
    // Takes one byte from the line; the frame it completes, if it completes one.
    std::optional<CommandFrame> Push(uint8_t byte);
    // The bytes of the frame begun and not yet whole.
    const std::vector<uint8_t>& Pending() const { return pending; }
    // Drops the frame begun (an intercharacter time-out, a restart).
    void Clear() { pending.clear(); }

private:
    std::vector<uint8_t> pending;
};

}  // namespace kx6000::sim
