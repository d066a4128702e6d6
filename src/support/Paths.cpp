#include "support/Paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "support/modRegistry.h"

namespace kx6000 {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeFolder() {
    if (std::string home = Environment("HOME"); !home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/tmp";
}

// An XDG base folder: the variable when it holds an absolute path, else ~/fallback.
std::string XdgFolder(const char* variable, const char* fallback) {
    std::string folder = Environment(variable);
    return !folder.empty() && folder.front() == '/' ? folder : HomeFolder() + "/" + fallback;
}

}  // namespace

std::string RootFolder() {
    std::string root = Environment("KX6000_ROOT");
    return !root.empty() ? root : XdgFolder("XDG_DATA_HOME", ".local/share") + "/kx6000-download";
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
    return !path.empty() ? path : XdgFolder("XDG_CONFIG_HOME", ".config") + "/kx6000-download/settings.ini";
}

std::string PortDevicePath(int port) {
    std::string number = std::to_string(port);
    if (std::string device = Environment(("KX6000_PORT" + number).c_str()); !device.empty()) return device;
    std::string device = modRegistry::GetRegistryValue("Port" + number, "");
    return !device.empty() ? device : "/dev/ttyS" + std::to_string(port - 1);
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

std::string ProgramFolder() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : program.parent_path().string();
}

}  // namespace kx6000
