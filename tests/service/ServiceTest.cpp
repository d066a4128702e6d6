// The service on a private session bus, started by D-Bus activation from the
// build tree, against simulated radios on pseudo-terminals; its windows go to
// a private X server.

#include <signal.h>
#include <sys/file.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>

#include "files/SRecords.h"
#include "platform/Holders.h"
#include "service/PrivateBus.h"
#include "sim/SimulatedRadio.h"
#include "support/Errors.h"
#include "ui/qt/WindowScenarios.h"

using namespace kx6000;

namespace {

const QString kService = "com.veltrane.KX6000Download";
const QString kManager = "com.veltrane.KX6000Download.Manager";
const QString kProperties = "org.freedesktop.DBus.Properties";
const QString kRoot = "/com/veltrane/KX6000Download", kComponent = "com.veltrane.KX6000Download.Component";

bool Held(const std::string& device) {
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

// Product IDs a naive list would misread: a "|" and a "%", and a character beyond ASCII (UTF-8 C3 BF).
const char* const kTexts = R"({"model": 6200, "configurations": [
    {"productId": "KXA62_HW", "address": "0x00100", "status": 0},
    {"productId": "KXD62|A%B", "address": "0x10100", "status": 0},
    {"productId": "KXD62_\u00FF", "address": "0x20100", "status": 1}]})";

// The worker holding the radio's port.
pid_t Worker(const sim::SimulatedRadio& radio) {
    std::string holders = Holders(radio.DevicePath());
    return holders.find("(pid ") == std::string::npos ? 0
                                                      : std::stoi(holders.substr(holders.find("(pid ") + 5));
}

// Whether the last write to the radio's flash was followed by the closing steps: Lock Flash, then the
// read-back.
bool ClosedDown(const sim::SimulatedRadio& radio) {
    std::vector<uint8_t> codes;
    for (const auto& frame : radio.Frames()) codes.push_back(frame.code);
    auto lock = std::find(std::find(codes.rbegin(), codes.rend(), 0x35).base(), codes.end(), 0x39);
    return lock != codes.end() && std::find(lock, codes.end(), 0x31) != codes.end();
}

}  // namespace

