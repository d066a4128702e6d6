// The window during a 256 KiB download at 115200 baud against the simulated
// radio in real time: the longest time between two passes of the event loop
// (what the technician feels as a frozen window) and the CPU time against the
// wall time.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "Processes.h"
#include "Scratch.h"
#include "manager/clsDLManager.h"
#include "support/Program.h"
#include "support/modRegistry.h"
#include "ui/qt/frmDownload.h"

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    Scratch scratch;
    std::string file = (scratch.folder / "image.s28").string(), link = (scratch.folder / "radio").string();
    size_t dataBytes = WriteImage(file, 256 * 1024);
    pid_t radio = StartRadio(link);
    setenv("KX6000_PORT1", link.c_str(), 1);

    auto form = std::make_unique<kx6000::frmDownload>();
    kx6000::frmDownload* window = form.get();
    kx6000::clsDLManager manager(std::move(form));
    manager.SetPort("1", true);
    window->findChild<QComboBox*>("cboBaudRate")->setCurrentText("115200");
    // The file dialog offers the image, the last file chosen, and is accepted as soon as it opens.
    kx6000::modRegistry::SaveRegistryValue("LastFile", file);
    QTimer::singleShot(0, [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->accept(); });

    // Every pass of the event loop while the download runs, timed.
    Clock::time_point last{};
    Clock::duration longest{};
    long passes = 0;
    std::function<void()> pump = kx6000::EventPump;
    kx6000::EventPump = [&] {
        Clock::time_point now = Clock::now();
        if (passes++ > 0) longest = std::max(longest, now - last);
        pump();
        last = Clock::now();
    };
    double cpuStart = CpuSeconds();
    Clock::time_point start = Clock::now();
    window->findChild<QPushButton*>("cmdDownload")->click();
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    double cpu = (CpuSeconds() - cpuStart) / wall;
    kill(radio, SIGTERM);
    waitpid(radio, nullptr, 0);
    int32_t error = 0;
    std::string message;
    manager.GetLastError(error, message);
    if (error != 0)
        return std::fprintf(stderr, "bench-window: the download failed: %s\n", message.c_str()), 1;

    double gap = std::chrono::duration<double, std::milli>(longest).count();
    std::printf("window: %zu KiB downloaded at 115200 baud in %.1f s, %ld event-loop passes\n",
                dataBytes / 1024, wall, passes);
    std::printf("longest gap between two passes %.1f ms = %.0f%% of the 50 ms target (target < 100%%)\n", gap,
                100 * gap / 50);
    std::printf("CPU time %.2f s = %.1f%% of the wall time (target < 5%%)\n", cpu * wall, 100 * cpu);
    return gap < 50 && cpu < 0.05 ? 0 : 1;
}
