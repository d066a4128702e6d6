#include "platform/Places.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/SettingsFile.h"

namespace kx6000 {
namespace {

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

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string DefaultRootFolder() {
    return XdgFolder("XDG_DATA_HOME", ".local/share") + "/kx6000-download";
}

std::string DefaultLogFolder() {
    return DefaultRootFolder();
}

std::string DefaultSettingsPath() {
    return XdgFolder("XDG_CONFIG_HOME", ".config") + "/kx6000-download/settings.ini";
}

std::string ProgramFolder() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : program.parent_path().string();
}

// No system here redirects a program's writes.
std::string WrittenFolder(const std::string& folder) {
    return folder;
}

}  // namespace kx6000
