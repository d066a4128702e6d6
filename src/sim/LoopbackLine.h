// The line in memory, on every system: the component's port opens DevicePath() ("loopback:n") as it would a
// serial device, through the device opener the first loopback puts in. Such a device exists while its
// line does.
#pragma once

#include <memory>

#include "sim/Line.h"

namespace kx6000::sim {

class LoopbackLine final : public Line {
public:
    LoopbackLine(bool realtime, Trace& trace);
    // The component's end hangs up.
    ~LoopbackLine() override;

    const std::string& DevicePath() const override { return path; }
    int PortBaud() const override;
    void Receive(Clock::time_point now, int radioBaud) override;
    Events Wait(std::optional<Clock::time_point> deadline) override;
    void Wake() override;

    struct Ends;

private:
    size_t Put(const std::vector<uint8_t>& bytes) override;

    std::shared_ptr<Ends> ends;
    std::string path;
};

}  // namespace kx6000::sim
