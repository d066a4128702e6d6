// What a simulated radio is: model, flash, configurations, attached devices and the faults it shows.
// A default Scenario is a healthy KX6100 in normal operation at 19200 baud.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kx6000::sim {

enum class RadioState {
    Application,  // normal operation: only the reset byte means anything
    Boot,         // restarted boot code, waiting for a logon
    Upgrade,      // logged on, waiting for an upgrade application (or starting its own)
    Running,      // the upgrade application answers command frames
};

const char* StateName(RadioState state);

// One erasable flash block, in address units.
struct BlockSetup {
    uint32_t start = 0;
    uint32_t length = 0;
};

struct ConfigurationSetup {
    std::string productId;
    uint32_t address = 0;  // address units
    uint16_t status = 0;
};

// The radio itself (network 0, device 0) or a device attached to a KX6200.
struct DeviceSetup {
    uint8_t networkId = 0;
    uint8_t deviceId = 0;
    std::vector<BlockSetup> blocks;
    std::vector<ConfigurationSetup> configurations;
};

// Replaces the reply of a command by `word` + "AFAF"; with `block`, only that block's word of an unlock,
// erase or lock list; with `occurrence`, only the Nth frame of that command (0: every one).
struct ErrorWordFault {
    uint8_t command = 0;
    uint16_t word = 0;
    std::optional<uint16_t> block;
    int occurrence = 0;
};

// The Nth data reply of "31" or "37" since the radio started (0: every one) goes out with a wrong checksum.
struct CorruptChecksumFault {
    uint8_t command = 0;
    int reply = 0;
};

struct Faults {
    bool silent = false;          // receives everything, answers nothing
    bool noLogonReply = false;    // a logon is received but never answered
    bool keepAliveFlood = false;  // a command frame is answered by "AEAE" words without end
    int keepAliveWords = 0;       // "AEAE" words before each reply
    int keepAliveIntervalMs = 0;
    std::vector<ErrorWordFault> errorWords;
    int lockedWrites = 0;  // the first N "35" frames are answered "8104"
    std::vector<uint16_t> refusedBaudCodes;
    std::vector<CorruptChecksumFault> corruptChecksums;
    int keepAliveStormWords = 0;  // after each restart, this many "AEAE" before the restart signal
    int keepAliveStormIntervalMs = 10;
    int garbleEveryNthFrame = 0;  // every Nth command frame counts as corrupted ("8002")
    bool unlistedTags = false;    // images written are not registered as configurations
    uint16_t tagStatus = 0;       // the status of a configuration registered from an image written
};

struct Timing {
    int restartDelayMs = 30;          // from the reset byte or "36" to the restart signal
    int ownApplicationAfterMs = 200;  // silence after the logon reply before the radio starts its own
    int ownApplicationEndMs = 50;     // from its "3F" to its "AFAF"
    int applicationIdleMs = 50;       // a gap this long ends a received upgrade application
    int intercharacterMs = 50;        // a gap this long inside a frame drops it ("8003")
    int baudSwitchMs = 30;            // from an accepted "30" to the "AFAF" at the new speed
};

DeviceSetup DefaultRadioSetup();

struct Scenario {
    int model = 6100;
    RadioState startState = RadioState::Application;
    int startBaud = 19200;
    int addressUnitBytes = 2;
    uint8_t restartSignal = 0x56;
    bool specialMode = false;  // ignores the reset byte; only the special logon is answered
    std::optional<double> powerCycleAfterSeconds;
    DeviceSetup radio = DefaultRadioSetup();
    std::vector<DeviceSetup> devices;  // KX6200 only
    Faults faults;
    Timing timing;
};

// Both throw std::runtime_error naming the field at fault.
Scenario ParseScenario(const std::string& json);
Scenario LoadScenario(const std::string& path);

}  // namespace kx6000::sim
