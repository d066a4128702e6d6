// The line as a pseudo-terminal whose master side the radio plays: the component opens the slave as it
// would a serial device.
#pragma once

#include "sim/Line.h"

namespace kx6000::sim {

class PtyLine final : public Line {
public:
    // Opens the pseudo-terminal; throws std::system_error when that fails.
    PtyLine(bool realtime, Trace& trace);
    ~PtyLine() override;

    const std::string& DevicePath() const override { return slavePath; }
    // The speed the component set on its side of the tty.
    int PortBaud() const override;
    void Receive(Clock::time_point now, int radioBaud) override;
    Events Wait(std::optional<Clock::time_point> deadline) override;
    void Wake() override;

    // A component killed while it held the port leaves the slave's exclusive flag set, and as the slave stays
    // open here the flag would stay with it: nobody but root could open the port again. A component holding
    // the port holds its lock too, so after a close a flag without a lock is cleared. True when the flag
    // stays with a lock, which may still be the closer's: the kernel tells of a close before it drops the
    // lock.
    bool ReleaseStaleExclusive() override;

private:
    size_t Put(const std::vector<uint8_t>& bytes) override;
    void Close();
    // Closes what the constructor opened and throws std::system_error.
    [[noreturn]] void Fail(const std::string& what);

    int hostBaud = 0;       // the component's speed when it wrote the bytes read last
    bool announced = true;  // the component keeps EXTPROC set, so its changes arrive as statuses
    int master = -1;
    int keeper = -1;  // our own slave fd: the tty keeps its settings and the master never sees a hang-up
    int closes = -1;  // notices of the slave's closes; the keeper is never closed while the radio runs
    int wake = -1;    // readable after a Wake
    std::string slavePath;
};

}  // namespace kx6000::sim
