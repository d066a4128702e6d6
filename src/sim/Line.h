// The serial line between the component and the simulated radio: a pseudo-terminal whose master side the
// radio plays, the two line speeds, garbling while they differ, and the bytes' time on the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace kx6000::sim {

using Clock = std::chrono::steady_clock;

// A mismatched UART gives framing errors and nulls: each byte crossing the line then arrives as this.
inline constexpr uint8_t kGarbledByte = 0x00;

// The time one byte spends on the line at `baud`: start bit, eight data bits, stop bit.
Clock::duration ByteTime(int baud, int64_t bytes = 1);

// JSON lines, one per event, times in seconds since the radio started. Off when the path is empty.
class Trace {
public:
    Trace(const std::string& path, Clock::time_point start);
    bool On() const { return file != nullptr; }
    void Write(Clock::time_point at, nlohmann::ordered_json event);
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

private:
    std::string path;
    std::FILE* file = nullptr;
    Clock::time_point start;
};

class Line {
public:
    struct Received {
        uint8_t value;
        Clock::time_point at;  // when the radio sees it
    };

    // Opens the pseudo-terminal; throws std::system_error when that fails.
    Line(bool realtime, Trace& trace);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    const std::string& SlavePath() const { return slavePath; }
    // The speed the component set on its side of the tty; 0 when it is none of the radio's speeds.
    int PortBaud() const;

    // Takes every byte the component has written, at the speed it had when it wrote the byte; each reaches
    // the radio after its time on the line.
    void Receive(Clock::time_point now, int radioBaud);
    // The received bytes whose time has come, oldest first.
    std::vector<Received> Deliver(Clock::time_point now);
    // Queues bytes sent at `baud`, from `at` on (or as soon as the line is free).
    void Send(const std::vector<uint8_t>& bytes, int baud, Clock::time_point at);
    // Writes every queued byte whose time has come.
    void Transmit(Clock::time_point now);
    // True while the pty has no room for the next byte that is due.
    bool WaitsForRoom() const { return blocked; }
    bool Idle() const { return outgoing.empty(); }
    std::optional<Clock::time_point> NextDeadline() const;

    // What ended a Wait; both may come at once, neither when woken or at the deadline.
    struct Events {
        bool received = false;  // the component wrote bytes or changed its settings: Receive them
        bool closed = false;    // a process closed the slave: ReleaseStaleExclusive
    };
    // Blocks until one of the Events, room on the pty while WaitsForRoom, a Wake, or `deadline` (never
    // without one). Only the radio's thread waits.
    Events Wait(std::optional<Clock::time_point> deadline);
    // Ends the current or the next Wait at once; from any thread.
    void Wake();

    // A component killed while it held the port leaves the slave's exclusive flag set, and as the slave stays
    // open here the flag would stay with it: nobody but root could open the port again. A component holding
    // the port holds its lock too, so after a close a flag without a lock is cleared. True when the flag
    // stays with a lock, which may still be the closer's: the kernel tells of a close before it drops the
    // lock.
    bool ReleaseStaleExclusive();

private:
    struct Queued {
        uint8_t value;
        int baud;
        Clock::time_point due;
    };
    // Due times count from the start of a run of back-to-back bytes, so pacing never drifts.
    struct Pacer {
        Clock::time_point runStart{};
        Clock::time_point lastDue{};
        int64_t index = 0;
        int baud = 0;
        Clock::time_point Next(Clock::time_point from, int byteBaud, bool realtime);
    };

    void Close();
    // Closes what the constructor opened and throws std::system_error.
    [[noreturn]] void Fail(const std::string& what);
    // Queues bytes the component wrote at `portBaud`.
    void Take(const uint8_t* bytes, size_t count, int portBaud, Clock::time_point now, int radioBaud);

    bool realtime;
    Trace& trace;
    int hostBaud = 0;       // the component's speed when it wrote the bytes read last
    bool announced = true;  // the component keeps EXTPROC set, so its changes arrive as statuses
    int master = -1;
    int keeper = -1;  // our own slave fd: the tty keeps its settings and the master never sees a hang-up
    int closes = -1;  // notices of the slave's closes; the keeper is never closed while the radio runs
    int wake = -1;    // readable after a Wake
    std::string slavePath;
    std::deque<Queued> incoming, outgoing;
    Pacer inPacer, outPacer;
    bool blocked = false;
};

}  // namespace kx6000::sim
