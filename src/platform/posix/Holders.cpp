#include "platform/Holders.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/SerialLine.h"

namespace kx6000 {
namespace {

// A process's program by the name it was started with, whole (its "comm" is cut at 15 characters).
std::string ProgramName(const std::string& pid) {
    std::string argument;
    std::getline(std::ifstream("/proc/" + pid + "/cmdline"), argument, '\0');
    if (argument.empty()) std::getline(std::ifstream("/proc/" + pid + "/comm"), argument);  // a kernel thread
    return std::filesystem::path(argument).filename().string();
}

}  // namespace

std::string Holders(const std::string& device) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(device, error);
    // A program may hold the device by its lock file alone, before it opens the device or instead.
    std::string lockFile = LockFileOf(device), holders;
    pid_t holder = LockHolder(lockFile);
    std::string locker = std::to_string(holder);
    if (holder == kUnknownHolder)
        holders = "something this program cannot identify (" + lockFile + " is no lock file it can read)";
    else if (holder != kNoHolder && holder != getpid())
        holders = ProgramName(locker) + " (pid " + locker + ")";
    if (error) return holders;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid()) ||
            pid == locker)
            continue;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/" + pid + "/fd", error)) {
            if (std::filesystem::read_symlink(fd.path(), error) != target) continue;
            std::string name = ProgramName(pid);
            holders += (holders.empty() ? "" : ", ") + name + " (pid " + pid + ")";
            break;
        }
    }
    return holders;
}

}  // namespace kx6000
