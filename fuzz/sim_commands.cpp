// The simulated radio's reading of command frames from the line, driven with bytes in-process. A byte
// 0xFF followed by 0xFE stands for an intercharacter time-out. What must hold: no byte is lost or
// invented, each frame is as long as its count byte says, and its checksum verdict is right.
#include <cstdint>
#include <vector>

#include "sim/Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kx6000::sim;
    FrameReader reader;
    std::vector<uint8_t> seen, dropped;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0xFE) {
            dropped.insert(dropped.end(), reader.Pending().begin(), reader.Pending().end());
            reader.Clear();
            ++i;
            continue;
        }
        std::optional<CommandFrame> frame = reader.Push(data[i]);
        if (!frame) continue;
        const std::vector<uint8_t>& bytes = frame->bytes;
        if (bytes.size() < 4 || bytes.size() != 4 + 2 * size_t{bytes[1]} || frame->code != bytes[0] ||
            frame->words.size() != bytes[1] || !reader.Pending().empty())
            __builtin_trap();
        uint32_t sum = uint32_t{bytes[0]} << 8 | bytes[1];
        for (size_t w = 0; w < frame->words.size(); ++w) {
            if (frame->words[w] != (bytes[2 + 2 * w] << 8 | bytes[3 + 2 * w])) __builtin_trap();
            sum += frame->words[w];
        }
        uint16_t checksum = static_cast<uint16_t>(bytes[bytes.size() - 2] << 8 | bytes.back());
        if (frame->checksum != checksum || frame->checksumOk != (((sum + checksum) & 0xFFFF) == 0xFFFF))
            __builtin_trap();
        seen.insert(seen.end(), bytes.begin(), bytes.end());
    }
    seen.insert(seen.end(), reader.Pending().begin(), reader.Pending().end());
    size_t markers = 0;
    for (size_t i = 0; i + 1 < size; ++i)
        if (data[i] == 0xFF && data[i + 1] == 0xFE) ++markers, ++i;
    if (seen.size() + dropped.size() + 2 * markers != size) __builtin_trap();
    return 0;
}
