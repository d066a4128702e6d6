// A simulated KX6100/KX6200 radio behind a pseudo-terminal or an in-memory line: the component opens
// DevicePath() as its serial port. The radio runs on a thread of its own; the inspection members are safe to
// call from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/Flash.h"
#include "sim/Scenario.h"

namespace kx6000::sim {

enum class LineKind {
    Pty,       // a pseudo-terminal: the component's serial layer drives it as a tty (POSIX)
    Loopback,  // memory: the component's port opens it through clsSerial's device opener (every system)
};
#ifdef _WIN32
inline constexpr LineKind kSystemLine = LineKind::Loopback;
#else
inline constexpr LineKind kSystemLine = LineKind::Pty;
#endif

struct Options {
    bool realtime = false;  // every byte takes 10 bit times at the radio's speed
    std::string tracePath;  // JSON lines of every byte, frame and reply; none when empty
    LineKind line = kSystemLine;
    // The radio's bytes reach the component through a USB serial adapter with this latency timer; straight
    // when none.
    std::optional<std::chrono::milliseconds> adapterLatency = std::nullopt;
};

// A whole command frame as it arrived while the upgrade application ran (bad checksums included).
struct ReceivedFrame {
    std::string hex;  // every byte, code to checksum
    uint8_t code = 0;
    std::string data;  // the data words as hex text
    bool checksumOk = false;
};

// What arrived and happened since the start; logons count what arrived, answered or not.
struct Counts {
    int resetBytes = 0;  // 0x5E bytes that restarted the radio
    int restarts = 0;    // by reset byte, "36" or power cycle
    int powerCycles = 0;
    int logons = 0;           // "21"
    int specialLogons = 0;    // "3B1D5C"
    int ownApplications = 0;  // started after the logon because nothing arrived
    int receivedApplications = 0;
    int64_t floodedWords = 0;  // "AEAE" words of a keep-alive flood sent so far
};

class SimulatedRadio {
public:
    // Opens the line and starts the radio; throws std::system_error when the line cannot be made.
    explicit SimulatedRadio(Scenario scenario = {}, Options options = {});
    ~SimulatedRadio();
    SimulatedRadio(const SimulatedRadio&) = delete;
    SimulatedRadio& operator=(const SimulatedRadio&) = delete;

    const std::string& DevicePath() const;

    RadioState State() const;
    int Baud() const;  // the radio's own line speed
    Counts Counters() const;
    std::vector<ReceivedFrame> Frames() const;
    // The bytes of the last upgrade application received.
    std::vector<uint8_t> ReceivedApplication() const;
    // Every configuration: the radio's own first, then those of each attached device.
    std::vector<Configuration> Configurations() const;
    // The blocks of a device (0/0 is the radio); throws std::out_of_range for an unknown device.
    std::vector<BlockState> Blocks(uint8_t networkId = 0, uint8_t deviceId = 0) const;
    // `count` bytes of a device's flash from `address` (address units); throws std::out_of_range when a byte
    // lies outside its blocks.
    std::vector<uint8_t> Flash(uint32_t address, size_t count, uint8_t networkId = 0,
                               uint8_t deviceId = 0) const;

    // Switches the radio off and on: it restarts at once, whatever it was doing.
    void PowerCycle();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace kx6000::sim
