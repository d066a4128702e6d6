// The automation session over a window that is not displayed, against the simulated radio on a
// pseudo-terminal; any modal box that opens is recorded and closed.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iostream>
#include <sstream>

#include "automation/Session.h"
#include "files/SRecords.h"
#include "manager/clsDLManager.h"
#include "port/clsSerial.h"
#include "sim/SimulatedRadio.h"
#include "support/Errors.h"
#include "support/Program.h"
#include "ui/qt/frmDownload.h"
#include "ui/qt/frmWait.h"

using namespace kx6000;
using automation::Operation;

class SessionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<sim::SimulatedRadio> radio;
    std::unique_ptr<automation::Session> session;
    QStringList statuses, boxes;  // the statuses told, the modal boxes seen
    std::unique_ptr<QTimer> boxCloser;

    // A session on port 1, the window not displayed, wired to a simulated radio.
    void Open(const char* scenario = "{}") {
        radio = std::make_unique<sim::SimulatedRadio>(sim::ParseScenario(scenario));
        setenv("KX6000_PORT1", radio->DevicePath().c_str(), 1);
        session = std::make_unique<automation::Session>(std::make_unique<frmDownload>());
        session->Subscribe([this](std::string_view name) {
            if (name == "Status") statuses << QString::fromStdString(session->Values().Status);
        });
        QCOMPARE(session->Manager().SetPort("1", false), 0);
    }
    int16_t Download(const std::string& tag, const std::string& data) {
        std::string path = folder->filePath("image.s28").toStdString();
        std::ofstream(path, std::ios::binary) << test::ImageText(tag, "S2", {{0x30000, data}});
        if (int16_t loaded = session->Manager().LoadFiles(path)) return loaded;
        std::string list;
        return session->Run(Operation::Download, "", list);
    }
    // Runs `step` at every pass of the running operation's event pump while the status is `status`.
    void While(const std::string& status, std::function<void()> step) {
        auto* timer = new QTimer(boxCloser.get());
        connect(timer, &QTimer::timeout, this, [this, status, step] {
            if (session->Values().Status == status) step();
        });
        timer->start(0);
    }

