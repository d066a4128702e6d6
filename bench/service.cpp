// The service on a private session bus: the round trip of GetLastError, idle
// and while its manager downloads; a 256 KiB download at 115200 baud against
// the simulated radio in real time, against the line's own limit; and four
// managers on four radios downloading at once, against one alone.

#include <signal.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDir>
#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "Processes.h"
#include "Scratch.h"
#include "service/PrivateBus.h"

namespace {

using Clock = std::chrono::steady_clock;

const QString kService = "com.veltrane.KX6000Download", kManager = "com.veltrane.KX6000Download.Manager";

constexpr int kRadios = 4;

QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& interface, const QString& member,
                  const QList<QVariant>& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path, interface, member);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, 600000);
}

// A manager on the port "1" to "4", the file loaded.
QString Manager(QDBusConnection& bus, int port, const std::string& file) {
    QString path =
        Call(bus, "/com/veltrane/KX6000Download", "com.veltrane.KX6000Download.Component", "CreateManager")
            .arguments()
            .value(0)
            .value<QDBusObjectPath>()
            .path();
    Call(bus, path, kManager, "SetPort", {QString::number(port), false});
    Call(bus, path, kManager, "LoadFiles", {QString::fromStdString(file)});
    return path;
}

// Median and 99th percentile, in milliseconds.
std::pair<double, double> Spread(std::vector<double> trips) {
    if (trips.empty()) return {-1, -1};
    std::sort(trips.begin(), trips.end());
    return {trips[trips.size() / 2], trips[trips.size() * 99 / 100]};
}

// The round trip of one GetLastError of the manager.
double Trip(QDBusConnection& bus, const QString& path) {
    Clock::time_point start = Clock::now();
    Call(bus, path, kManager, "GetLastError");
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The downloads of the managers, started together; their wall time, or a negative one when one failed.
// While they run, the first manager's GetLastError every 20 ms when `trips` is given.
double DownloadAtOnce(QDBusConnection& bus, const QStringList& paths, std::vector<double>* trips = nullptr) {
    Clock::time_point start = Clock::now();
    std::vector<QDBusPendingCall> calls;
    for (const QString& path : paths) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, path, kManager, "DownLoad");
        call.setArguments({""});
        calls.push_back(bus.asyncCall(call, 600000));
    }
    while (trips && !calls.front().isFinished()) {
        trips->push_back(Trip(bus, paths.front()));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool failed = false;
    for (QDBusPendingCall& call : calls) {
        call.waitForFinished();
        failed |= call.reply().arguments().value(0).value<short>() != 0;
    }
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return failed ? -1 : wall;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Scratch scratch;
    std::string file = (scratch.folder / "image.s28").string();
    size_t dataBytes = WriteImage(file, 256 * 1024);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    std::vector<pid_t> radios;
    for (int i = 1; i <= kRadios; ++i) {
        std::string link = (scratch.folder / ("radio" + std::to_string(i))).string();
        radios.push_back(StartRadio(link));
        environment.insert(QString("KX6000_PORT%1").arg(i), QString::fromStdString(link));
    }
    PrivateBus privateBus(QString::fromStdString(scratch.folder.string()), environment);
    QDBusConnection bus = QDBusConnection::connectToBus(privateBus.address, "bench");
    QStringList paths;
    for (int port = 1; port <= kRadios; ++port) paths << Manager(bus, port, file);

    std::vector<double> idleTrips, busyTrips;
    for (int i = 0; i < 1000; ++i) idleTrips.push_back(Trip(bus, paths[0]));
    auto [median, p99] = Spread(idleTrips);

    double one = DownloadAtOnce(bus, {paths[0]}, &busyTrips);
    auto [busyMedian, busyP99] = Spread(busyTrips);
    for (const QString& path : paths) Call(bus, path, kManager, "LoadFiles", {QString::fromStdString(file)});
    double four = DownloadAtOnce(bus, paths);
    for (pid_t radio : radios) kill(radio, SIGTERM);
    for (pid_t radio : radios) waitpid(radio, nullptr, 0);
    bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus("bench");
    if (one < 0 || four < 0) return std::fprintf(stderr, "bench-service: a download failed\n"), 1;

    // The line carries ten bits a byte: 11520 bytes a second at 115200 baud.
    double rate = static_cast<double>(dataBytes) / one, ideal = 115200.0 / 10, ratio = four / one;
    std::printf(
        "GetLastError round trip over 1000 calls: median %.3f ms = %.0f%% of the 1 ms target, "
        "99th percentile %.3f ms\n",
        median, 100 * median, p99);
    std::printf(
        "GetLastError round trip during a download, %zu calls: median %.3f ms (target <= 5 ms), "
        "99th percentile %.3f ms (target <= 50 ms)\n",
        busyTrips.size(), busyMedian, busyP99);
    std::printf(
        "download through the service: %zu KiB in %.1f s, %.0f B/s = %.1f%% of the line-limited %.0f B/s "
        "(target >= 95%%)\n",
        dataBytes / 1024, one, rate, 100 * rate / ideal, ideal);
    std::printf("%d managers on %d radios at once: %.1f s = %.3f x one alone (target <= 1.10)\n", kRadios,
                kRadios, four, ratio);
    return median < 1 && busyMedian <= 5 && busyP99 <= 50 && rate / ideal >= 0.95 && ratio <= 1.10 ? 0 : 1;
}
