// A serial device as the system offers it: raw 8N1 at one speed, held for this
// program alone, with failures told in a kind every system can name.
#pragma once

#include <cstddef>
#include <cstdint>
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

class SerialDevice {
public:
    SerialDevice() = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;
    ~SerialDevice();

    bool IsOpen() const { return handle != -1; }
    // Opens `path` at `baudRate` (9600, 19200 or 115200), for this program alone.
    DeviceError Open(const std::string& path, uint32_t baudRate);
    // Waits until what was written has left this end.
    void Drain();
    DeviceError Close();
    void DiscardInput();
    // Writes all of `size` bytes; gives up when the device takes nothing for 2 seconds.
    DeviceError Write(const char* data, size_t size);
    // Waits at most `milliseconds` for bytes and replaces `into` with what one read gives
    // (nothing when none came).
    DeviceError Read(std::string& into, int milliseconds);

private:
    std::intptr_t handle = -1;  // the system's handle of the open device
    std::intptr_t claim = -1;  // where the system does not keep a device to one program: this program's claim
};

}  // namespace kx6000