private slots:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        setenv("KX6000_ROOT", folder->filePath("root").toLocal8Bit().constData(), 1);
        setenv("KX6000_SETTINGS", folder->filePath("settings.ini").toLocal8Bit().constData(), 1);
        ResetProgramState();
        statuses.clear(), boxes.clear();
        boxCloser = std::make_unique<QTimer>();
        connect(boxCloser.get(), &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                boxes << box->text(), box->reject();
        });
        boxCloser->start(10);
    }
    void cleanup() {
        boxCloser.reset();
        session.reset();
        radio.reset();
        ResetProgramState();
    }

    void duringADownload_data() {
        QTest::addColumn<QString>("action");  // taken while the data is written
        QTest::addColumn<int>("result");
        QTest::newRow("a second operation") << "second" << 0;
        QTest::newRow("release") << "release" << 0;
        QTest::newRow("cancel") << "cancel" << 15;
    }
    // While a download writes: a second operation gets 13 and leaves it busy; a release waits for its end;
    // a cancel ends it, the port free at once. The next operation starts unstopped.
    void duringADownload() {
        QFETCH(QString, action);
        Open();
        const std::string data = test::RandomHex(40 * 1020, 1);
        QStringList seen;  // what the action saw
        While("Downloading data...", [&] {
            if (!seen.isEmpty()) return;
            std::string list = "theirs";
            if (action == "second")
                seen << QString::number(session->Run(Operation::Report, "", list)) << list.c_str();
            if (action == "release") seen << (session->Release() ? "gone" : "stays");
            if (action == "cancel") session->Cancel(), seen << "cancelled";
            seen << (session->Busy() ? "busy" : "idle");
        });
        QTEST(int(Download("ZMA1F_APP", data)), "result");
        QCOMPARE(seen, (QStringList{action == "second"    ? QStringList{"13", "theirs"}
                                    : action == "release" ? QStringList{"stays"}
                                                          : QStringList{"cancelled"}} +
                        QStringList{"busy"}));
        QVERIFY(!session->Busy());
        QCOMPARE(session->ReleaseAsked(), action == "release");
        QVERIFY(session->Release());
        QString commands;
        for (const auto& frame : radio->Frames()) commands += QString::asprintf("%02X ", frame.code);
        if (action == "cancel") {
            clsSerial other;  // another program's open takes the port at once
            other.CommPort(radio->DevicePath());
            other.OpenPort();
            QCOMPARE(LastError, 0);
            other.ClosePort();
            // The writing ends; the flash is locked and read back, the radio not restarted.
            QVERIFY2(commands.count("35 ") < 40 && commands.endsWith("35 39 31 "), qPrintable(commands));
            QCOMPARE(statuses.last(), QString::fromStdString(ErrorStatusText(15)));
        } else {
            QCOMPARE(radio->Flash(0x30000, data.size() / 2), test::HexBytes(data));
            QCOMPARE(statuses,
                     (QStringList{
                         "Ready", "Validating file...", "Ready", "Resetting radio...", "Setting baud rate...",
                         "Reading current configuration...", "Checking file against flash information...",
                         "Unlocking flash...", "Erasing flash...", "Downloading data...", "Locking flash...",
                         "Reading current configuration...", "Resetting radio...", "Download successful"}));
        }
        std::string list;
        QCOMPARE(session->Run(Operation::Report, "", list), 0);
        QCOMPARE(session->Values().Baud, "Not connected");
        QCOMPARE(boxes, QStringList());
    }

    void nobodyToAsk_data() {
        QTest::addColumn<bool>("assumeYes");
        QTest::addColumn<bool>("unwritableLog");  // with Debug on
        QTest::addColumn<int>("result");
        QTest::newRow("the FPGA question: no") << false << false << 1;
        QTest::newRow("the FPGA question: yes assumed") << true << false << 0;
        QTest::newRow("an unwritable log") << false << true << 0;
    }
    // Without the window nothing modal opens: the FPGA question is answered by AssumeYes at once, and an
    // error box is a line on stderr naming the file.
    void nobodyToAsk() {
        QFETCH(bool, assumeYes);
        QFETCH(bool, unwritableLog);
        std::string log = folder->filePath("root/KX6000Download.log").toStdString();
        if (unwritableLog) {
            QDir().mkpath(QString::fromStdString(log));
            std::ofstream(folder->filePath("settings.ini").toStdString()) << "[KX6100_RLDC]\nDebug=True\n";
        }
        std::ostringstream stderrLines;
        std::streambuf* saved = std::cerr.rdbuf(stderrLines.rdbuf());
        Open(unwritableLog ? "{}" : R"({"specialMode": true})");
        QCOMPARE(session->AssumeYes(), false);
        session->AssumeYes(assumeYes);
        // The FPGA image's special logon waits for a power cycle.
        While("Resetting radio...", [this] {
            if (frmWait::Instance().isVisible() && radio->Counters().powerCycles == 0) radio->PowerCycle();
        });
        const std::string data = test::RandomHex(64, 2);
        int16_t result = Download(unwritableLog ? "ZMA1F_APP" : "ZMA1G_FPGA", data);
        std::cerr.rdbuf(saved);
        QTEST(int(result), "result");
        QCOMPARE(boxes, QStringList());
        sim::Counts counts = radio->Counters();
        QCOMPARE(counts.resetBytes + counts.powerCycles + counts.logons + counts.specialLogons > 0,
                 result != 1);
        if (result == 0) QCOMPARE(radio->Flash(0x30000, data.size() / 2), test::HexBytes(data));
        QString said = QString::fromStdString(stderrLines.str());
        QCOMPARE(said.count('\n'), unwritableLog ? 1 : 0);
        QVERIFY2(said.contains(QString::fromStdString(log)) == unwritableLog, qPrintable(said));
    }

    void relativePaths_data() {
        QTest::addColumn<QString>("files");  // "FOLDER" is the test's folder, the server's current one
        QTest::addColumn<bool>("load");      // LoadFiles, else ValidFile
        QTest::addColumn<int>("result");
        QTest::newRow("absolute") << "FOLDER/image.s28" << true << 0;
        QTest::newRow("relative, in the current folder") << "image.s28" << true << 33;
        QTest::newRow("one relative among absolute ones") << "FOLDER/image.s28|./image.s28" << true << 33;
        QTest::newRow("ValidFile, relative") << "image.s28" << false << 33;
        QTest::newRow("ValidFile, absolute") << "FOLDER/image.s28" << false << 0;
    }
    // The server's current folder is not its caller's: a relative path is refused and said in the log,
    // even when the server's folder holds such a file.
    void relativePaths() {
        QFETCH(QString, files);
        QFETCH(bool, load);
        std::ofstream(folder->filePath("settings.ini").toStdString()) << "[KX6100_RLDC]\nDebug=True\n";
        std::ofstream(folder->filePath("image.s28").toStdString())
            << test::ImageText("ZMA1F_APP", "S2", {{0x30000, "AABB"}});
        const QString current = QDir::currentPath();
        QDir::setCurrent(folder->path());
        Open();
        clsDLManager& manager = session->Manager();
        const std::string list = files.replace("FOLDER", folder->path()).toStdString();
        int result = load ? manager.LoadFiles(list) : (manager.ValidFile(list), LastError);
        QDir::setCurrent(current);
        QTEST(result, "result");
        std::ifstream logFile(folder->filePath("root/KX6000Download.log").toStdString());
        std::string log((std::istreambuf_iterator<char>(logFile)), {});
        QCOMPARE(log.find("is a relative path; automation callers pass absolute paths") != std::string::npos,
                 result == 33);
    }
};

QTEST_MAIN(SessionTest)
#include "SessionTest.moc"
