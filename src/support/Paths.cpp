#include "support/Paths.h"

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

std::string PortDevicePath(int port) {
    std::string number = std::to_string(port);
    if (std::string device = Environment(("KX6000_PORT" + number).c_str()); !device.empty()) return device;
    std::string device = modRegistry::GetRegistryValue("Port" + number, "");
    return !device.empty() ? device : DefaultPortDevice(port);
}

}  // namespace kx6000
