#include "sim/Line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <system_error>

#include "support/Hex.h"

namespace kx6000::sim {

namespace {

std::string HexText(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += ToHex(bytes[i], 2);
    return text;
}

}  // namespace

Clock::duration ByteTime(int baud, int64_t bytes) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(bytes * 10'000'000'000 / baud));
}

Trace::Trace(const std::string& path, Clock::time_point start) : path(path), start(start) {
    if (path.empty()) return;
    file = std::fopen(path.c_str(), "we");
    if (!file)
        throw std::system_error(errno, std::generic_category(),
                                "simulated radio: cannot write the trace " + path);
}

Trace::~Trace() {
    if (file) std::fclose(file);
}

void Trace::Write(Clock::time_point at, nlohmann::ordered_json event) {
    if (!file) return;
    nlohmann::ordered_json line = {{"t", std::chrono::duration<double>(at - start).count()}};
    line.update(event);
    std::string text = line.dump() + "\n";
    if (std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0) return;
    // A full disk must not stop a radio in the middle of a component's operation: it goes on untraced.
    std::cerr << "kx6000-radio-sim: the trace " << path << " stops here: " << std::strerror(errno)
              << std::endl;
    std::fclose(file);
    file = nullptr;
}

Clock::time_point Line::Pacer::Next(Clock::time_point from, int byteBaud, bool paced) {
    if (!paced) return from;
    if (index == 0 || byteBaud != baud || from > lastDue) {
        runStart = std::max(from, lastDue);
        index = 0;
        baud = byteBaud;
    }
    lastDue = runStart + ByteTime(baud, ++index);
    return lastDue;
}

void Line::Take(const uint8_t* bytes, size_t count, int portBaud, Clock::time_point now, int radioBaud) {
    bool garbled = portBaud != radioBaud;
    if (trace.On())
        trace.Write(now, {{"dir", "rx"},
                          {"hex", HexText(bytes, count)},
                          {"radioBaud", radioBaud},
                          {"portBaud", portBaud},
                          {"garbled", garbled}});
    for (size_t i = 0; i < count; ++i)
        incoming.push_back(
            {garbled ? kGarbledByte : bytes[i], radioBaud, inPacer.Next(now, radioBaud, realtime)});
}

std::vector<Line::Received> Line::Deliver(Clock::time_point now) {
    std::vector<Received> bytes;
    while (!incoming.empty() && incoming.front().due <= now) {
        bytes.push_back({incoming.front().value, incoming.front().due});
        incoming.pop_front();
    }
    return bytes;
}

void Line::Send(const std::vector<uint8_t>& bytes, int baud, Clock::time_point at) {
    for (uint8_t value : bytes) outgoing.push_back({value, baud, outPacer.Next(at, baud, realtime)});
}

void Line::Transmit(Clock::time_point now) {
    blocked = false;
    for (size_t arrived; !outgoing.empty() && (arrived = Arrived(now)) > 0;) {
        // One write per run of bytes of one speed (and per packet of an adapter); the component's speed is
        // sampled as they leave.
        int baud = outgoing.front().baud;
        int portBaud = PortBaud();
        bool garbled = portBaud != baud;
        std::vector<uint8_t> chunk;
        for (size_t i = 0; i < arrived && outgoing[i].baud == baud; ++i)
            chunk.push_back(garbled ? kGarbledByte : outgoing[i].value);
        size_t written = Put(chunk);
        if (written == 0) return;
        if (trace.On()) {
            std::string hex;
            for (size_t i = 0; i < written; ++i) hex += ToHex(outgoing[i].value, 2);
            trace.Write(now, {{"dir", "tx"},
                              {"hex", hex},
                              {"radioBaud", baud},
                              {"portBaud", portBaud},
                              {"garbled", garbled}});
        }
        outgoing.erase(outgoing.begin(), outgoing.begin() + static_cast<std::ptrdiff_t>(written));
        released -= std::min(released, written);
    }
}

size_t Line::Arrived(Clock::time_point now) {
    if (!adapterLatency) {
        size_t count = 0;
        while (count < outgoing.size() && outgoing[count].due <= now) ++count;
        return count;
    }
    if (released == 0) {
        auto [end, at] = NextPacket();
        if (at <= now) released = end;
    }
    return released;
}

std::pair<size_t, Clock::time_point> Line::NextPacket() const {
    Clock::time_point at = outgoing.front().due + *adapterLatency;
    if (outgoing.size() >= kAdapterPacketBytes) at = std::min(at, outgoing[kAdapterPacketBytes - 1].due);
    size_t end = 0;
    while (end < std::min(outgoing.size(), kAdapterPacketBytes) && outgoing[end].due <= at) ++end;
    return {end, at};
}

std::optional<Clock::time_point> Line::NextDeadline() const {
    std::optional<Clock::time_point> next;
    // Received bytes are handed over when the last one waiting has arrived (a frame is whole only then),
    // or every 10 ms of a longer stream.
    if (!incoming.empty())
        next = std::min(incoming.back().due, incoming.front().due + std::chrono::milliseconds(10));
    if (!outgoing.empty() && !blocked) {
        // Sent bytes leave in chunks of about a millisecond, each at the exact due time of its last byte;
        // through an adapter, in its packets.
        size_t chunk = static_cast<size_t>(std::max(1, outgoing.front().baud / 10000));
        Clock::time_point due = outgoing[std::min(chunk, outgoing.size()) - 1].due;
        if (adapterLatency) due = released > 0 ? outgoing.front().due : NextPacket().second;
        next = next ? std::min(*next, due) : due;
    }
    return next;
}

}  // namespace kx6000::sim
