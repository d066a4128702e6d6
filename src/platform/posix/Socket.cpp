#include "platform/Socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>

namespace kx6000 {
namespace {

// The resolver's failures, in its own words.
class ResolverCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "resolver"; }
    std::string message(int value) const override { return ::gai_strerror(value); }
};

DeviceError Failed(DeviceFailure kind, int error) {
    return {kind, {error, std::system_category()}};
}

DeviceError Lost(int error) {
    return Failed(error == EPIPE || error == ECONNRESET ? DeviceFailure::HungUp
                                                        : KindOf({error, std::system_category()}),
                  error);
}

// Waits for `events` on `fd` at most `milliseconds`: the events that came, 0 when none did.
short Await(int fd, short events, int milliseconds) {
    pollfd ready{fd, events, 0};
    int n = 0;
    do {
        n = ::poll(&ready, 1, milliseconds);
    } while (n < 0 && errno == EINTR);
    return n > 0 ? ready.revents : 0;
}

}  // namespace

TcpSocket::~TcpSocket() {
    Close();
}

DeviceError TcpSocket::Connect(const std::string& host, const std::string& port, int milliseconds) {
    Close();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    if (int error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
        static const ResolverCategory resolver;
        return error == EAI_SYSTEM ? Failed(DeviceFailure::NotFound, errno)
                                   : DeviceError{DeviceFailure::NotFound, {error, resolver}};
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
    int error = ETIMEDOUT;
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                socklen_t size = sizeof error;
                if (left.count() <= 0 || Await(fd, POLLOUT, static_cast<int>(left.count())) == 0)
                    error = ETIMEDOUT;
                else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                    error = errno;
            }
        } else {
            error = 0;
        }
        if (error == 0) {
            // Frames go one at a time and wait for their answer: none may wait to fill a segment.
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            handle = fd;
            return {};
        }
        ::close(fd);
        if (std::chrono::steady_clock::now() >= deadline) break;
    }
    return Failed(DeviceFailure::NotFound, error);
}

DeviceError TcpSocket::Send(const char* data, size_t size) {
    int fd = static_cast<int>(handle);
    for (size_t sent = 0; sent < size;) {
        ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (errno == EAGAIN) {
            if (Await(fd, POLLOUT, 2000) == 0) return Failed(DeviceFailure::Other, ETIMEDOUT);
        } else if (errno != EINTR) {
            return Lost(errno);
        }
    }
    return {};
}

DeviceError TcpSocket::Receive(std::string& into, int milliseconds) {
    into.clear();
    int fd = static_cast<int>(handle);
    if (Await(fd, POLLIN, milliseconds) == 0) return {};
    char buffer[4096];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
        into.assign(buffer, static_cast<size_t>(n));
        return {};
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return {};
    return n == 0 ? Failed(DeviceFailure::HungUp, ECONNRESET) : Lost(errno);
}

void TcpSocket::Close() {
    if (handle != -1) ::close(static_cast<int>(handle));
    handle = -1;
}

}  // namespace kx6000
