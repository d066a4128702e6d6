// The far end of a pseudo-terminal, playing a radio that a test scripts byte by byte.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/Hex.h"

namespace kx6000::test {

class PtyPeer {
public:
    PtyPeer() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master);
        unlockpt(master);
        path = ptsname(master);
        // Held open so the line keeps its settings and never hangs up between opens.
        keep = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        tcgetattr(keep, &raw);
        cfmakeraw(&raw);
        tcsetattr(keep, TCSANOW, &raw);
    }
    ~PtyPeer() {
        if (sender.joinable()) sender.join();
        Unplug();
        if (keep >= 0) close(keep);
    }

    const std::string& Path() const { return path; }

    void Send(const std::string& hex) {
        std::string bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes += static_cast<char>(*ParseHex(hex.substr(i, 2)));
        if (write(master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    }

    // Sends each piece at its time (milliseconds from now), from a thread of its own.
    void SendLater(std::vector<std::pair<int, std::string>> pieces) {
        sender = std::thread([this, pieces = std::move(pieces)] {
            auto start = std::chrono::steady_clock::now();
            for (const auto& [at, hex] : pieces) {
                std::this_thread::sleep_until(start + std::chrono::milliseconds(at));
                Send(hex);
            }
        });
    }

    // What arrived from the port within `ms`, as hex text.
    std::string Received(int ms = 50) {
        std::string hex;
        pollfd ready{master, POLLIN, 0};
        while (poll(&ready, 1, ms) > 0) {
            unsigned char buffer[256];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) hex += ToHex(buffer[i], 2);
        }
        return hex;
    }

    speed_t Speed() const {
        termios settings{};
        tcgetattr(master, &settings);
        return cfgetospeed(&settings);
    }

    // Pulls the plug: the port's end sees the line hang up.
    void Unplug() {
        if (master >= 0) close(master);
        if (keep >= 0) close(keep);
        master = keep = -1;
    }

private:
    int master = -1, keep = -1;
    std::string path;
    std::thread sender;
};

}  // namespace kx6000::test
