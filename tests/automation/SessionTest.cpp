// The automation session over a window that is not displayed, against the simulated radio on a
// pseudo-terminal; any modal box that opens is recorded and closed.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "automation/Session.h"
#include "files/SRecords.h"
#include "manager/clsDLManager.h"
#include "sim/SimulatedRadio.h"
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

    void nobodyToAsk_data() {
        QTest::addColumn<bool>("assumeYes");
        QTest::addColumn<int>("result");
        QTest::newRow("no") << false << 1;
        QTest::newRow("yes assumed") << true << 0;
    }
    // Without the window nothing modal opens: the FPGA question is answered by AssumeYes at once.
    void nobodyToAsk() {
        QFETCH(bool, assumeYes);
        Open(R"({"specialMode": true})");
        QCOMPARE(session->AssumeYes(), false);
        session->AssumeYes(assumeYes);
        // The FPGA image's special logon waits for a power cycle.
        While("Resetting radio...", [this] {
            if (frmWait::Instance().isVisible() && radio->Counters().powerCycles == 0) radio->PowerCycle();
        });
        const std::string data = test::RandomHex(64, 2);
        const int16_t result = Download("ZMA1G_FPGA", data);
        QTEST(int(result), "result");
        QCOMPARE(boxes, QStringList());
        sim::Counts counts = radio->Counters();
        QCOMPARE(counts.resetBytes + counts.powerCycles + counts.logons + counts.specialLogons > 0,
                 result != 1);
        if (result == 0) QCOMPARE(radio->Flash(0x30000, data.size() / 2), test::HexBytes(data));
    }

    void relativePaths_data() {
        QTest::addColumn<QString>("files");  // "FOLDER" is the test's folder, the server's current one
        QTest::addColumn<bool>("load");      // LoadFiles, else ValidFile
        QTest::addColumn<int>("result");
        QTest::newRow("absolute") << "FOLDER/image.s28" << true << 0;
        QTest::newRow("one relative among absolute ones") << "FOLDER/image.s28|./image.s28" << true << 33;
        QTest::newRow("ValidFile, relative") << "image.s28" << false << 33;
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
