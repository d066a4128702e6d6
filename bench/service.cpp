// The service on a private session bus: the round trip of GetLastError, and
// a 256 KiB download at 115200 baud against the simulated radio in real time,
// against the line's own limit.

#include <signal.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <algorithm>

#include "Processes.h"
#include "Scratch.h"
#include "service/PrivateBus.h"

namespace {

using Clock = std::chrono::steady_clock;

const QString kService = "com.veltrane.KX6000Download", kManager = "com.veltrane.KX6000Download.Manager";

QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& interface, const QString& member,
                  const QList<QVariant>& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path, interface, member);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, 600000);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Scratch scratch;
    std::string file = (scratch.folder / "image.s28").string(), link = (scratch.folder / "radio").string();
    size_t dataBytes = WriteImage(file, 256 * 1024);
    pid_t radio = StartRadio(link);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KX6000_PORT1", QString::fromStdString(link));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    PrivateBus privateBus(QString::fromStdString(scratch.folder.string()), environment);
    QDBusConnection bus = QDBusConnection::connectToBus(privateBus.address, "bench");
    QString path =
        Call(bus, "/com/veltrane/KX6000Download", "com.veltrane.KX6000Download.Component", "CreateManager")
            .arguments()
            .value(0)
            .value<QDBusObjectPath>()
            .path();
    Call(bus, path, kManager, "SetPort", {"1", false});

    std::vector<double> trips;
    for (int i = 0; i < 1000; ++i) {
        Clock::time_point start = Clock::now();
        Call(bus, path, kManager, "GetLastError");
        trips.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(trips.begin(), trips.end());
    double median = trips[trips.size() / 2], p99 = trips[trips.size() * 99 / 100];

    Call(bus, path, kManager, "LoadFiles", {QString::fromStdString(file)});
    Clock::time_point start = Clock::now();
    QDBusMessage download = Call(bus, path, kManager, "DownLoad", {""});
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    kill(radio, SIGTERM);
    waitpid(radio, nullptr, 0);
    bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus("bench");
    if (download.arguments().value(0).value<short>() != 0)
        return std::fprintf(stderr, "bench-service: the download failed\n"), 1;

    // The line carries ten bits a byte: 11520 bytes a second at 115200 baud.
    double rate = static_cast<double>(dataBytes) / wall, ideal = 115200.0 / 10;
    std::printf(
        "GetLastError round trip over 1000 calls: median %.3f ms = %.0f%% of the 1 ms target, "
        "99th percentile %.3f ms\n",
        median, 100 * median, p99);
    std::printf(
        "download through the service: %zu KiB in %.1f s, %.0f B/s = %.1f%% of the line-limited %.0f B/s "
        "(target >= 95%%)\n",
        dataBytes / 1024, wall, rate, 100 * rate / ideal, ideal);
    return median < 1 && rate / ideal >= 0.95 ? 0 : 1;
}
