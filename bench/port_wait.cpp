// The CPU a read costs while it waits out its time-out, against a loop that
// polls the same line without blocking.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "Processes.h"
#include "port/clsSerial.h"
#include "support/Program.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of `work` as a share of one core over its wall time.
double CpuShare(const std::function<void()>& work) {
    double cpu = CpuSeconds();
    auto start = Clock::now();
    work();
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return (CpuSeconds() - cpu) / wall;
}

}  // namespace

int main() {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    const char* device = ptsname(master);

    kx6000::clsSerial port;
    port.CommPort(device);
    port.SetPortParameters("19200", 1);
    if (kx6000::LastError != 0) return 1;
    bool terminator = false;
    double waiting = CpuShare([&] { port.ReadBinary(2000, "AFAF", terminator); });
    bool timedOut = kx6000::LastError == 42;
    port.ClosePort();

    int spinning = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    double reference = CpuShare([&] {
        char byte;
        for (auto end = Clock::now() + std::chrono::seconds(2); Clock::now() < end;) {
            if (read(spinning, &byte, 1) == 1) break;
        }
    });
    close(spinning);
    close(master);

    std::printf("ReadBinary waiting out 2000 ms: %.2f%% of one core (target < 2%%)%s\n", 100 * waiting,
                timedOut ? "" : " -- it did not time out");
    std::printf("a loop polling the line without blocking: %.0f%% of one core\n", 100 * reference);
    return timedOut && waiting < 0.02 ? 0 : 1;
}
