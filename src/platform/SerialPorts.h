// The serial devices this machine has: what ports 1 to 4 reach when nothing names a device, and what a
// technician is told a port is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kx6000 {

enum class PortKind {
    UsbAdapter,  // a USB serial converter chip (FTDI, CP210x, CH340, PL2303)
    UsbModem,    // a USB CDC-ACM device
    Uart,        // a serial port on the machine itself
};

struct SerialPortInfo {
    std::string device;      // what is opened: /dev/ttyUSB0, \\.\COM3
    std::string stableName;  // the same device in whichever socket: /dev/serial/by-id/..., COM3
    PortKind kind = PortKind::Uart;
    uint16_t vendorId = 0;  // USB only
    uint16_t productId = 0;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
    std::string interface;            // the USB interface number, two hex digits ("00")
    std::string description;          // one line for a person, as the system names the device
    std::optional<int> latencyTimer;  // milliseconds, where the system tells an adapter's
    // Why no port reaches it unless named: "the system console", "a login terminal"; empty when free.
    std::string notUsed;
};

// An adapter's latency timer as the system states it, when it is one an adapter can have (0 to 255 ms): a
// driver or a device tree stating -5 or 70000 tells nothing about the adapter.
inline std::optional<int> LatencyTimerOf(int64_t milliseconds) {
    if (milliseconds < 0 || milliseconds > 255) return std::nullopt;
    return static_cast<int>(milliseconds);
}

// The serial devices present: USB ones in the order of their stable names, then the UARTs that are
// really there, the system console and login terminals among them, marked. On Linux the device tree (and
// /proc) is read below KX6000_DEVICE_ROOT when that is set (a tree a test made), else below "/".
std::vector<SerialPortInfo> SerialPorts();

// The device port 1 to 4 reaches when neither the environment nor the settings name one, out of
// `present`: on Linux the port's place among the devices not kept for the system (empty past their end),
// on Windows COMn.
std::string DefaultPortDevice(int port, const std::vector<SerialPortInfo>& present);

}  // namespace kx6000
