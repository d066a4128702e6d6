#include "support/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

int OpenRegularFile(const std::string& path, int flags) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return errno = EINVAL, -1;
    // Non-blocking, and checked again once open: the path may have been replaced in between.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return errno = EINVAL, -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace kx6000
