// A TCP connection as the system offers it, for lines that reach a radio through the network. Failures
// come in the serial device's kinds: an address that cannot be reached is NotFound, a connection that
// ends is HungUp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/SerialDevice.h"

namespace kx6000 {

class TcpSocket {
public:
    TcpSocket() = default;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    ~TcpSocket();

    // Resolves `host` (a name, an IPv4 or an IPv6 address) and connects to `port` on the first of its
    // addresses that answers, all within `milliseconds`.
    DeviceError Connect(const std::string& host, const std::string& port, int milliseconds);
    // Sends all of `size` bytes; gives up when the connection takes nothing for 2 seconds.
    DeviceError Send(const char* data, size_t size);
    // Waits at most `milliseconds` for bytes and replaces `into` with what one read gives (nothing when
    // none came). A connection the server closed is HungUp.
    DeviceError Receive(std::string& into, int milliseconds);
    void Close();

private:
    std::intptr_t handle = -1;
};

}  // namespace kx6000
