// The service on a private session bus, started by D-Bus activation from the
// build tree, against the simulated radio on a pseudo-terminal; its windows
// go to a private X server.

#include <sys/file.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "files/SRecords.h"
#include "service/PrivateBus.h"
#include "sim/SimulatedRadio.h"
#include "support/Errors.h"
#include "ui/qt/WindowScenarios.h"

using namespace kx6000;

namespace {

const QString kService = "com.veltrane.KX6000Download";
const QString kManager = "com.veltrane.KX6000Download.Manager";

bool Held(const std::string& device) {
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

}  // namespace

// One calling program: its own connection, its manager, what it has been told.
class Client : public QObject {
    Q_OBJECT
public:
    // Connects and makes its manager.
    Client(const QString& address, const QString& name) : bus(QDBusConnection::connectToBus(address, name)) {
        QDBusMessage reply = Call("CreateManager", {}, "/com/veltrane/KX6000Download",
                                  "com.veltrane.KX6000Download.Component");
        path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        bus.connect(kService, path, "org.freedesktop.DBus.Properties", "PropertiesChanged", this,
                    SLOT(Changed(QString, QVariantMap, QStringList)));
    }
    ~Client() override { Leave(); }
    // Closes the connection: its last reference goes, then its name.
    void Leave() {
        QString name = bus.name();
        bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name);
    }

    // A member of this client's manager unless another object is named.
    QDBusPendingCall Start(const QString& member, const QList<QVariant>& arguments = {},
                           const QString& at = {}, const QString& interface = kManager) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, at.isEmpty() ? path : at, interface, member);
        call.setArguments(arguments);
        return bus.asyncCall(call, 120000);
    }
    QDBusMessage Call(const QString& member, const QList<QVariant>& arguments = {}, const QString& at = {},
                      const QString& interface = kManager) {
        QDBusPendingCall call = Start(member, arguments, at, interface);
        call.waitForFinished();
        return call.reply();
    }
    QDBusMessage SetRadioType(const QString& owner, int value) {
        return Call("Set", {kManager, "RadioType", QVariant::fromValue(QDBusVariant(value))}, owner,
                    "org.freedesktop.DBus.Properties");
    }

    QDBusConnection bus;
    QString path;
    QStringList statuses;
    QList<uint> percentages;

public slots:
    void Changed(const QString&, const QVariantMap& changed, const QStringList&) {
        if (changed.contains("Status")) statuses << changed["Status"].toString();
        if (changed.contains("Percentage")) percentages << changed["Percentage"].toUInt();
    }
};

class ServiceTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QProcess xServer;
    QProcessEnvironment environment;  // the service's
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<sim::SimulatedRadio> radio;

    void StartRadio(const char* scenario) {
        radio = std::make_unique<sim::SimulatedRadio>(sim::ParseScenario(scenario));
        QFile::remove(folder.filePath("radio"));
        QFile::link(QString::fromStdString(radio->DevicePath()), folder.filePath("radio"));
    }
    QString Image(const char* name, const std::string& tag, uint32_t address, const std::string& data) {
        std::ofstream(folder.filePath(name).toStdString(), std::ios::binary)
            << test::ImageText(tag, "S2", {{address, data}});
        return folder.filePath(name);
    }
    // Waits, serving the test's own connections, until `ready` holds (at most 20 s).
    bool WaitFor(const std::function<bool()>& ready) { return QTest::qWaitFor(ready, 20000); }
    bool WindowShown() {
        QProcess search;
        search.setProcessEnvironment(environment);
        search.start("xdotool", {"search", "--onlyvisible", "--name", "^KX6000 Download$"});
        search.waitForFinished();
        return !search.readAllStandardOutput().trimmed().isEmpty();
    }
    static short Result(const QDBusMessage& reply) { return reply.arguments().value(0).value<short>(); }

