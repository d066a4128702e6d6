// Serial devices as Linux shows them in sysfs and /dev, made below a folder that KX6000_DEVICE_ROOT points
// the discovery at.
#pragma once

#include <map>

#include "TestEnvironment.h"

namespace kx6000::test {

// The tty `name` of `device`, a folder below sys/devices; without one, a tty with no device behind it.
inline void MakeTty(const std::filesystem::path& root, const std::string& name, const std::string& device) {
    const std::string tty = (device.empty() ? "virtual" : device) + "/tty/" + name;
    std::filesystem::create_directories(root / "sys/devices" / tty);
    std::filesystem::create_directories(root / "sys/class/tty");
    std::filesystem::create_symlink("../../devices/" + tty, root / "sys/class/tty" / name);
    if (device.empty()) return;
    std::filesystem::create_symlink("../../../" + std::filesystem::path(device).filename().string(),
                                    root / "sys/devices" / tty / "device");
}

// The tty `name` on interface 00 of the USB device `usb` ("1-2"), with `attributes` (latency_timer is the
// port's): on the interface itself for a CDC-ACM device (ttyACM), else below it as a usb-serial port.
inline void MakeUsb(const std::filesystem::path& root, const std::string& name, const std::string& usb,
                    const std::map<std::string, std::string>& attributes, const std::string& byId = "") {
    const std::string interface = "usb1/" + usb + "/" + usb + ":1.0";
    const std::string port = name.starts_with("ttyACM") ? interface : interface + "/" + name;
    for (const auto& [attribute, value] : attributes)
        WriteFile(root / "sys/devices" / (attribute == "latency_timer" ? port : "usb1/" + usb) / attribute,
                  value);
    WriteFile(root / "sys/devices" / interface / "bInterfaceNumber", "00\n");
    MakeTty(root, name, port);
    if (byId.empty()) return;
    std::filesystem::create_directories(root / "dev/serial/by-id");
    std::filesystem::create_symlink("../../" + name, root / "dev/serial/by-id" / byId);
}

// A laptop's serial devices: two USB adapters plugged in the opposite order of their by-id names, a CDC-ACM
// device udev gave no by-id name, 8250 ports with a UART (type 4) and without (type 0), and the ttys that
// are no serial device.
inline void MakeLaptop(const std::filesystem::path& root) {
    MakeUsb(root, "ttyUSB0", "1-1",
            {{"idVendor", "10c4"},
             {"idProduct", "ea60"},
             {"manufacturer", "Silicon Labs"},
             {"product", "CP2102 USB to UART Bridge Controller"},
             {"serial", "0001"},
             {"latency_timer", "-5"}},  // no timer an adapter can have: unknown
            "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0");
    MakeUsb(root, "ttyUSB1", "1-2",
            {{"idVendor", "0403"},
             {"idProduct", "6001"},
             {"manufacturer", "FTDI"},
             {"product", "FT232R USB UART"},
             {"serial", "A601F1XZ"},
             {"latency_timer", "16"}},
            "usb-FTDI_FT232R_USB_UART_A601F1XZ-if00-port0");
    MakeUsb(root, "ttyACM0", "1-3", {{"idVendor", "1d6b"}, {"idProduct", "0104"}});
    for (auto [name, type] : {std::pair{"ttyS0", "4"}, {"ttyS1", "0"}, {"ttyS10", "4"}, {"ttyS2", "4"}}) {
        MakeTty(root, name, "platform/serial8250");
        WriteFile(root / "sys/devices/platform/serial8250/tty" / name / "type", type);
    }
    for (const char* name : {"tty0", "tty63", "console", "ptmx"}) MakeTty(root, name, "");
    // The kernel's console on ttyS0 (console=ttyS0), and a getty on ttyS2: its controlling terminal, 4:66.
    WriteFile(root / "sys/devices/virtual/tty/console/active", "tty0 ttyS0\n");
    WriteFile(root / "sys/devices/platform/serial8250/tty/ttyS2/dev", "4:66\n");
    WriteFile(root / "proc/812/stat",
              "812 (agetty) S 1 812 812 " + std::to_string(4 << 8 | 66) + " 812 4194560\n");
}

}  // namespace kx6000::test
