// Serial devices as Linux shows them in sysfs and /dev, made below a folder that KX6000_DEVICE_ROOT points
// the discovery at.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "TestEnvironment.h"

namespace kx6000::test {

class DeviceTree {
public:
    explicit DeviceTree(std::filesystem::path root) : root(std::move(root)) {
        std::filesystem::create_directories(this->root / "sys/class/tty");
    }

    // The tty `name` on interface 00 of the USB device `usb` ("1-2"): on the interface itself for a CDC-ACM
    // device (ttyACM), else below it as a usb-serial port, with the adapter's latency timer when given.
    void Usb(const std::string& name, const std::string& usb,
             const std::map<std::string, std::string>& device, const std::string& byId = "",
             std::optional<int> latency = std::nullopt) {
        const std::string interface = "pci0000:00/usb1/" + usb + "/" + usb + ":1.0";
        for (const auto& [attribute, value] : device)
            WriteFile(root / "sys/devices/pci0000:00/usb1" / usb / attribute, value + "\n");
        WriteFile(root / "sys/devices" / interface / "bInterfaceNumber", "00\n");
        const std::string port = name.starts_with("ttyACM") ? interface : interface + "/" + name;
        if (latency)
            WriteFile(root / "sys/devices" / port / "latency_timer", std::to_string(*latency) + "\n");
        Tty(name, port);
        if (!byId.empty()) {
            std::filesystem::create_directories(root / "dev/serial/by-id");
            std::filesystem::create_symlink("../../" + name, root / "dev/serial/by-id" / byId);
        }
    }

    // An 8250 port; type 0 when no UART answers at its address.
    void Uart(const std::string& name, int type) {
        Tty(name, "platform/serial8250");
        WriteFile(root / "sys/devices/platform/serial8250/tty" / name / "type", std::to_string(type) + "\n");
    }

    // A tty with no device behind it: a virtual console, the console, ptmx.
    void Virtual(const std::string& name) {
        std::filesystem::create_directories(root / "sys/devices/virtual/tty" / name);
        std::filesystem::create_symlink("../../devices/virtual/tty/" + name, root / "sys/class/tty" / name);
        WriteFile(root / "dev" / name, "");
    }

private:
    void Tty(const std::string& name, const std::string& device) {
        const std::filesystem::path tty = root / "sys/devices" / device / "tty" / name;
        std::filesystem::create_directories(tty);
        std::filesystem::create_symlink("../../../" + std::filesystem::path(device).filename().string(),
                                        tty / "device");
        std::filesystem::create_symlink("../../devices/" + device + "/tty/" + name,
                                        root / "sys/class/tty" / name);
        WriteFile(root / "dev" / name, "");
    }

    std::filesystem::path root;
};

// A laptop's serial devices: two USB adapters plugged in the opposite order of their by-id names (FTDI,
// with its latency timer, as ttyUSB1), a CDC-ACM device udev gave no by-id name, three 8250 ports with a
// UART and one without, and the ttys that are no serial device.
inline void MakeLaptop(const std::filesystem::path& root) {
    DeviceTree tree(root);
    tree.Usb("ttyUSB0", "1-1",
             {{"idVendor", "10c4"},
              {"idProduct", "ea60"},
              {"manufacturer", "Silicon Labs"},
              {"product", "CP2102 USB to UART Bridge Controller"},
              {"serial", "0001"}},
             "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0");
    tree.Usb("ttyUSB1", "1-2",
             {{"idVendor", "0403"},
              {"idProduct", "6001"},
              {"manufacturer", "FTDI"},
              {"product", "FT232R USB UART"},
              {"serial", "A601F1XZ"}},
             "usb-FTDI_FT232R_USB_UART_A601F1XZ-if00-port0", 16);
    tree.Usb("ttyACM0", "1-3", {{"idVendor", "1d6b"}, {"idProduct", "0104"}});
    for (auto [name, type] : {std::pair{"ttyS0", 4}, {"ttyS1", 0}, {"ttyS10", 4}, {"ttyS2", 4}})
        tree.Uart(name, type);
    for (const char* name : {"tty0", "tty63", "console", "ptmx"}) tree.Virtual(name);
}

}  // namespace kx6000::test
