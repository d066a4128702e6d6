// A session bus of its own: a dbus-daemon that starts the service from the
// build tree by activation, the service inheriting the environment given.
#pragma once

#include <signal.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QProcess>
#include <fstream>

class PrivateBus {
public:
    PrivateBus(const QString& folder, const QProcessEnvironment& environment) {
        const QString config = QDir(folder).filePath("bus.conf");
        std::ofstream(config.toStdString())
            << "<busconfig><type>session</type><listen>unix:tmpdir=" << folder.toStdString()
            << "</listen><servicedir>" KX6000_BUILD_DIR "/share/dbus-1/services</servicedir>"
            << "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            << "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
            // The session bus's own limits: a message of up to 1 GB reaches the service.
            << "<limit name=\"max_incoming_bytes\">1000000000</limit>"
            << "<limit name=\"max_outgoing_bytes\">1000000000</limit>"
            << "<limit name=\"max_message_size\">1000000000</limit></busconfig>";
        daemon.setProcessEnvironment(environment);
        daemon.start("dbus-daemon", {"--config-file=" + config, "--print-address=1", "--nofork"});
        if (daemon.waitForReadyRead(5000)) address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        // The service would wait 30 s for its next caller.
        QDBusConnection bus = QDBusConnection::connectToBus(address, "private-bus-end");
        if (QDBusReply<uint> pid = bus.interface()->servicePid("com.veltrane.KX6000Download"); pid.isValid())
            kill(static_cast<pid_t>(pid.value()), SIGTERM);
        QDBusConnection::disconnectFromBus("private-bus-end");  // closed when `bus` goes
        daemon.kill();
        daemon.waitForFinished();
    }
    // What the daemon and the programs it started have written to stderr.
    const QString& Journal() { return journal += QString::fromLocal8Bit(daemon.readAllStandardError()); }

    QString address;  // empty when the daemon did not start

private:
    QProcess daemon;
    QString journal;
};
