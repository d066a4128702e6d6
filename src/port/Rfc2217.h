// Telnet with the COM-PORT-OPTION (RFC 2217) as a client speaks it to a serial device server: the bytes
// that go into the connection and what the bytes that come out of it mean. Bytes in, bytes out: the
// connection itself is the network line's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kx6000 {

class Rfc2217Codec {
public:
    enum class Agreement { Refused, Asked, Accepted };

    // The options this client asks for: binary both ways, no go-ahead, the COM-PORT-OPTION.
    std::string Start();
    // Data as it goes into the connection: every 0xFF doubled.
    static std::string Escape(std::string_view data);
    // The line at `rate` with 8 data bits, no parity and 1 stop bit.
    static std::string SetLine(uint32_t rate);
    // DTR and RTS on.
    static std::string RaiseModemLines();
    // The server drops what it received from the line and has not sent yet; what it sent before it
    // acknowledges this is dropped here.
    std::string PurgeReceived();

    // Takes bytes from the connection, in pieces of any size: the line's data goes to `data`, the answers
    // to the server's requests wait in TakeReplies.
    void Feed(std::string_view bytes, std::string& data);
    std::string TakeReplies() { return std::exchange(replies, {}); }

    // Whether the server takes the COM-PORT-OPTION.
    Agreement ComPort() const;
    // The speed the server said it set last, if it said one since ForgetSpeed.
    std::optional<uint32_t> AcknowledgedRate() const { return acknowledgedRate; }
    void ForgetSpeed() { acknowledgedRate.reset(); }
    // Purges the server has not acknowledged yet.
    int PurgesOwed() const { return purgesOwed; }
    // The server said the line saw a break.
    bool LineBroke() const { return lineBroke; }

private:
    enum class Parse { Data, Command, Option, Sub, SubCommand };

    void Negotiate(uint8_t verb, uint8_t option);
    void Subnegotiated();

    // Per option code, what this end does (WILL) and what the server does (DO), as agreed so far; an
    // option never asked for stays Refused.
    Agreement ours[256]{};
    Agreement theirs[256]{};
    bool started = false;
    Parse parse = Parse::Data;
    uint8_t verb = 0;
    std::string sub;
    std::string replies;
    std::optional<uint32_t> acknowledgedRate;
    bool lineBroke = false;
    int purgesOwed = 0;  // purges the server has not acknowledged yet
};

}  // namespace kx6000
