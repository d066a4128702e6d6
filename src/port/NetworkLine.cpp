#include "port/NetworkLine.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace kx6000 {
namespace {

constexpr std::string_view kScheme = "rfc2217://";
constexpr int kConnectMs = 5000;
constexpr int kAnswerMs = 2000;
constexpr std::chrono::milliseconds kMargin{2};

enum class Problem { BadAddress = 1, Held, NotRfc2217, NoAcknowledgement, Break };

class NetworkCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "network line"; }
    std::string message(int value) const override {
        switch (static_cast<Problem>(value)) {
            case Problem::BadAddress:
                return "not a network address: rfc2217://HOST:PORT names one ([::1] for an IPv6 address)";
            case Problem::Held:
                return "the server closed the connection before the line was set up: another client holds "
                       "the port";
            case Problem::NotRfc2217:
                return "the server does not speak RFC 2217 (it did not take the COM-PORT-OPTION); no frame "
                       "was sent";
            case Problem::NoAcknowledgement:
                return "the server did not acknowledge the speed change";
            case Problem::Break:
                return "the server reports a break on the serial line";
        }
        return "network line failure";
    }
};

DeviceError Failure(DeviceFailure kind, Problem problem) {
    static const NetworkCategory category;
    return {kind, {static_cast<int>(problem), category}};
}

// Host and port of "rfc2217://HOST:PORT", the host of "[ADDRESS]" without its brackets; false for anything
// else.
bool Split(const std::string& path, std::string& host, std::string& port) {
    std::string_view rest = std::string_view(path).substr(kScheme.size());
    size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return false;
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of("[]:") != std::string::npos) {
        return false;  // an IPv6 address needs its brackets, or its last group is taken for the port
    }
    return !host.empty() && !port.empty() && port.size() <= 5 &&
           port.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool NetworkLine::Names(const std::string& path) {
    return path.starts_with(kScheme);
}

DeviceError NetworkLine::Open(const std::string& path, uint32_t baudRate) {
    std::string host, port;
    if (!Split(path, host, port)) return Failure(DeviceFailure::NotFound, Problem::BadAddress);
    codec = {};
    unsent.clear();
    written = 0;
    roundTrip = {};
    if (DeviceError error = socket.Connect(host, port, kConnectMs)) return error;
    DeviceError error = Negotiate(baudRate);
    // A server that takes the connection and closes it before the line is set up keeps the port for
    // another client.
    if (error.kind == DeviceFailure::HungUp) error = Failure(DeviceFailure::InUse, Problem::Held);
    if (error) socket.Close();
    return error;
}

DeviceError NetworkLine::Negotiate(uint32_t baudRate) {
    if (DeviceError error = Send(codec.Start())) return error;
    DeviceError error = Await([this] { return codec.ComPort() != Rfc2217Codec::Agreement::Asked; }, kAnswerMs,
                              Failure(DeviceFailure::Other, Problem::NotRfc2217));
    if (error) return error;
    if (codec.ComPort() == Rfc2217Codec::Agreement::Refused)
        return Failure(DeviceFailure::Other, Problem::NotRfc2217);
    // A server in front of a pseudo-terminal or a three-wire cable cannot set the modem lines and may not
    // answer: their answers are not waited for.
    if (DeviceError sent = Send(Rfc2217Codec::RaiseModemLines())) return sent;
    if (auto changed = ChangeSpeed(baudRate); changed && *changed) return *changed;
    return {};
}

DeviceError NetworkLine::Close() {
    socket.Close();
    return {};
}

void NetworkLine::DiscardInput() {
    // What the server holds goes too, not only what already came. The purge goes out with the frame that
    // follows: the server answers it at once, and with it acknowledges the frame's segment, so a hop that
    // holds a small segment until the one before is acknowledged (a proxy with Nagle's algorithm on) lets
    // a speed change after the frame through without waiting for the server's delayed acknowledgement.
    pending.clear();
    unsent += Purge();
}

std::string NetworkLine::Purge() {
    if (codec.PurgesOwed() == 0) purgedAt = std::chrono::steady_clock::now();
    return codec.PurgeReceived();
}

void NetworkLine::Take(const std::string& bytes, std::string& data) {
    const bool owed = codec.PurgesOwed() > 0;
    codec.Feed(bytes, data);
    // The server answers a purge at once, but its answer may wait here while nothing reads: the shortest
    // wait for one is the connection's round trip.
    if (owed && codec.PurgesOwed() == 0) {
        auto waited = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                            purgedAt);
        roundTrip = roundTrip.count() == 0 ? waited : std::min(roundTrip, waited);
    }
}

DeviceError NetworkLine::Write(const char* data, size_t size) {
    written = size;
    writtenAt = std::chrono::steady_clock::now();
    return Send(Rfc2217Codec::Escape({data, size}));
}

DeviceError NetworkLine::Read(std::string& into, int milliseconds) {
    into = std::exchange(pending, {});
    if (!into.empty()) return {};
    if (DeviceError error = Send({})) return error;
    std::string bytes;
    if (DeviceError error = socket.Receive(bytes, milliseconds)) return error;
    Take(bytes, into);
    if (DeviceError error = Send(codec.TakeReplies())) return error;
    return codec.LineBroke() ? Failure(DeviceFailure::Other, Problem::Break) : DeviceError{};
}

std::optional<DeviceError> NetworkLine::ChangeSpeed(uint32_t baudRate) {
    // The server changes its line's speed at once, whatever it still has to send: the bytes written last
    // reach it half a round trip after they left here and then take their time on its line at the old speed.
    std::this_thread::sleep_until(writtenAt + std::chrono::microseconds(written * 10'000'000 / rate) +
                                  roundTrip / 2 + kMargin);
    // The purge follows the speed in the connection, so what the radio sends once the line is at the new
    // speed is kept, even when it comes with the server's acknowledgement.
    codec.ForgetSpeed();
    pending.clear();
    if (DeviceError error = Send(Rfc2217Codec::SetLine(baudRate) + Purge())) return error;
    rate = baudRate;
    written = 0;
    return AwaitSpeed();
}

DeviceError NetworkLine::AwaitSpeed() {
    return Await([this] { return codec.AcknowledgedRate().has_value(); }, kAnswerMs,
                 Failure(DeviceFailure::Other, Problem::NoAcknowledgement));
}

DeviceError NetworkLine::Send(const std::string& bytes) {
    const std::string all = std::exchange(unsent, {}) + bytes;
    return all.empty() ? DeviceError{} : socket.Send(all.data(), all.size());
}

DeviceError NetworkLine::Await(const std::function<bool()>& done, int milliseconds, DeviceError late) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::string bytes;
    while (!done()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) return late;
        if (DeviceError error = socket.Receive(bytes, static_cast<int>(left.count()))) return error;
        Take(bytes, pending);
        if (DeviceError error = Send(codec.TakeReplies())) return error;
    }
    return {};
}

}  // namespace kx6000
