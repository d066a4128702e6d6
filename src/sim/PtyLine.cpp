#include "sim/PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

namespace kx6000::sim {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), "simulated radio: " + what);
}

}  // namespace

PtyLine::PtyLine(bool realtime, Trace& trace) : Line(realtime, trace) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) Fail("cannot open a pseudo-terminal");
    char name[256];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
        Fail("cannot unlock the pseudo-terminal");
    slavePath = name;
    keeper = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios settings{};
    if (keeper < 0 || tcgetattr(keeper, &settings) != 0) Fail("cannot open " + slavePath);
    // Raw from the start, so nothing is echoed before the component sets the line up.
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    // With EXTPROC every change of the component's settings reaches the master as a packet status, so the
    // bytes written before a speed change can be told from those written after it.
    settings.c_lflag |= EXTPROC;
    cfsetspeed(&settings, B19200);
    tcsetattr(keeper, TCSANOW, &settings);
    int packets = 1;
    ioctl(master, TIOCPKT, &packets);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    hostBaud = PortBaud();
    closes = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (closes < 0 || inotify_add_watch(closes, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        Fail("cannot watch " + slavePath);
    wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) Fail("eventfd");
}

PtyLine::~PtyLine() {
    Close();
}

void PtyLine::Close() {
    for (int fd : {wake, closes, keeper, master})
        if (fd >= 0) close(fd);
}

void PtyLine::Fail(const std::string& what) {
    int error = errno;
    Close();
    errno = error;
    ThrowErrno(what);
}

int PtyLine::PortBaud() const {
    // On Linux the master reports the slave's settings: the speed the component chose.
    termios settings{};
    if (tcgetattr(master, &settings) != 0) return 0;
    switch (cfgetospeed(&settings)) {
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

bool PtyLine::ReleaseStaleExclusive() {
    char notices[4096];
    while (read(closes, notices, sizeof notices) > 0) {
    }
    int exclusive = 0;
    if (ioctl(keeper, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) return false;
    // The lock is taken here only for the moment of the test, and only while the flag is set: a component
    // that has the port then holds the lock already, and one that opens it now is refused by the flag.
    if (flock(keeper, LOCK_EX | LOCK_NB) != 0) return true;
    flock(keeper, LOCK_UN);
    ioctl(keeper, TIOCNXCL);
    return false;
}

Line::Events PtyLine::Wait(std::optional<Clock::time_point> deadline) {
    pollfd fds[3] = {{master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                     {wake, POLLIN, 0},
                     {closes, POLLIN, 0}};
    timespec timeout{};
    if (deadline) {
        auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    }
    if (ppoll(fds, 3, deadline ? &timeout : nullptr, nullptr) < 0 && errno != EINTR)
        throw std::system_error(errno, std::generic_category(), "ppoll");
    if (fds[1].revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] ssize_t ignored = read(wake, &count, sizeof count);
    }
    // A hang-up is not expected while the keeper holds the slave open; never spin on it.
    if (!(fds[0].revents & POLLIN) && (fds[0].revents & (POLLHUP | POLLERR)))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return {(fds[0].revents & POLLIN) != 0, (fds[2].revents & POLLIN) != 0};
}

void PtyLine::Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wake, &one, sizeof one);
}

void PtyLine::Receive(Clock::time_point now, int radioBaud) {
    // Each read gives a status byte, then (for TIOCPKT_DATA) the bytes.
    uint8_t packet[4097];
    for (;;) {
        ssize_t count = read(master, packet, sizeof packet);
        if (count <= 0) return;  // EAGAIN; EIO cannot last while the keeper holds the slave open
        if (packet[0] == TIOCPKT_DATA) {
            // Without EXTPROC the changes go unannounced: the speed is the one in force now.
            Take(packet + 1, static_cast<size_t>(count - 1), announced ? hostBaud : PortBaud(), now,
                 radioBaud);
            continue;
        }
        if ((packet[0] & TIOCPKT_IOCTL) == 0) continue;
        // The component changed its settings. A status overtakes the bytes, and the bytes already waiting
        // may have been written just before the change or just after it: the kernel keeps no order between
        // the two. They are read at the radio's speed when either was it, so neither a frame sent right
        // before a switch nor one sent right after it is lost; a component that stays at a wrong speed
        // is garbled from the next read on.
        int before = hostBaud;
        hostBaud = PortBaud();
        int waitingBaud = before == radioBaud || hostBaud == radioBaud ? radioBaud : hostBaud;
        int waiting = 0;
        ioctl(master, FIONREAD, &waiting);
        for (size_t left = static_cast<size_t>(std::max(waiting, 0)); left > 0;) {
            count = read(master, packet, std::min(left, sizeof packet - 1) + 1);
            if (count <= 0) break;
            if (packet[0] != TIOCPKT_DATA) continue;
            Take(packet + 1, static_cast<size_t>(count - 1), waitingBaud, now, radioBaud);
            left -= static_cast<size_t>(count - 1);
        }
        hostBaud = PortBaud();  // a further change while the waiting bytes were read
        termios settings{};
        announced = tcgetattr(master, &settings) == 0 && (settings.c_lflag & EXTPROC) != 0;
    }
}

size_t PtyLine::Put(const std::vector<uint8_t>& bytes) {
    ssize_t written = write(master, bytes.data(), bytes.size());
    if (written > 0) return static_cast<size_t>(written);
    blocked = written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    return 0;
}

}  // namespace kx6000::sim
