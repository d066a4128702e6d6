#include "support/Paths.h"

#include <algorithm>

#include "platform/Places.h"
#include "support/modRegistry.h"

namespace kx6000 {
namespace {

// A folder that already ends with a separator (a root such as C:\) takes the name directly.
std::string Join(std::string folder, std::string_view name) {
    if (folder.back() != '/' && folder.back() != kPathSeparator) folder += kPathSeparator;
    return folder.append(name);
}

}  // namespace

std::string RootFolder() {
    std::string root = Environment("KX6000_ROOT");
    return !root.empty() ? root : DefaultRootFolder();
}

std::string RootPath(std::string_view fileName) {
    return Join(RootFolder(), fileName);
}

std::string LogPath(std::string_view fileName) {
    std::string folder = Environment("KX6000_LOG_FOLDER");
    if (folder.empty()) folder = Environment("KX6000_ROOT");
    return Join(!folder.empty() ? folder : DefaultLogFolder(), fileName);
}

PortRoute RoutePort(int port, const std::vector<SerialPortInfo>& present) {
    std::string number = std::to_string(port);
    PortRoute route{port, Environment(("KX6000_PORT" + number).c_str()), PortSource::Environment, {}};
    if (route.device.empty())
        route = {port, modRegistry::GetRegistryValue("Port" + number, ""), PortSource::Settings, {}};
    if (route.device.empty()) route = {port, DefaultPortDevice(port, present), PortSource::Found, {}};
    auto found = std::ranges::find_if(present, [&route](const SerialPortInfo& info) {
        return info.device == route.device || info.stableName == route.device;
    });
    if (found != present.end()) route.info = *found;
    if (route.device.empty()) {
        route.source = PortSource::None;
    } else if (route.source == PortSource::Found && !route.info) {
        route.source = PortSource::System;
    }
    return route;
}

std::string PortDevicePath(int port) {
    return RoutePort(port, SerialPorts()).device;
}

std::string RouteText(const PortRoute& route) {
    if (route.device.empty()) return "no serial device found";
    if (!route.info || route.info->description.empty()) return route.device;
    return route.device + " (" + route.info->description + ")";
}

}  // namespace kx6000
