#include "platform/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <memory>

namespace kx6000 {
namespace {

DeviceError Failed(DeviceFailure kind, int error) {
    return {kind, {error, std::system_category()}};
}

DeviceError Lost(int error) {
    return Failed(error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN
                      ? DeviceFailure::HungUp
                      : DeviceFailure::Other,
                  error);
}

// Winsock is started once for the program and left running to its end.
bool Started() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// Waits at most `milliseconds` until `fd` can be read (or written): true when it can, or failed.
bool Ready(SOCKET fd, bool writing, int milliseconds) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(fd, &ready);
    FD_SET(fd, &failed);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, &failed, &wait) > 0;
}

}  // namespace

TcpSocket::~TcpSocket() {
    Close();
}

DeviceError TcpSocket::Connect(const std::string& host, const std::string& port, int milliseconds) {
    Close();
    if (!Started()) return Failed(DeviceFailure::Other, WSAGetLastError());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (int error = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0)
        return Failed(DeviceFailure::NotFound, error);
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    int error = WSAETIMEDOUT;
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        SOCKET fd = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (fd == INVALID_SOCKET) {
            error = WSAGetLastError();
            continue;
        }
        u_long nonBlocking = 1;
        ioctlsocket(fd, FIONBIO, &nonBlocking);
        error = 0;
        if (connect(fd, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
            error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                int size = sizeof error;
                if (left.count() <= 0 || !Ready(fd, true, static_cast<int>(left.count())))
                    error = WSAETIMEDOUT;
                else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
                    error = WSAGetLastError();
            }
        }
        if (error == 0) {
            // Frames go one at a time and wait for their answer: none may wait to fill a segment.
            BOOL on = TRUE;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
            handle = static_cast<std::intptr_t>(fd);
            return {};
        }
        closesocket(fd);
        if (std::chrono::steady_clock::now() >= deadline) break;
    }
    return Failed(DeviceFailure::NotFound, error);
}

DeviceError TcpSocket::Send(const char* data, size_t size) {
    SOCKET fd = static_cast<SOCKET>(handle);
    for (size_t sent = 0; sent < size;) {
        int n = send(fd, data + sent, static_cast<int>(size - sent), 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
            if (!Ready(fd, true, 2000)) return Failed(DeviceFailure::Other, WSAETIMEDOUT);
        } else {
            return Lost(WSAGetLastError());
        }
    }
    return {};
}

DeviceError TcpSocket::Receive(std::string& into, int milliseconds) {
    into.clear();
    SOCKET fd = static_cast<SOCKET>(handle);
    if (!Ready(fd, false, milliseconds)) return {};
    char buffer[4096];
    int n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
        into.assign(buffer, static_cast<size_t>(n));
        return {};
    }
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return {};
    return n == 0 ? Failed(DeviceFailure::HungUp, WSAECONNRESET) : Lost(WSAGetLastError());
}

void TcpSocket::Close() {
    if (handle != -1) closesocket(static_cast<SOCKET>(handle));
    handle = -1;
}

}  // namespace kx6000
