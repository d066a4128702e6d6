// One end of a serial line, raw, bytes in and out as hex text: the far end of a new pseudo-terminal
// playing a radio that a test scripts byte by byte, or the component's end of the simulated radio's line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "../files/SRecords.h"

namespace kx6000::test {

class PtyPeer {
public:
    PtyPeer() {
        fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(fd);
        unlockpt(fd);
        path = ptsname(fd);
        // Held open so the line keeps its settings and never hangs up between opens.
        keep = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        Raw(keep, 0);
    }
    explicit PtyPeer(const std::string& device, speed_t speed = B19200) : path(device) {
        fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) throw std::runtime_error("cannot open " + device);
        Raw(fd, speed);
    }
    ~PtyPeer() { Unplug(); }

    const std::string& Path() const { return path; }
    void SetSpeed(speed_t speed) { Raw(fd, speed); }

    void Send(const std::string& hex) {
        std::vector<uint8_t> bytes = HexBytes(hex);
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    }

    // What arrives within `ms` (only the first `count` bytes, when count is not 0), as hex text.
    std::string Received(int ms = 50, size_t count = 0) {
        std::string hex;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (count == 0 || hex.size() < 2 * count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
            unsigned char buffer[256];
            ssize_t n =
                read(fd, buffer, count ? std::min(sizeof buffer, count - hex.size() / 2) : sizeof buffer);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) hex += ToHex(buffer[i], 2);
        }
        return hex;
    }

    speed_t Speed() const {
        termios settings{};
        tcgetattr(fd, &settings);
        return cfgetospeed(&settings);
    }

    // Pulls the plug: the port's end sees the line hang up.
    void Unplug() {
        if (fd >= 0) close(fd);
        if (keep >= 0) close(keep);
        fd = keep = -1;
    }

private:
    // Raw bytes; the speed too unless it is 0.
    static void Raw(int line, speed_t speed) {
        termios settings{};
        tcgetattr(line, &settings);
        cfmakeraw(&settings);
        if (speed != 0) cfsetspeed(&settings, speed);
        tcsetattr(line, TCSANOW, &settings);
    }

    int fd = -1, keep = -1;
    std::string path;
};

}  // namespace kx6000::test
