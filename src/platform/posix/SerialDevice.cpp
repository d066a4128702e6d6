#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace kx6000 {
namespace {

DeviceError Failed(int error) {
    std::error_code code(error, std::system_category());
    return {KindOf(code), code};
}

bool SpeedOf(uint32_t rate, speed_t& speed) {
    switch (rate) {
        case 9600:
            speed = B9600;
            return true;
        case 19200:
            speed = B19200;
            return true;
        case 115200:
            speed = B115200;
            return true;
        default:
            return false;
    }
}

}  // namespace

DeviceFailure KindOf(std::error_code code) {
    if (!code) return DeviceFailure::None;
    switch (code.value()) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return DeviceFailure::NotFound;
        case EBUSY:
        case EWOULDBLOCK:
            return DeviceFailure::InUse;
        case EACCES:
        case EPERM:
            return DeviceFailure::Denied;
        case EIO:
            return DeviceFailure::HungUp;
        case EINTR:
            return DeviceFailure::Stopped;
        default:
            return DeviceFailure::Other;
    }
}

SerialDevice::~SerialDevice() {
    if (handle == -1) return;
    ::ioctl(static_cast<int>(handle), TIOCNXCL);
    ::close(static_cast<int>(handle));
}

DeviceError SerialDevice::Open(const std::string& path, uint32_t baudRate) {
    speed_t speed{};
    if (!SpeedOf(baudRate, speed)) return Failed(EINVAL);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failed(errno);
    // Held twice over: flock also stops root, whom TIOCEXCL lets through.
    int error = 0;
    termios settings{};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0 ||
        ::tcgetattr(fd, &settings) != 0) {
        error = errno;
    } else {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (::cfsetspeed(&settings, speed) != 0 || ::tcsetattr(fd, TCSANOW, &settings) != 0) error = errno;
    }
    if (error != 0) {
        ::close(fd);
        // Once open, only the lock tells of another holder, and the device is there.
        DeviceError failed = Failed(error);
        if (failed.kind == DeviceFailure::NotFound ||
            (failed.kind == DeviceFailure::InUse && error != EWOULDBLOCK))
            failed.kind = DeviceFailure::Other;
        return failed;
    }
    handle = fd;
    return {};
}

void SerialDevice::Drain() {
    if (handle != -1) ::tcdrain(static_cast<int>(handle));
}

DeviceError SerialDevice::Close() {
    int fd = static_cast<int>(handle);
    handle = -1;
    // A user who is not root could not reopen a pty that keeps its exclusive flag.
    ::ioctl(fd, TIOCNXCL);
    if (::close(fd) != 0) return {DeviceFailure::Other, {errno, std::system_category()}};
    return {};
}

void SerialDevice::DiscardInput() {
    ::tcflush(static_cast<int>(handle), TCIFLUSH);
}

DeviceError SerialDevice::Write(const char* data, size_t size) {
    int fd = static_cast<int>(handle);
    for (size_t written = 0; written < size;) {
        ssize_t n = ::write(fd, data + written, size - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (errno == EAGAIN) {
            pollfd room{fd, POLLOUT, 0};
            if (::poll(&room, 1, 2000) <= 0) return Failed(ETIMEDOUT);
        } else if (errno != EINTR) {
            return Failed(errno);
        }
    }
    return {};
}

DeviceError SerialDevice::Read(std::string& into, int milliseconds) {
    into.clear();
    int fd = static_cast<int>(handle);
    pollfd ready{fd, POLLIN, 0};
    int events = ::poll(&ready, 1, milliseconds);
    if (events <= 0) return {};
    // A device that hangs up (unplugged, or its other end closed) ends the wait at once.
    if ((ready.revents & POLLIN) == 0) return Failed(EIO);
    // One read a call: a radio that never stops sending cannot grow the buffer.
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.assign(buffer, static_cast<size_t>(n));
        return {};
    }
    return Failed(n == 0 ? EIO : errno);
}

}  // namespace kx6000
