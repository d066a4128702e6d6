// kx6000-download-service: the component for calling programs on the session
// bus, started by D-Bus activation. It leaves the bus 30 s after its last
// manager is released. Each manager lives in a worker process: the same
// program, started by the service with --worker.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusReply>
#include <QLibrary>
#include <QSocketNotifier>
#include <cstdio>
#include <functional>
#include <limits>

#include "platform/Console.h"
#include "service/Interface.h"
#include "service/Service.h"
#include "service/Worker.h"
#include "support/Version.h"

namespace {

// SIGTERM and SIGINT reach `stop` through the event loop: closing steps cannot run in a signal handler.
void CatchStops(QObject* context, const std::function<void()>& stop) {
    int notices = kx6000::StopNotices();
    if (notices < 0) return;
    auto* notifier = new QSocketNotifier(notices, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [stop, notices] {
        kx6000::TakeStopNotice(notices);
        stop();
    });
}

// libdbus stops reading a connection while the messages it has read and not yet freed hold more than
// 63 MiB, and starts again when they are freed; QtDBus cannot start it from the main thread, where a call's
// message is freed ("Socket notifiers cannot be enabled or disabled from another thread"). One long call
// would stop the service for good: its reading is left unbounded, the bus limits what it sends.
void ReadWithoutPause(const QDBusConnection& connection) {
    using SetSize = void (*)(void* connection, long size);
    auto set =
        reinterpret_cast<SetSize>(QLibrary::resolve("dbus-1", 3, "dbus_connection_set_max_received_size"));
    if (set != nullptr && connection.internalPointer() != nullptr)
        set(connection.internalPointer(), std::numeric_limits<long>::max() / 2);
}

int RunService() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "kx6000-download-service: no session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    ReadWithoutPause(bus);
    kx6000::Service service(bus);
    if (!bus.registerService(kx6000::kServiceName)) {
        // Most often another service has the name: which process, so it can be found.
        QDBusReply<uint> owner = bus.interface()->servicePid(kx6000::kServiceName);
        std::fprintf(stderr, "kx6000-download-service: %s: %s\n", kx6000::kServiceName,
                     owner.isValid() ? qPrintable(QString("the name is owned by PID %1").arg(owner.value()))
                                     : qPrintable(bus.lastError().message()));
        return 1;
    }
    QObject::connect(&service, &kx6000::Service::Idle, &service, [&] {
        bus.unregisterService(kx6000::kServiceName);
        QApplication::quit();
    });
    // The name goes at once, so the next call starts a new service while the workers run their closing steps.
    CatchStops(&service, [&] {
        bus.unregisterService(kx6000::kServiceName);
        service.Stop();
    });
    return QApplication::exec();
}

int RunWorker(const QString& address) {
    QDBusConnection service = QDBusConnection::connectToPeer(address, "service");
    if (!service.isConnected()) {
        std::fprintf(stderr, "kx6000-download-service: worker: %s\n",
                     qPrintable(service.lastError().message()));
        return 1;
    }
    kx6000::Worker worker(service);
    QObject::connect(&worker, &kx6000::Worker::Ended, &worker, &QApplication::quit);
    CatchStops(&worker, [&] { worker.Stop(); });
    // The service holds the other end of standard input: its end means the service is gone.
    QSocketNotifier input(kx6000::StandardInput(), QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &worker, [&] {
        if (kx6000::DrainInput()) return;
        input.setEnabled(false);
        worker.Stop();
    });
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App options{
        "The KX6000 download component on the D-Bus session bus, as com.veltrane.KX6000Download; "
        "D-Bus starts it on the first call.\n",
        "kx6000-download-service"};
    options.set_version_flag("--version", kx6000::VersionText(), "Print the component's version and exit");
    std::string worker;
    options.add_option("--worker", worker)->group("");  // one manager's process, started by the service
    try {
        options.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return options.exit(error) == 0 ? 0 : 2;
    }

    // The windows a caller asks for need a screen; without one they keep their state off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName("kx6000-download-service");
    QApplication::setQuitOnLastWindowClosed(false);  // a caller's window closed is not the service's end
    return worker.empty() ? RunService() : RunWorker(QString::fromStdString(worker));
}
