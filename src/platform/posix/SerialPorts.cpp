#include "platform/SerialPorts.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "platform/Places.h"

namespace kx6000 {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, without the spaces some USB devices pad their strings with; empty
// when there is none.
std::string Attribute(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

uint16_t HexAttribute(const fs::path& path) {
    std::string text = Attribute(path);
    uint16_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

// The USB side of a device: `interface` is the USB interface, its parent the USB device.
void ReadUsb(SerialPortInfo& info, const fs::path& interface) {
    const fs::path usb = interface.parent_path();
    info.vendorId = HexAttribute(usb / "idVendor");
    info.productId = HexAttribute(usb / "idProduct");
    info.manufacturer = Attribute(usb / "manufacturer");
    info.product = Attribute(usb / "product");
    info.serialNumber = Attribute(usb / "serial");
    info.interface = Attribute(interface / "bInterfaceNumber");
    // "FTDI FT232R USB UART"; a product that names its maker already stands alone.
    std::string maker = info.product.starts_with(info.manufacturer) ? "" : info.manufacturer;
    info.description = maker + (maker.empty() || info.product.empty() ? "" : " ") + info.product;
    if (info.description.empty()) {
        char ids[16];
        std::snprintf(ids, sizeof ids, " %04x:%04x", info.vendorId, info.productId);
        info.description =
            (info.kind == PortKind::UsbModem ? "USB modem" : "USB serial adapter") + std::string(ids);
    }
}

// The serial device of the tty class entry `entry`, when it is one a radio can be on. Virtual consoles,
// the console and ptmx have no device behind them; an 8250 port without a UART says type 0.
std::optional<SerialPortInfo> ReadDevice(const fs::path& entry) {
    std::error_code error;
    const fs::path device = fs::canonical(entry / "device", error);
    if (error) return std::nullopt;
    SerialPortInfo info;
    info.device = "/dev/" + entry.filename().string();
    if (fs::exists(device / "bInterfaceNumber")) {
        // CDC-ACM: the tty's device is the USB interface itself.
        info.kind = PortKind::UsbModem;
        ReadUsb(info, device);
    } else if (fs::exists(device.parent_path() / "bInterfaceNumber")) {
        // usb-serial: the tty's device is the converter's port, below its interface.
        info.kind = PortKind::UsbAdapter;
        ReadUsb(info, device.parent_path());
        if (std::string timer = Attribute(device / "latency_timer"); !timer.empty()) {
            int64_t milliseconds = 0;
            if (std::from_chars(timer.data(), timer.data() + timer.size(), milliseconds).ec == std::errc())
                info.latencyTimer = LatencyTimerOf(milliseconds);
        }
    } else {
        std::string type = Attribute(entry / "type");
        if (type.empty() || type == "0") return std::nullopt;
        info.kind = PortKind::Uart;
        info.description = "this machine's serial port";
    }
    return info;
}

// The by-id name of each device that has one, "/dev/ttyUSB0" to "/dev/serial/by-id/usb-...". The links
// are relative ("../../ttyUSB0") and resolved inside `root`; of two names for one device the first counts.
std::map<std::string, std::string> StableNames(const fs::path& root) {
    std::map<std::string, std::string> names;
    std::error_code error;
    std::vector<fs::path> links;
    for (const fs::directory_entry& link : fs::directory_iterator(root / "dev/serial/by-id", error))
        links.push_back(link.path());
    std::ranges::sort(links);
    for (const fs::path& link : links) {
        fs::path target = fs::read_symlink(link, error);
        if (error) continue;
        target = target.is_absolute() ? root / target.relative_path() : link.parent_path() / target;
        fs::path below = target.lexically_normal().lexically_relative(root / "dev");
        if (below.empty() || *below.begin() == "..") continue;
        names.emplace("/dev/" + below.generic_string(), "/dev/serial/by-id/" + link.filename().string());
    }
    return names;
}

// "ttyS2" before "ttyS10": the name's trailing number is compared as a number.
std::pair<std::string, unsigned long> NaturalKey(const std::string& name) {
    size_t digits = name.find_last_not_of("0123456789") + 1;
    unsigned long number = 0;
    std::from_chars(name.data() + digits, name.data() + name.size(), number);
    return {name.substr(0, digits), number};
}

// The ttys the kernel writes its messages to ("ttyS0" of console=ttyS0); virtual consoles are no serial
// devices and are left out anyway.
std::vector<std::string> ActiveConsoles(const fs::path& top) {
    std::ifstream file(top / "sys/class/tty/console/active");
    std::vector<std::string> names;
    for (std::string name; file >> name;) names.push_back(name);
    return names;
}

// The terminal numbers (as /proc/PID/stat gives them) that some process has as its controlling terminal:
// a getty or a login shell. A program using a serial port opens it without making it its terminal.
std::vector<unsigned long> ControllingTerminals(const fs::path& top) {
    std::vector<unsigned long> terminals;
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator(top / "proc", error)) {
        std::ifstream file(process.path() / "stat");
        std::string line;
        std::getline(file, line);
        // pid (comm) state ppid pgrp session tty_nr: the name may hold anything, up to its last ')'.
        std::istringstream fields(line.substr(std::min(line.rfind(')') + 1, line.size())));
        std::string state;
        long ppid = 0, group = 0, session = 0;
        unsigned long terminal = 0;
        if (fields >> state >> ppid >> group >> session >> terminal && terminal != 0)
            terminals.push_back(terminal);
    }
    return terminals;
}

// The terminal number of a tty class entry from its "major:minor".
unsigned long TerminalNumber(const fs::path& entry) {
    std::string dev = Attribute(entry / "dev");
    unsigned long major = 0, minor = 0;
    if (std::sscanf(dev.c_str(), "%lu:%lu", &major, &minor) != 2) return 0;
    return (minor & 0xFF) | (major << 8) | ((minor & ~0xFFUL) << 12);
}

}  // namespace

std::vector<SerialPortInfo> SerialPorts() {
    std::string root = Environment("KX6000_DEVICE_ROOT");
    const fs::path top = fs::path(root.empty() ? "/" : root).lexically_normal();
    std::vector<SerialPortInfo> found;
    std::error_code error;
    const std::vector<std::string> consoles = ActiveConsoles(top);
    const std::vector<unsigned long> terminals = ControllingTerminals(top);
    for (const fs::directory_entry& entry : fs::directory_iterator(top / "sys/class/tty", error)) {
        std::optional<SerialPortInfo> info = ReadDevice(entry.path());
        if (!info) continue;
        // A report would write to the kernel's console or into a login's line, and leave it raw.
        if (std::ranges::find(consoles, entry.path().filename().string()) != consoles.end()) {
            info->notUsed = "the system console";
        } else if (unsigned long number = TerminalNumber(entry.path());
                   number != 0 && std::ranges::find(terminals, number) != terminals.end()) {
            info->notUsed = "a login terminal";
        }
        found.push_back(*info);
    }
    const std::map<std::string, std::string> names = StableNames(top);
    for (SerialPortInfo& info : found) {
        if (auto name = names.find(info.device); name != names.end()) info.stableName = name->second;
    }
    // USB devices by their stable names (which follow the adapter, not the socket), those without one
    // after them, then the UARTs.
    std::ranges::sort(found, {}, [](const SerialPortInfo& info) {
        return std::tuple(info.kind == PortKind::Uart, info.stableName.empty(), info.stableName,
                          NaturalKey(info.device));
    });
    return found;
}

std::string DefaultPortDevice(int port, const std::vector<SerialPortInfo>& present) {
    for (const SerialPortInfo& info : present) {
        if (info.notUsed.empty() && --port == 0) return info.device;
    }
    return "";
}

}  // namespace kx6000
