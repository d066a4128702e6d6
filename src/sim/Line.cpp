#include "sim/Line.h"

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
#include <cstring>
#include <iostream>
#include <system_error>
#include <thread>

#include "support/Hex.h"

namespace kx6000::sim {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), "simulated radio: " + what);
}

std::string HexText(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += ToHex(bytes[i], 2);
    return text;
}

}  // namespace

Clock::duration ByteTime(int baud, int64_t bytes) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(bytes * 10'000'000'000 / baud));
}

Trace::Trace(const std::string& path, Clock::time_point start) : path(path), start(start) {
    if (path.empty()) return;
    file = std::fopen(path.c_str(), "we");
    if (!file) ThrowErrno("cannot write the trace " + path);
}

Trace::~Trace() {
    if (file) std::fclose(file);
}

void Trace::Write(Clock::time_point at, nlohmann::ordered_json event) {
    if (!file) return;
    nlohmann::ordered_json line = {{"t", std::chrono::duration<double>(at - start).count()}};
    line.update(event);
    std::string text = line.dump() + "\n";
    if (std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0) return;
    // A full disk must not stop a radio in the middle of a component's operation: it goes on untraced.
    std::cerr << "kx6000-radio-sim: the trace " << path << " stops here: " << std::strerror(errno)
              << std::endl;
    std::fclose(file);
    file = nullptr;
}

Line::Line(bool realtime, Trace& trace) : realtime(realtime), trace(trace) {
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

Line::~Line() {
    Close();
}

void Line::Close() {
    for (int fd : {wake, closes, keeper, master})
        if (fd >= 0) close(fd);
}

void Line::Fail(const std::string& what) {
    int error = errno;
    Close();
    errno = error;
    ThrowErrno(what);
}

int Line::PortBaud() const {
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

bool Line::ReleaseStaleExclusive() {
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

Line::Events Line::Wait(std::optional<Clock::time_point> deadline) {
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

void Line::Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wake, &one, sizeof one);
}

Clock::time_point Line::Pacer::Next(Clock::time_point from, int byteBaud, bool paced) {
    if (!paced) return from;
    if (index == 0 || byteBaud != baud || from > lastDue) {
        runStart = std::max(from, lastDue);
        index = 0;
        baud = byteBaud;
    }
    lastDue = runStart + ByteTime(baud, ++index);
    return lastDue;
}

void Line::Receive(Clock::time_point now, int radioBaud) {
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

void Line::Take(const uint8_t* bytes, size_t count, int portBaud, Clock::time_point now, int radioBaud) {
    bool garbled = portBaud != radioBaud;
    if (trace.On())
        trace.Write(now, {{"dir", "rx"},
                          {"hex", HexText(bytes, count)},
                          {"radioBaud", radioBaud},
                          {"portBaud", portBaud},
                          {"garbled", garbled}});
    for (size_t i = 0; i < count; ++i)
        incoming.push_back(
            {garbled ? kGarbledByte : bytes[i], radioBaud, inPacer.Next(now, radioBaud, realtime)});
}

std::vector<Line::Received> Line::Deliver(Clock::time_point now) {
    std::vector<Received> bytes;
    while (!incoming.empty() && incoming.front().due <= now) {
        bytes.push_back({incoming.front().value, incoming.front().due});
        incoming.pop_front();
    }
    return bytes;
}

void Line::Send(const std::vector<uint8_t>& bytes, int baud, Clock::time_point at) {
    for (uint8_t value : bytes) outgoing.push_back({value, baud, outPacer.Next(at, baud, realtime)});
}

void Line::Transmit(Clock::time_point now) {
    blocked = false;
    while (!outgoing.empty() && outgoing.front().due <= now) {
        // One write per run of bytes of one speed; the component's speed is sampled as they leave.
        int baud = outgoing.front().baud;
        int portBaud = PortBaud();
        bool garbled = portBaud != baud;
        std::vector<uint8_t> chunk;
        for (const auto& byte : outgoing) {
            if (byte.due > now || byte.baud != baud) break;
            chunk.push_back(garbled ? kGarbledByte : byte.value);
        }
        ssize_t written = write(master, chunk.data(), chunk.size());
        if (written <= 0) {
            blocked = written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            return;
        }
        if (trace.On()) {
            std::string hex;
            for (ssize_t i = 0; i < written; ++i) hex += ToHex(outgoing[static_cast<size_t>(i)].value, 2);
            trace.Write(now, {{"dir", "tx"},
                              {"hex", hex},
                              {"radioBaud", baud},
                              {"portBaud", portBaud},
                              {"garbled", garbled}});
        }
        outgoing.erase(outgoing.begin(), outgoing.begin() + written);
    }
}

std::optional<Clock::time_point> Line::NextDeadline() const {
    std::optional<Clock::time_point> next;
    // Received bytes are handed over when the last one waiting has arrived (a frame is whole only then),
    // or every 10 ms of a longer stream.
    if (!incoming.empty())
        next = std::min(incoming.back().due, incoming.front().due + std::chrono::milliseconds(10));
    if (!outgoing.empty() && !blocked) {
        // Sent bytes leave in chunks of about a millisecond, each at the exact due time of its last byte.
        size_t chunk = static_cast<size_t>(std::max(1, outgoing.front().baud / 10000));
        Clock::time_point due = outgoing[std::min(chunk, outgoing.size()) - 1].due;
        next = next ? std::min(*next, due) : due;
    }
    return next;
}

}  // namespace kx6000::sim
