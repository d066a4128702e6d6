// The component's end of the simulated radio's line, kept bare: a raw tty fd, bytes in and out as hex text.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/Hex.h"

namespace kx6000::sim::test {

inline std::vector<uint8_t> Bytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(*ParseHex(hex.substr(i, 2))));
    return bytes;
}

// A command frame: code, word count, data words, then the complement of the 16-bit sum of the words.
inline std::string Frame(uint8_t code, const std::vector<uint16_t>& words = {}) {
    uint16_t sum = static_cast<uint16_t>(code << 8 | words.size());
    std::string hex = ToHex(code, 2) + ToHex(static_cast<uint32_t>(words.size()), 2);
    for (uint16_t word : words) sum = static_cast<uint16_t>(sum + word), hex += ToHex(word, 4);
    return hex + ToHex(static_cast<uint16_t>(~sum), 4);
}

class Peer {
public:
    explicit Peer(const std::string& path, int baud = 19200) {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) throw std::runtime_error("cannot open " + path);
        SetBaud(baud);
    }
    ~Peer() { close(fd); }

    void SetBaud(int baud) {
        termios settings{};
        tcgetattr(fd, &settings);
        cfmakeraw(&settings);
        cfsetspeed(&settings, baud == 115200 ? B115200 : baud == 9600 ? B9600 : B19200);
        tcsetattr(fd, TCSANOW, &settings);
    }

    void Write(const std::string& hex) {
        auto bytes = Bytes(hex);
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("short write");
    }

    // Up to `count` bytes (every byte arriving in the time when count is 0), as hex text.
    std::string Read(size_t count, int timeoutMs = 1000) {
        std::string hex;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (count == 0 || hex.size() < 2 * count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd in{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&in, 1, static_cast<int>(left.count())) <= 0) break;
            uint8_t byte;
            while ((count == 0 || hex.size() < 2 * count) && read(fd, &byte, 1) == 1) hex += ToHex(byte, 2);
        }
        return hex;
    }

private:
    int fd = -1;
};

}  // namespace kx6000::sim::test
