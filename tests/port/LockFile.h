// The lock file terminal programs take for a serial device, as they name and fill it, and a process for a
// test to name in one.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace kx6000::test {

// `device` is a path below /dev with no links on the way.
inline std::string LockPath(const std::string& device) {
    std::string name = device.substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    return "/run/lock/LCK.." + name;
}

inline std::string LockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

// A `sleep` that lives until Reap, or for half a minute.
inline pid_t Sleeper() {
    pid_t child = fork();
    if (child == 0) {
        execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Until it has started sleep it is a copy of the test program.
    std::string name;
    for (int i = 0; i < 1000 && name != "sleep"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::getline(std::ifstream("/proc/" + std::to_string(child) + "/comm"), name);
    }
    return child;
}

inline void Reap(pid_t child) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

}  // namespace kx6000::test
