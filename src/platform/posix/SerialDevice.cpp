#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/posix/SerialLine.h"

namespace kx6000 {

SerialControl serialControl = [](int fd, unsigned long request, serial_struct* settings) {
    return ::ioctl(fd, request, settings);
};

namespace {

constexpr const char* kLockFolder = "/run/lock";

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

enum class Lock { Taken, Held, Without };

// A lock file is a PID in ten characters and a line feed; anything much longer is no lock file.
constexpr off_t kLockFileLimit = 64;

// Whether `pid` has ended and only waits for its parent to reap it.
bool Ended(pid_t pid) {
    std::string stat;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
    // The state follows the program's name in parentheses, which may itself hold ") ".
    size_t name = stat.rfind(") ");
    return name != std::string::npos && name + 2 < stat.size() && stat[name + 2] == 'Z';
}

// The text of a lock file, read only if it is a small regular file: anything else at the name (a FIFO, a
// link, a directory, a huge file, one this user cannot read) could hang or flood the reader. Empty with
// `readable` false for those; a missing file reads as empty.
std::string ReadLockFile(const std::string& lockFile, bool& readable) {
    int fd = ::open(lockFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    readable = fd >= 0 || errno == ENOENT;
    if (fd < 0) return "";
    struct stat status {};
    char text[kLockFileLimit + 1];
    ssize_t size = -1;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= kLockFileLimit)
        size = ::read(fd, text, sizeof text);
    ::close(fd);
    readable = size >= 0 && size <= kLockFileLimit;
    return readable ? std::string(text, static_cast<size_t>(size)) : "";
}

// Takes the lock file. Where none can be made (no name, no lock folder, or one this user cannot write) the
// device goes without one.
Lock TakeLock(const std::string& lockFile) {
    std::string temporary = std::string(kLockFolder) + "/LTMP.XXXXXX";
    int fd = lockFile.empty() ? -1 : ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return Lock::Without;
    char pid[16];
    int size = std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(::getpid()));
    bool written = ::fchmod(fd, 0644) == 0 && ::write(fd, pid, size) == size;
    ::close(fd);
    // link() gives the name only where no file has it, so two programs cannot both take it. A stale file
    // is removed and the name tried once more; what is no lock file may be another user's trap and is
    // left alone.
    Lock lock = Lock::Without;
    for (int tries = 2; written && tries > 0 && lock == Lock::Without; --tries) {
        if (::link(temporary.c_str(), lockFile.c_str()) == 0)
            lock = Lock::Taken;
        else if (errno != EEXIST)
            break;
        else if (LockHolder(lockFile) != kNoHolder)
            lock = Lock::Held;
        else
            ::unlink(lockFile.c_str());
    }
    ::unlink(temporary.c_str());
    return lock;
}

// Removes the lock file if it is still this program's.
void Unlock(const std::string& lockFile) {
    if (!lockFile.empty() && LockHolder(lockFile) == ::getpid()) ::unlink(lockFile.c_str());
}

// A USB adapter holds short replies for its latency timer (16 ms by default) unless asked for low latency.
// Best effort: a pty, or a driver without the setting, is left as it is.
void AskLowLatency(int fd) {
    serial_struct serial{};
    if (serialControl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    serialControl(fd, TIOCSSERIAL, &serial);
}

}  // namespace

std::string LockFileOf(const std::string& device) {
    std::error_code error;
    std::string path = std::filesystem::canonical(device, error).string();
    if (error || !path.starts_with("/dev/")) return "";
    std::string name = path.substr(5);
    std::replace(name.begin(), name.end(), '/', '_');
    return std::string(kLockFolder) + "/LCK.." + name;
}

pid_t LockHolder(const std::string& lockFile) {
    bool readable = true;
    std::istringstream text(ReadLockFile(lockFile, readable));
    if (!readable) return kUnknownHolder;
    long pid = 0;
    if (!(text >> pid) || pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return kNoHolder;
    bool alive = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    // A run killed but not yet reaped by its parent holds nothing any more.
    return alive && !Ended(static_cast<pid_t>(pid)) ? static_cast<pid_t>(pid) : kNoHolder;
}

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
    if (handle != -1) Close();
}

DeviceError SerialDevice::Open(const std::string& path, uint32_t baudRate) {
    speed_t speed{};
    if (!SpeedOf(baudRate, speed)) return Failed(EINVAL);
    // Terminal programs keep to the lock files: one holding the device this way may not have it open yet.
    std::string lock = LockFileOf(path);
    switch (TakeLock(lock)) {
        case Lock::Taken:
            break;
        case Lock::Held:
            return Failed(EWOULDBLOCK);  // told as for a device another program has open
        case Lock::Without:
            lock.clear();
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        DeviceError failed = Failed(errno);
        Unlock(lock);
        return failed;
    }
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
        Unlock(lock);
        // Once open, only the lock tells of another holder, and the device is there.
        DeviceError failed = Failed(error);
        if (failed.kind == DeviceFailure::NotFound ||
            (failed.kind == DeviceFailure::InUse && error != EWOULDBLOCK))
            failed.kind = DeviceFailure::Other;
        // A file or /dev/null is no serial port at all, as Windows says of NUL or a file.
        if (error == ENOTTY) failed.kind = DeviceFailure::NotFound;
        return failed;
    }
    AskLowLatency(fd);
    handle = fd;
    lockFile = lock;
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
    DeviceError error;
    if (::close(fd) != 0) error = {DeviceFailure::Other, {errno, std::system_category()}};
    Unlock(lockFile);
    lockFile.clear();
    return error;
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
