// The lock file of a serial device as terminal programs name and fill it, and a program to name in one.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace kx6000::test {

// `device`: a path below /dev, no links on the way.
inline std::string LockPath(std::string device) {
    std::replace(device.begin(), device.end(), '/', '_');
    return "/run/lock/LCK.." + device.substr(5);
}

inline std::string LockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

// A `sleep` of half a minute, once it has left the copy of the test that fork made.
inline pid_t Sleeper() {
    pid_t child = fork();
    if (child == 0) _exit(execlp("sleep", "sleep", "30", static_cast<char*>(nullptr)));
    std::string name;
    for (int i = 0; i < 1000 && name != "sleep"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::getline(std::ifstream("/proc/" + std::to_string(child) + "/comm"), name);
    }
    return child;
}

}  // namespace kx6000::test
