// The serial line between the component and the simulated radio: the two line speeds, garbling while they
// differ, and the bytes' time on the line. What carries the bytes (a pseudo-terminal, or memory) is a
// line of its own kind.
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

// A USB serial adapter hands the host what it received in packets of 64 bytes, two of them its own status.
inline constexpr size_t kAdapterPacketBytes = 62;

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

    virtual ~Line() = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // What the component opens as its serial port.
    virtual const std::string& DevicePath() const = 0;
    // The speed the component set on its end; 0 when it is none of the radio's speeds.
    virtual int PortBaud() const = 0;

    // Takes every byte the component has written, at the speed it had when it wrote the byte; each reaches
    // the radio after its time on the line.
    virtual void Receive(Clock::time_point now, int radioBaud) = 0;
    // The received bytes whose time has come, oldest first.
    std::vector<Received> Deliver(Clock::time_point now);
    // Queues bytes sent at `baud`, from `at` on (or as soon as the line is free).
    void Send(const std::vector<uint8_t>& bytes, int baud, Clock::time_point at);
    // Writes every queued byte whose time has come.
    void Transmit(Clock::time_point now);
    bool Idle() const { return outgoing.empty(); }
    std::optional<Clock::time_point> NextDeadline() const;
    // From now on the radio's bytes reach the component through a USB serial adapter, which holds them
    // until a packet is full or its latency timer, started by the first byte waiting, runs out.
    void SetAdapterLatency(Clock::duration latency) { adapterLatency = latency; }

    // What ended a Wait; both may come at once, neither when woken or at the deadline.
    struct Events {
        bool received = false;  // the component wrote bytes or changed its settings: Receive them
        bool closed = false;    // a process closed the slave: ReleaseStaleExclusive
    };
    // Blocks until one of the Events, room for the component's bytes while it has none, a Wake, or
    // `deadline` (never without one). Only the radio's thread waits.
    virtual Events Wait(std::optional<Clock::time_point> deadline) = 0;
    // Ends the current or the next Wait at once; from any thread.
    virtual void Wake() = 0;
    // Clears an exclusive hold a killed component left on the port; true when it is to be looked at again.
    virtual bool ReleaseStaleExclusive() { return false; }

protected:
    Line(bool realtime, Trace& trace) : realtime(realtime), trace(trace) {}
    // Queues bytes the component wrote at `portBaud`.
    void Take(const uint8_t* bytes, size_t count, int portBaud, Clock::time_point now, int radioBaud);
    // Hands bytes to the component's end; how many it took, 0 with `blocked` set when it has no room.
    virtual size_t Put(const std::vector<uint8_t>& bytes) = 0;

    bool blocked = false;  // the component's end had no room for the next byte that is due

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
    // How many queued bytes the component's end may have by `now`: those whose time on the line has
    // passed, or through an adapter those of the packet it has let go.
    size_t Arrived(Clock::time_point now);
    // The adapter's next packet from the front of the queue: its end and when it leaves.
    std::pair<size_t, Clock::time_point> NextPacket() const;

    bool realtime;
    Trace& trace;
    std::deque<Queued> incoming, outgoing;
    Pacer inPacer, outPacer;
    std::optional<Clock::duration> adapterLatency;
    size_t released = 0;  // the bytes at the front that the adapter has let go and the component not taken
};

}  // namespace kx6000::sim
