// A line to a radio through a serial device server on the network, named rfc2217://HOST:PORT: a TCP
// connection that speaks RFC 2217 as a client. The server keeps others off its port, so no lock file.
#pragma once

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

    TcpSocket socket;
    Rfc2217Codec codec;
    std::string pending;  // the line's data read with the server's answers, for the next Read
};

}  // namespace kx6000
