// kx6000-download-service: the component for calling programs on the session
// bus, started by D-Bus activation. It leaves the bus 30 s after its last
// manager is released.

#include <QApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdio>

#include "service/Service.h"

int main(int argc, char** argv) {
    // The windows a caller asks for need a screen; without one they keep their state off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName("kx6000-download-service");
    QApplication::setQuitOnLastWindowClosed(false);  // a caller's window closed is not the service's end

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "kx6000-download-service: no session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    kx6000::Service service(bus);
    if (!bus.registerService(kx6000::kServiceName)) {
        std::fprintf(stderr, "kx6000-download-service: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    QObject::connect(&service, &kx6000::Service::Idle, &application, [&] {
        bus.unregisterService(kx6000::kServiceName);
        QApplication::quit();
    });
    return QApplication::exec();
}
