// A line to a radio through a serial device server on the network, named rfc2217://HOST:PORT: a TCP
// connection that speaks RFC 2217 as a client. The server keeps others off its port, so no lock file.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "platform/SerialDevice.h"
#include "platform/Socket.h"
#include "port/Rfc2217.h"

namespace kx6000 {

class NetworkLine final : public Device {
public:
    // Whether `path` names a network line rather than a serial device.
    static bool Names(const std::string& path);
    // How the port lists and the window's tooltips name such a line's kind.
    static constexpr const char* kKind = "network (RFC 2217)";

    DeviceError Open(const std::string& path, uint32_t baudRate) override;
    // The connection keeps no bytes of its own to drain: the port waits out their time on the line.
    void Drain() override {}
    DeviceError Close() override;
    void DiscardInput() override;
    DeviceError Write(const char* data, size_t size) override;
    DeviceError Read(std::string& into, int milliseconds) override;
    std::optional<DeviceError> ChangeSpeed(uint32_t baudRate) override;

private:
    DeviceError Send(const std::string& bytes);
    // Reads the server's answers until `done` says they came, for at most `milliseconds`; the line's data
    // that comes meanwhile waits in `pending`. `late` is the failure when they do not come.
    DeviceError Await(const std::function<bool()>& done, int milliseconds, DeviceError late);
    DeviceError Negotiate(uint32_t baudRate);
    // Waits for the server to say its line's speed.
    DeviceError AwaitSpeed();

    TcpSocket socket;
    Rfc2217Codec codec;
    std::string pending;  // the line's data read with the server's answers, for the next Read
    std::string unsent;   // a purge that goes out with the next bytes sent
    // The purge of the server's received data, timed while it is the only one owed.
    std::string Purge();
    // Feeds the server's bytes to the codec, timing the purges' answers.
    void Take(const std::string& bytes, std::string& data);

    uint32_t rate = 9600;  // the server's line speed
    size_t written = 0;    // the bytes written last, until a speed change has waited for them
    std::chrono::steady_clock::time_point writtenAt, purgedAt;
    std::chrono::microseconds roundTrip{};  // the shortest a purge waited for its answer; 0 before one
};

}  // namespace kx6000
