// kx6000-download ports: the serial devices found, and the device each of ports 1 to 4 reaches and why.

#include <cstdio>
#include <iostream>

#include "cli/Commands.h"
#include "platform/Runtime.h"
#include "platform/Settings.h"
#include "port/NetworkLine.h"
#include "support/OutsideText.h"
#include "support/Paths.h"

namespace kx6000::cli {
namespace {

// The JSON names of the kinds and the sources, in the order of their enumerations.
const char* const kKindNames[] = {"usb-adapter", "usb-modem", "uart"};
const char* const kSourceNames[] = {"environment", "settings", "found", "system", "none"};

std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// A device as the JSON document gives it: what is not known or does not apply is left out.
json DeviceJson(const SerialPortInfo& info) {
    json device = {{"device", info.device},
                   {"kind", kKindNames[static_cast<int>(info.kind)]},
                   {"description", info.description}};
    if (info.kind != PortKind::Uart)
        device.update({{"vendorId", Hex4(info.vendorId)}, {"productId", Hex4(info.productId)}});
    for (auto [name, value] : {std::pair{"stableName", &info.stableName},
                               {"manufacturer", &info.manufacturer},
                               {"product", &info.product},
                               {"serialNumber", &info.serialNumber},
                               {"interface", &info.interface}}) {
        if (!value->empty()) device[name] = *value;
    }
    if (info.latencyTimer) device["latencyTimer"] = *info.latencyTimer;
    if (!info.notUsed.empty()) device["notUsed"] = info.notUsed;
    return device;
}

void PrintDevice(const SerialPortInfo& info) {
    // What a USB device says of itself is shown escaped, as a radio's texts are.
    std::cout << "  " << Printable(info.device);
    if (!info.description.empty()) std::cout << "  " << Printable(info.description);
    std::cout << '\n';
    // Windows' stable name is the device's own short name ("COM3" of "\\.\COM3"): said once.
    if (!info.stableName.empty() && !info.device.ends_with(info.stableName))
        std::cout << "    " << Printable(info.stableName) << '\n';
    if (!info.notUsed.empty())
        std::cout << "    " << info.notUsed << ", not used: only a port that names it reaches it\n";
    if (info.kind == PortKind::Uart) return;
    std::cout << "    " << (info.kind == PortKind::UsbAdapter ? "USB adapter " : "USB modem ")
              << Hex4(info.vendorId) << ':' << Hex4(info.productId);
    if (!info.serialNumber.empty()) std::cout << ", serial number " << Printable(info.serialNumber);
    if (!info.interface.empty()) std::cout << ", interface " << Printable(info.interface);
    if (info.latencyTimer) std::cout << ", latency timer " << *info.latencyTimer << " ms";
    std::cout << '\n';
    if (info.latencyTimer > 1 && *kLatencyAdvice != '\0') std::cout << "    " << kLatencyAdvice << '\n';
}

// Why a port reaches what it does, after its device.
std::string Why(const PortRoute& route) {
    const std::string number = std::to_string(route.port);
    const std::string absent = NetworkLine::Names(route.device) ? ""
                               : !route.info                    ? " (not among the devices found)"
                               : !route.info->notUsed.empty()   ? " (" + route.info->notUsed + ")"
                                                                : "";
    switch (route.source) {
        case PortSource::Environment:
            return "named by KX6000_PORT" + number + absent;
        case PortSource::Settings:
            return "named by Port" + number + " in " + SettingsPlace() + absent;
        case PortSource::Found:
            return "found";
        case PortSource::System:
            return "the system's name for port " + number + ", though no such device was found";
        default:
            return "and neither KX6000_PORT" + number + " nor Port" + number + " in the settings names one";
    }
}

}  // namespace

int Ports(const Options& options) {
    if (!options.device.empty()) SetEnvironment("KX6000_PORT" + options.port, options.device);
    const std::vector<SerialPortInfo> present = SerialPorts();
    json devices = json::array(), ports = json::array();
    for (const SerialPortInfo& info : present) devices.push_back(DeviceJson(info));
    std::vector<PortRoute> routes;
    for (int port = 1; port <= 4; ++port) {
        routes.push_back(RoutePort(port, present));
        const PortRoute& route = routes.back();
        ports.push_back({{"port", port},
                         {"device", route.device.empty() ? json() : json(route.device)},
                         {"source", kSourceNames[static_cast<int>(route.source)]}});
        if (NetworkLine::Names(route.device)) ports.back()["kind"] = "network";
    }
    if (options.json) {
        PrintJson({{"devices", devices}, {"ports", ports}});
        return 0;
    }
    std::cout << (present.empty() ? "No serial devices found.\n" : "Serial devices found:\n");
    for (const SerialPortInfo& info : present) PrintDevice(info);
    std::cout << '\n';
    for (const PortRoute& route : routes)
        std::cout << "Port " << route.port << ": " << Printable(RouteText(route)) << ", "
                  << (NetworkLine::Names(route.device) ? std::string(NetworkLine::kKind) + ", " : "")
                  << Why(route) << '\n';
    return 0;
}

}  // namespace kx6000::cli
