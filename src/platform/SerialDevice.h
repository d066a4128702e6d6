// A serial device as the system offers it: raw 8N1 at one speed, held for this
// program alone, with failures told in a kind every system can name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

namespace kx6000 {

enum class DeviceFailure { None, NotFound, InUse, Denied, HungUp, Stopped, Other };

struct DeviceError {
    DeviceFailure kind = DeviceFailure::None;
    std::error_code code;
    explicit operator bool() const { return kind != DeviceFailure::None; }
};

// The kind a system error code stands for.
DeviceFailure KindOf(std::error_code code);

// What the serial port drives: the system's serial device, or a line a test puts in its place.
class Device {
public:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    virtual ~Device() = default;

    // Opens `path` at `baudRate` (9600, 19200 or 115200), for this program alone.
    virtual DeviceError Open(const std::string& path, uint32_t baudRate) = 0;
    // Waits until what was written has left this end.
    virtual void Drain() = 0;
    virtual DeviceError Close() = 0;
    virtual void DiscardInput() = 0;
    // Writes all of `size` bytes; gives up when the device takes nothing for 2 seconds.
    virtual DeviceError Write(const char* data, size_t size) = 0;
    // Waits at most `milliseconds` for bytes and replaces `into` with what one read gives
    // (nothing when none came). On Windows a message to the thread's windows ends the wait early.
    virtual DeviceError Read(std::string& into, int milliseconds) = 0;
    // Changes the speed of the open line where closing and reopening it would lose it (a connection to a
    // network server); nothing where the port closes and reopens it instead.
    virtual std::optional<DeviceError> ChangeSpeed(uint32_t /*baudRate*/) { return std::nullopt; }
};

// Makes the device for a path, not yet open.
using DeviceOpener = std::function<std::unique_ptr<Device>(const std::string& path)>;

class SerialDevice final : public Device {
public:
    SerialDevice() = default;
    ~SerialDevice() override;

    DeviceError Open(const std::string& path, uint32_t baudRate) override;
    void Drain() override;
    DeviceError Close() override;
    void DiscardInput() override;
    DeviceError Write(const char* data, size_t size) override;
    DeviceError Read(std::string& into, int milliseconds) override;

private:
    std::intptr_t handle = -1;  // the system's handle of the open device
    // Each system keeps others off the line its own way, so each uses one of these two.
    // Where the system does not keep a device to one program: this program's claim.
    [[maybe_unused]] std::intptr_t claim = -1;
    // Where the system keeps lock files for serial devices: the one this program took.
    [[maybe_unused]] std::string lockFile;
    // Where a wait for the device can end on other events: the event its requests signal.
    [[maybe_unused]] std::intptr_t requestEnded = -1;
};

}  // namespace kx6000