private slots:
    void initTestCase() {
        QString display = QString(":%1").arg(100 + getpid() % 800);
        xServer.start("Xvfb", {display, "-nolisten", "tcp"});
        QVERIFY(xServer.waitForStarted());
        QVERIFY(WaitFor([&] { return QFile::exists("/tmp/.X11-unix/X" + display.mid(1)); }));
        // The service inherits the bus's environment: the test's root, settings, port and display.
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KX6000_ROOT", folder.filePath("root"));
        environment.insert("KX6000_SETTINGS", folder.filePath("settings.ini"));
        environment.insert("KX6000_PORT1", folder.filePath("radio"));
        environment.insert("DISPLAY", display);
        environment.remove("QT_QPA_PLATFORM");
        bus = std::make_unique<PrivateBus>(folder.path(), environment);
        QVERIFY(!bus->address.isEmpty());
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus->address);  // for the programs the test runs
    }
    void cleanupTestCase() {
        bus.reset();
        xServer.kill();
        xServer.waitForFinished();
    }

    // A KX6200 through the bus: report, download, erase, and a missing file. While the download runs, another
    // client is answered at once, and its radio operation gets 13.
    void operations() {
        StartRadio(kKX6200);
        Client a(bus->address, "a"), b(bus->address, "b");
        QVERIFY(a.SetRadioType(a.path, 6200).type() == QDBusMessage::ReplyMessage);
        QCOMPARE(Result(a.Call("SetPort", {"1", false})), 0);
        QDBusMessage report = a.Call("ReportConfigurations", {""});
        QCOMPARE(Result(report), 0);
        QCOMPARE(report.arguments().value(1).toString(),
                 "ZMA2F_02.01|0|KXA62_HW|0|KXD62_UNIT|0|KXD62_OTHER|1|");

        const std::string data = test::RandomHex(4 * 0x8000, 3);
        QCOMPARE(Result(a.Call("LoadFiles", {Image("app.s28", "ZMA2F_APP", 0x30000, data)})), 0);
        a.statuses.clear();
        a.percentages.clear();
        QDBusPendingCall download = a.Start("DownLoad", {""});
        QVERIFY(WaitFor([&] { return a.statuses.contains("Downloading data..."); }));
        QDBusPendingCall error = b.Start("GetLastError");
        QVERIFY2(QTest::qWaitFor([&] { return error.isFinished(); }, 100), "no answer in 100 ms");
        QCOMPARE(error.reply().type(), QDBusMessage::ReplyMessage);
        QCOMPARE(Result(b.Call("ReportConfigurations", {""})), 13);
        QVERIFY(!download.isFinished());
        download.waitForFinished();
        QCOMPARE(Result(download.reply()), 0);
        QCOMPARE(radio->Flash(0x30000, data.size() / 2), test::HexBytes(data));
        QVERIFY(WaitFor([&] { return a.statuses.contains("Download successful"); }));
        // The texts arrive in the order the operation shows them.
        QStringList order = {"Resetting radio...", "Setting baud rate...", "Reading current configuration...",
                             "Downloading data...", "Download successful"};
        qsizetype at = 0;
        for (const QString& status : a.statuses)
            if (at < order.size() && status == order[at]) ++at;
        QVERIFY2(at == order.size(), qPrintable(a.statuses.join(", ")));
        // The write's bar rises to 100 from its reset.
        qsizetype full = a.percentages.indexOf(100u),
                  reset = std::max<qsizetype>(0, a.percentages.lastIndexOf(0u, full));
        QVERIFY(full > reset);
        QVERIFY(std::is_sorted(a.percentages.begin() + reset, a.percentages.begin() + full + 1));

        QCOMPARE(Result(a.Call("EraseSelected", {"0102|KXD62_UNIT|", ""})), 0);
        for (const auto& configuration : radio->Configurations())
            QVERIFY(configuration.productId != "KXD62_UNIT");

        QCOMPARE(Result(a.Call("LoadFiles", {folder.filePath("missing.s28")})), 33);
        QCOMPARE(a.Call("GetLastError").arguments(),
                 (QList<QVariant>{33, QString::fromStdString(ErrorMessage(33))}));
    }

    // A manager answers only the connection that made it; its window follows SetPort; one whose owner leaves
    // or releases it goes, its port closed.
    void ownership() {
        StartRadio("{}");
        Client a(bus->address, "a"), b(bus->address, "b");
        QCOMPARE(Result(a.Call("SetPort", {"1", false})), 0);
        QCOMPARE(b.Call("GetLastError", {}, a.path).errorName(), "org.freedesktop.DBus.Error.AccessDenied");
        QCOMPARE(b.SetRadioType(a.path, 6200).errorName(), "org.freedesktop.DBus.Error.AccessDenied");
        QDBusMessage type = a.Call("Get", {kManager, "RadioType"}, a.path, "org.freedesktop.DBus.Properties");
        QCOMPARE(type.arguments().value(0).value<QDBusVariant>().variant(), QVariant(6100));
        QVERIFY(Held(radio->DevicePath()));

        // Gone in the middle of a report: the report ends, then the manager goes.
        QDBusPendingCall report = a.Start("ReportConfigurations", {""});
        QVERIFY(WaitFor([&] { return a.statuses.contains("Resetting radio..."); }));
        a.Leave();
        QCOMPARE(b.Call("GetLastError", {}, a.path).errorName(), "org.freedesktop.DBus.Error.UnknownObject");
        QVERIFY(WaitFor([&] { return !Held(radio->DevicePath()); }));
        QCOMPARE(radio->Counters().logons, 1);

        QCOMPARE(Result(b.Call("SetPort", {"1", true})), 0);
        QVERIFY(Held(radio->DevicePath()));
        QVERIFY(WaitFor([&] { return WindowShown(); }));
        QCOMPARE(Result(b.Call("SetPort", {"1", false})), 0);
        QVERIFY(WaitFor([&] { return !WindowShown(); }));
        b.Call("Release");
        QVERIFY(WaitFor([&] { return !Held(radio->DevicePath()); }));
    }

    void exampleClient() {
        StartRadio("{}");
        QProcess client;
        client.setProcessEnvironment(environment);
        client.start("/usr/bin/python3",
                     {KX6000_SOURCE_DIR "/examples/service-client.py", "--radio", "6100", "--port", "1",
                      Image("example.s28", "ZMA1F_EX", 0x20000, test::RandomHex(400, 5))});
        QVERIFY(client.waitForFinished(60000));
        QString output = client.readAllStandardOutput();
        QVERIFY2(client.exitCode() == 0, qPrintable(output + client.readAllStandardError()));
        QVERIFY2(output.contains("100 %") && output.contains("Download successful"), qPrintable(output));
        QVERIFY2(output.trimmed().endsWith("GetLastError: 0 Success"), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(ServiceTest)
#include "ServiceTest.moc"
