#include "support/Paths.h"

#include "platform/Places.h"
#include "support/modRegistry.h"

namespace kx6000 {

std::string RootFolder() {
    std::string root = Environment("KX6000_ROOT");
    return !root.empty() ? root : DefaultRootFolder();
}

std::string RootPath(std::string_view fileName) {
    std::string root = RootFolder();
    if (root.back() != '/') root += '/';
    return root.append(fileName);
}

std::string LogPath(std::string_view fileName) {
    std::string folder = Environment("KX6000_LOG_FOLDER");
    if (folder.empty()) return RootPath(fileName);
    if (folder.back() != '/') folder += '/';
    return folder.append(fileName);
}

std::string SettingsPath() {
    std::string path = Environment("KX6000_SETTINGS");
    return !path.empty() ? path : DefaultSettingsPath();
}

std::string PortDevicePath(int port) {
    std::string number = std::to_string(port);
    if (std::string device = Environment(("KX6000_PORT" + number).c_str()); !device.empty()) return device;
    std::string device = modRegistry::GetRegistryValue("Port" + number, "");
    return !device.empty() ? device : DefaultPortDevice(port);
}

}  // namespace kx6000