// One calling program: its own connection, its manager, what it has been told.
class Client : public QObject {
    Q_OBJECT
public:
    // Connects and makes its manager.
    Client(const QString& address, const QString& name) : bus(QDBusConnection::connectToBus(address, name)) {
        QDBusMessage reply = Call("CreateManager", {}, kRoot, kComponent);
        path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        Watch(path);
    }
    // Listens to a manager's PropertiesChanged.
    void Watch(const QString& manager) {
        bus.connect(kService, manager, kProperties, "PropertiesChanged", this,
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
    QDBusMessage Set(const QString& owner, const QString& property, const QVariant& value) {
        return Call("Set", {kManager, property, QVariant::fromValue(QDBusVariant(value))}, owner,
                    kProperties);
    }
    pid_t ServicePid() { return pid_t(bus.interface()->servicePid(kService).value()); }

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
    std::unique_ptr<sim::SimulatedRadio> radios[4];

    sim::SimulatedRadio& StartRadio(const char* scenario, int port = 1, sim::Options options = {}) {
        auto& radio = radios[port - 1] =
            std::make_unique<sim::SimulatedRadio>(sim::ParseScenario(scenario), options);
        const QString link = folder.filePath(QString("radio%1").arg(port));
        QFile::remove(link);
        QFile::link(QString::fromStdString(radio->DevicePath()), link);
        return *radio;
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
        // Xvfb picks a free display and names it once it takes connections: a window opened before then
        // aborts its program.
        xServer.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        QVERIFY(WaitFor([&] { return xServer.canReadLine(); }));
        const QString display = ":" + QString::fromUtf8(xServer.readLine()).trimmed();
        // The service inherits the bus's environment: the test's root, settings, port and display.
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KX6000_ROOT", folder.filePath("root"));
        environment.insert("KX6000_SETTINGS", folder.filePath("settings.ini"));
        for (int port = 1; port <= 4; ++port)
            environment.insert(QString("KX6000_PORT%1").arg(port),
                               folder.filePath(QString("radio%1").arg(port)));
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
    // client is answered at once, and a second operation of the manager gets 13. Another client hears nothing
    // of the manager and keeps its own last error. Two operations at once, then Release: the first ends, the
    // second gets 13, then the manager goes.
    void operations() {
        sim::SimulatedRadio& radio = StartRadio(kKX6200);
        Client a(bus->address, "a"), b(bus->address, "b");
        b.Watch(a.path);
        QVERIFY(a.Set(a.path, "RadioType", 6200).type() == QDBusMessage::ReplyMessage);
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
        QCOMPARE(Result(a.Call("ReportConfigurations", {""})), 13);
        QVERIFY(!download.isFinished());
        download.waitForFinished();
        QCOMPARE(Result(download.reply()), 0);
        QCOMPARE(radio.Flash(0x30000, data.size() / 2), test::HexBytes(data));
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
        for (const auto& configuration : radio.Configurations())
            QVERIFY(configuration.productId != "KXD62_UNIT");

        QCOMPARE(Result(a.Call("LoadFiles", {folder.filePath("missing.s28")})), 33);
        QCOMPARE(a.Call("GetLastError").arguments(),
                 (QList<QVariant>{33, QString::fromStdString(ErrorMessage(33))}));
        QCOMPARE(b.Call("GetLastError").arguments(), (QList<QVariant>{0, "Success"}));
        QVERIFY(b.statuses.isEmpty());

        // Product IDs as text: a "|" and a "%" escaped in the list, the radio's UTF-8 bytes once.
        StartRadio(kTexts);
        QCOMPARE(a.Call("ReportConfigurations", {""}).arguments().value(1).toString(),
                 QString::fromUtf8("KXA62_HW|0|KXD62%7CA%25B|0|KXD62_\u00FF|1|"));

        sim::SimulatedRadio& slow = StartRadio(kKX6200, 1, {.realtime = true, .tracePath = ""});
        QDBusPendingCall first = a.Start("ReportConfigurations", {""}),
                         second = a.Start("ReportConfigurations", {""});
        QCOMPARE(a.Call("Release").type(), QDBusMessage::ReplyMessage);
        first.waitForFinished();
        second.waitForFinished();
        QCOMPARE(Result(first.reply()), 0);
        QCOMPARE(second.reply().arguments().value(0), QVariant::fromValue(short(13)));
        QVERIFY(WaitFor([&] { return !Held(slow.DevicePath()); }));
    }

    // A manager answers only the connection that made it, takes its properties' types only, and has its port
    // alone (the journal names the holder); a connection holds 16 at most, the service 64. A string beyond
    // its bound is refused before anything else, and the service answers others at once after it. A second
    // service names the first. Its window follows SetPort; one whose owner leaves or releases it goes, its
    // port closed.
    void ownership() {
        sim::SimulatedRadio& radio = StartRadio("{}");
        Client a(bus->address, "a"), b(bus->address, "b");
        const QString huge(64 << 20, 'x');
        for (const auto& [caller, member, arguments] : {std::tuple{&a, "LoadFiles", QList<QVariant>{huge}},
                                                        {&b, "EraseSelected", {"", huge}},
                                                        {&a, "SetPort", {QString(4097, '1'), false}}}) {
            QCOMPARE(caller->Call(member, arguments, a.path).errorName(),
                     "org.freedesktop.DBus.Error.InvalidArgs");
            QElapsedTimer creation;
            creation.start();
            QVERIFY(!Client(bus->address, "c").path.isEmpty());
            QVERIFY2(creation.elapsed() < 1000, "another caller's CreateManager answered within 1 s");
        }
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(KX6000_BUILD_DIR "/bin/kx6000-download-service");
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(second.readAllStandardError().contains(
                     QString("the name is owned by PID %1").arg(a.ServicePid()).toUtf8()),
                 "the second service names the first");
        QCOMPARE(Result(a.Call("SetPort", {"1", false})), 0);
        QCOMPARE(b.Call("GetLastError", {}, a.path).errorName(), "org.freedesktop.DBus.Error.AccessDenied");
        QCOMPARE(b.Set(a.path, "RadioType", 6200).errorName(), "org.freedesktop.DBus.Error.AccessDenied");
        for (const QVariant& wrong : {QVariant("6200"), QVariant(qlonglong(1) << 40)})
            QCOMPARE(a.Set(a.path, "RadioType", wrong).errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
        QCOMPARE(Result(b.Call("SetPort", {"1", false})), 12);
        const QString holder = QString("kx6000-download-service (pid %1)").arg(Worker(radio));
        QVERIFY(WaitFor([&] { return bus->Journal().contains(holder); }));
        for (int made = 1; made < 16; ++made)
            QCOMPARE(a.Call("CreateManager", {}, kRoot, kComponent).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(a.Call("CreateManager", {}, kRoot, kComponent).errorName(),
                 "org.freedesktop.DBus.Error.LimitsExceeded");
        std::vector<std::unique_ptr<Client>> others;  // a's 16 and b's one, then 47 more
        for (int held = 17; held < 64; ++held) {
            if (held % 16 == 1) {
                others.push_back(std::make_unique<Client>(bus->address, QString("other%1").arg(held)));
            } else {
                QCOMPARE(others.back()->Call("CreateManager", {}, kRoot, kComponent).type(),
                         QDBusMessage::ReplyMessage);
            }
        }
        QDBusMessage refused = others.back()->Call("CreateManager", {}, kRoot, kComponent);
        QCOMPARE(refused.errorName(), "org.freedesktop.DBus.Error.LimitsExceeded");
        QVERIFY(refused.errorMessage().contains("64 managers in all"));
        others.clear();
        QDBusMessage type = a.Call("Get", {kManager, "RadioType"}, a.path, kProperties);
        QCOMPARE(type.arguments().value(0).value<QDBusVariant>().variant(), QVariant(6100));
        QVERIFY(Held(radio.DevicePath()));

        a.Leave();
        QVERIFY(WaitFor([&] { return !Held(radio.DevicePath()); }));

        QCOMPARE(Result(b.Call("SetPort", {"1", true})), 0);
        QVERIFY(Held(radio.DevicePath()));
        QVERIFY(WaitFor([&] { return WindowShown(); }));
        QCOMPARE(Result(b.Call("SetPort", {"1", false})), 0);
        QVERIFY(WaitFor([&] { return !WindowShown(); }));
        b.Call("Release");
        QVERIFY(WaitFor([&] { return !Held(radio.DevicePath()); }));
    }

    // Four managers on four radios download at once while a fifth client, its manager's error boxes in the
    // journal (no log can be written), leaves: each radio holds its image byte for byte.
    void parallel() {
        std::ofstream(folder.filePath("settings.ini").toStdString()) << "[KX6100_RLDC]\nDebug=True\n";
        QDir().mkpath(folder.filePath("root/KX6000Download.log"));
        Client leaving(bus->address, "leaving");
        QCOMPARE(Result(leaving.Call("SetPort", {"5", false})), 11);
        std::vector<std::unique_ptr<Client>> clients;
        std::vector<std::string> images;
        std::vector<QDBusPendingCall> downloads;
        for (int port = 1; port <= 4; ++port) {
            StartRadio("{}", port);
            Client& client =
                *clients.emplace_back(std::make_unique<Client>(bus->address, QString::number(port)));
            images.push_back(test::RandomHex(4 * 0x2000, port));
            QCOMPARE(Result(client.Call("SetPort", {QString::number(port), false})), 0);
            QCOMPARE(Result(client.Call("LoadFiles",
                                        {Image("parallel.s28", "ZMA1F_APP", 0x20000, images.back())})),
                     0);
        }
        for (auto& client : clients) downloads.push_back(client->Start("DownLoad", {""}));
        QVERIFY(WaitFor([&] { return clients[0]->statuses.contains("Downloading data..."); }));
        leaving.Leave();
        for (size_t i = 0; i < clients.size(); ++i) {
            downloads[i].waitForFinished();
            QCOMPARE(Result(downloads[i].reply()), 0);
            QCOMPARE(radios[i]->Flash(0x20000, images[i].size() / 2), test::HexBytes(images[i]));
        }
        QVERIFY(WaitFor([&] { return bus->Journal().contains(folder.filePath("root/KX6000Download.log")); }));
        QFile::remove(folder.filePath("settings.ini"));
        QDir(folder.filePath("root/KX6000Download.log")).removeRecursively();
    }

    // A download stopped four ways. Cancel, its owner leaving, or SIGTERM to the service: the closing steps
    // run and the port is free within 1 s. Cancel and SIGTERM answer the download with the error Stopped,
    // which names the image, and the next report lists that image as the radio does. After SIGTERM
    // the service ends, and the next call starts it again. Its worker killed: the call fails, and another
    // client's manager goes on. A manager left or killed is gone. Cancel's run writes one 256 KiB table:
    // while it runs, GetLastError and a second operation are answered within 50 ms, and Cancel too.
    void stops() {
        // The radio lists an image by the tag its data begins with, however little of it is written.
        const std::string tag =
            "2A2F69426262456C2F2A0000005A004D004100310046005F004200490047"
            "0000";
        const std::string big = tag + test::RandomHex(4 * 0x20000, 8),
                          small = tag + test::RandomHex(4 * 0x1000, 7);
        enum Stop { Cancel, Leave, Terminate, Kill };
        for (Stop stop : {Cancel, Leave, Terminate, Kill}) {
            const std::string& data = stop == Cancel ? big : small;
            const QString image = Image("stop.s28", "ZMA1F_BIG", 0x20000, data);
            const uint32_t mark =
                0x20000 + static_cast<uint32_t>(data.size() / 4 * 3 / 10 / 2);  // about 30 %
            sim::SimulatedRadio& radio = StartRadio("{}", 1, {.realtime = true, .tracePath = ""});
            Client a(bus->address, "a"), b(bus->address, "b");
            QCOMPARE(Result(a.Call("SetPort", {"1", false})), 0);
            QCOMPARE(Result(a.Call("LoadFiles", {image})), 0);
            QDBusPendingCall download = a.Start("DownLoad", {""});
            QVERIFY(WaitFor([&] { return radio.Flash(mark, 2) == test::HexBytes("FFFF"); }));
            QVERIFY(WaitFor([&] { return radio.Flash(mark, 2) != test::HexBytes("FFFF"); }));
            const pid_t service = a.ServicePid();
            QElapsedTimer stopped;
            if (stop == Cancel) {
                for (const auto& [member, arguments] : {std::pair{"GetLastError", QList<QVariant>{}},
                                                        {"ReportConfigurations", {""}},
                                                        {"Cancel", {}}}) {
                    stopped.start();
                    QDBusMessage reply = a.Call(member, arguments);
                    // At once, not after the download; how fast is make bench's to say.
                    QVERIFY2(stopped.elapsed() < 1000, member);
                    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
                    if (reply.signature() == "ns") QCOMPARE(Result(reply), 13);
                }
            }
            if (stop == Leave) a.Leave();
            if (stop == Terminate) kill(service, SIGTERM);
            if (stop == Kill) kill(Worker(radio), SIGKILL);
            QVERIFY2(QTest::qWaitFor([&] { return !Held(radio.DevicePath()); }, 1000),
                     "the port is free in 1 s");
            QVERIFY(radio.Flash(0x20000, data.size() / 2) != test::HexBytes(data));
            QCOMPARE(ClosedDown(radio), stop != Kill);
            if (stop == Leave || stop == Kill)
                QVERIFY(WaitFor([&] {
                    return b.Call("GetLastError", {}, a.path).errorName() ==
                           "org.freedesktop.DBus.Error.UnknownObject";
                }));
            if (stop != Leave) download.waitForFinished();
            if (stop == Cancel) QVERIFY2(stopped.elapsed() < 5000, "the download ends within 5 s of Cancel");
            if (stop == Kill) {
                QCOMPARE(download.reply().errorName(), "org.freedesktop.DBus.Error.Failed");
                QCOMPARE(b.Call("GetLastError").type(), QDBusMessage::ReplyMessage);
            }
            if (stop == Terminate) QVERIFY(WaitFor([&] { return kill(service, 0) != 0; }));
            if (stop != Cancel && stop != Terminate) continue;
            const QString said = download.reply().errorMessage();
            QCOMPARE(download.reply().errorName(), "com.veltrane.KX6000Download.Error.Stopped");
            QVERIFY2(said.startsWith(QString("Stopped by %1 during \"Downloading data...\" of ZMA1F_BIG at ")
                                         .arg(stop == Cancel ? "Cancel()" : "SIGTERM")) &&
                         said.contains("that image is incomplete"),
                     qPrintable(said));
            // After Cancel the same manager's next operation runs; after SIGTERM a new service's.
            std::optional<Client> fresh;
            if (stop == Terminate)
                QCOMPARE(Result(fresh.emplace(bus->address, "c").Call("SetPort", {"1", false})), 0);
            QDBusMessage report = (fresh ? *fresh : a).Call("ReportConfigurations", {""});
            QCOMPARE(Result(report), 0);
            QString listed;
            for (const auto& configuration : radio.Configurations())
                if (configuration.productId == "ZMA1F_BIG")
                    listed = QString("ZMA1F_BIG|%1|").arg(configuration.status);
            QVERIFY(!listed.isEmpty());
            QVERIFY2(report.arguments().value(1).toString().contains(listed),
                     qPrintable(report.arguments().value(1).toString()));
        }
    }

    // Nobody is there to answer: an FPGA image is refused (1) unless AssumeYes is set, and then its special
    // logon waits for the technician's power cycle. The service's folder is not its caller's: a relative path
    // is refused and said in the log.
    void unattended() {
        std::ofstream(folder.filePath("settings.ini").toStdString()) << "[KX6100_RLDC]\nDebug=True\n";
        sim::SimulatedRadio& radio = StartRadio(R"({"specialMode": true})");
        Client a(bus->address, "a");
        QCOMPARE(Result(a.Call("SetPort", {"1", false})), 0);
        const std::string data = test::RandomHex(64, 2);
        const QString image = Image("fpga.s28", "ZMA1G_FPGA", 0x30000, data);
        QCOMPARE(Result(a.Call("LoadFiles", {image + "|./fpga.s28"})), 33);
        a.Call("ValidFile", {"fpga.s28"});
        QCOMPARE(a.Call("GetLastError").arguments().value(0).toInt(), 33);
        std::ifstream log(folder.filePath("root/KX6000Download.log").toStdString());
        const std::string logged((std::istreambuf_iterator<char>(log)), {});
        QVERIFY(logged.find("\"fpga.s28\" is a relative path; automation callers pass absolute paths") !=
                std::string::npos);
        for (bool assumeYes : {false, true}) {
            QCOMPARE(a.Set(a.path, "AssumeYes", assumeYes).type(), QDBusMessage::ReplyMessage);
            QCOMPARE(Result(a.Call("LoadFiles", {image})), 0);
            a.statuses.clear();
            QDBusPendingCall download = a.Start("DownLoad", {""});
            // Switched off and on once the wait has begun; again should the restart signal have come too
            // early.
            for (int tries = 0; tries < 10 && !QTest::qWaitFor([&] { return download.isFinished(); }, 2000);
                 ++tries)
                if (a.statuses.contains("Resetting radio...") && radio.Counters().specialLogons == 0)
                    radio.PowerCycle();
            QCOMPARE(Result(download.reply()), assumeYes ? 0 : 1);
            QCOMPARE(radio.Counters().specialLogons, assumeYes ? 1 : 0);
        }
        QCOMPARE(radio.Flash(0x30000, data.size() / 2), test::HexBytes(data));
        QFile::remove(folder.filePath("settings.ini"));
    }

    // Port 1 routed in the settings to ser2net in front of the radio: the service's SetPort("1") reaches it
    // with no change to the caller, for a report, a download and an erase.
    void network() {
        sim::SimulatedRadio& radio = StartRadio("{}");
        QTemporaryDir place;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 number = probe.serverPort();
        const QString port = QString::number(number);
        probe.close();
        std::ofstream(place.filePath("ser2net.yaml").toStdString())
            << "connection: &radio\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port.toStdString()
            << "\n  connector: serialdev," << radio.DevicePath() << ",19200n81,local\n";
        QProcess ser2net;
        ser2net.start("ser2net", {"-n", "-c", place.filePath("ser2net.yaml"), "-P", place.filePath("pid")});
        auto end = qScopeGuard([&] {
            ser2net.terminate();
            ser2net.waitForFinished();
        });
        QTcpSocket reach;
        QVERIFY(WaitFor([&] {
            reach.connectToHost(QHostAddress::LocalHost, number);
            return reach.waitForConnected(100);
        }));
        reach.abort();
        std::ofstream(place.filePath("settings.ini").toStdString())
            << "[KX6100_RLDC]\nPort1=rfc2217://127.0.0.1:" << port.toStdString() << "\n";
        QProcessEnvironment routed = environment;
        routed.remove("KX6000_PORT1");
        routed.remove("DBUS_SESSION_BUS_ADDRESS");
        routed.insert("KX6000_SETTINGS", place.filePath("settings.ini"));
        PrivateBus other(place.path(), routed);
        Client a(other.address, "network");
        QCOMPARE(Result(a.Call("SetPort", {"1", false})), 0);
        QDBusMessage report = a.Call("ReportConfigurations", {""});
        QCOMPARE(Result(report), 0);
        QCOMPARE(report.arguments().value(1).toString(), "ZMA1B_01.00|0|ZMA1F_01.02.03.04|0|KXA61_HW01|0|");
        const std::string data = test::RandomHex(4 * 0x400, 9) + "FFFFFFFF";
        QCOMPARE(Result(a.Call("LoadFiles", {Image("network.s28", "ZMA1F_NET", 0x20000, data)})), 0);
        QCOMPARE(Result(a.Call("DownLoad", {""})), 0);
        QCOMPARE(radio.Flash(0x20000, data.size() / 2), test::HexBytes(data));
        QCOMPARE(Result(a.Call("EraseSelected", {"0000|ZMA1B_01.00|", ""})), 0);
        for (const auto& configuration : radio.Configurations())
            QVERIFY(configuration.productId != "ZMA1B_01.00");
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
