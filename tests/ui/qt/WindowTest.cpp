// The main window and the wait window, driven through their own controls
// against the simulated radio on a pseudo-terminal.

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "files/SRecords.h"
#include "manager/clsDLManager.h"
#include "sim/SimulatedRadio.h"
#include "support/Errors.h"
#include "support/Program.h"
#include "support/modHelp.h"
#include "support/modRegistry.h"
#include "ui/qt/WindowScenarios.h"
#include "ui/qt/frmDownload.h"
#include "ui/qt/frmWait.h"

using namespace kx6000;

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<sim::SimulatedRadio> radio;
    std::unique_ptr<clsDLManager> manager;
    frmDownload* window = nullptr;
    std::unique_ptr<QObject> timers;  // the During steps of one case
    std::vector<std::string> opened;  // the help topics asked for

    QString Write(const QString& name, const std::string& content) {
        std::ofstream(folder->filePath(name).toStdString(), std::ios::binary) << content;
        return folder->filePath(name);
    }
    // A window, displayed, on ports 1 and 2 wired to a simulated radio of the scenario's model; without a
    // scenario on port 4, no model set.
    void Open(const char* scenario = "{}", bool debug = false) {
        Write("settings.ini", debug ? "[KX6100_RLDC]\nDebug=True\n" : "");
        auto form = std::make_unique<frmDownload>();
        window = form.get();
        manager = std::make_unique<clsDLManager>(std::move(form));
        if (scenario) {
            sim::Scenario parsed = sim::ParseScenario(scenario);
            radio = std::make_unique<sim::SimulatedRadio>(parsed);
            for (const char* port : {"KX6000_PORT1", "KX6000_PORT2"})
                setenv(port, radio->DevicePath().c_str(), 1);
            manager->RadioType(parsed.model == 6200 ? RADIO_MFX : RADIO_FMX);
        }
        int16_t result = manager->SetPort(scenario ? "1" : "4", true);
        if (scenario) QCOMPARE(result, 0);
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    template <class Control>
    Control* Find(const QString& name) {
        auto* control = window->findChild<Control*>(name);
        if (!control) qFatal("no control %s", qPrintable(name));
        return control;
    }
    QString Label(const QString& name) { return Find<QLabel>(name)->text(); }
    void Click(const QString& name) { QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton); }
    int32_t Error() {
        int32_t number = 0;
        std::string message;
        return manager->GetLastError(number, message), number;
    }
    // Runs `step` every 10 ms, in the event pump of the command the next click starts, until it is true.
    void During(std::function<bool()> step) {
        auto* timer = new QTimer(timers.get());
        connect(timer, &QTimer::timeout, this, [timer, step] {
            if (timer->isActive() && step()) timer->stop(), timer->deleteLater();
        });
        timer->start(10);
    }
    // Controls as the technician sees them, joined by "|": a label's text (a status's with its colour), a
    // check box as "box", a hidden control as "-".
    QString Seen(const QStringList& names, const QString& suffix = "") {
        QStringList seen;
        for (QString name : names) {
            name += suffix;
            auto* label = window->findChild<QLabel*>(name);
            QString text = label ? label->text() : "box";
            if (name.contains("Status")) text += "|" + label->palette().color(QPalette::WindowText).name();
            seen << (Find<QWidget>(name)->isVisible() ? text : "-");
        }
        return seen.join("|");
    }
    // A row of the table: type|product|status|colour|box|network ID|device ID.
    QString Row(int i) {
        return Seen({"lblType", "lblProduct", "lblStatus", "chkType", "lblNetworkID", "lblDeviceID"},
                    QString::number(i));
    }
    QStringList Table() {  // the rows shown
        QStringList rows;
        for (int i = 1; i <= 9; ++i)
            if (QString row = Row(i); row != "-|-|-|-|-|-") rows << row;
        return rows;
    }
    QString HardwareRow() {
        return Seen({"lblHardware", "lblHardwareID", "lblHardwareStatus", "lblHDNetworkID", "lblHDDeviceID",
                     "chkHardware"});
    }
    QString Panel(int n) { return Find<QLabel>("panel" + QString::number(n))->text(); }
    // What each file dialog offered once `listed` names were listed (its folder is read in the background):
    // the name in its box, "open" or "grey" for its Open button, then the names listed, sorted.
    QList<QStringList> offers;
    // Answers the file dialog the next click opens: chooses `names` (none: takes what it offers) and presses
    // Open, or Cancel for nullopt.
    void Choose(std::optional<QStringList> names, int listed = 0) {
        During([this, names, listed, polls = 0]() mutable {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return false;
            auto* list = dialog->findChild<QAbstractItemView*>("listView");
            QStringList shown;
            for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r)
                shown << list->model()->index(r, 0, list->rootIndex()).data().toString();
            if (shown.size() < listed && ++polls < 300) return false;
            shown.sort();
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
            QPushButton* open = buttons->button(QDialogButtonBox::Open);  // a grey Open cancels: no hang
            offers.append(QStringList{name->text(), open->isEnabled() ? "open" : "grey"} + shown);
            // Chosen as by a click and Ctrl+clicks on their names in the list.
            auto flags = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
            for (int r = 0; names && r < list->model()->rowCount(list->rootIndex()); ++r) {
                QModelIndex row = list->model()->index(r, 0, list->rootIndex());
                if (!names->contains(row.data().toString())) continue;
                list->selectionModel()->select(row, flags);
                flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
            }
            QTest::mouseClick(names && open->isEnabled() ? open : buttons->button(QDialogButtonBox::Cancel),
                              Qt::LeftButton);
            return true;
        });
    }

private slots:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        setenv("KX6000_ROOT", folder->filePath("root").toLocal8Bit().constData(), 1);
        setenv("KX6000_SETTINGS", folder->filePath("settings.ini").toLocal8Bit().constData(), 1);
        ResetProgramState();
        timers = std::make_unique<QObject>();
        opened.clear();
        offers.clear();
        modHelp::SetOpener([this](int32_t, const std::string&, const std::string& topic, int32_t context) {
            return opened.push_back(topic + " " + std::to_string(context)), 1;
        });
    }
    void cleanup() {
        for (const char* name : {"KX6000_DEVICE_ROOT", "KX6000_PORT4"}) unsetenv(name);
        timers.reset();
        manager.reset();
        radio.reset();
        ResetProgramState();
    }

    void startState_data() {
        QTest::addColumn<bool>("debug");
        QTest::newRow("normal") << false;
        QTest::newRow("test mode") << true;
    }
    // Before a report the design's placeholders stand, "Auto" is chosen, the unprotected choice in test mode.
    void startState() {
        QFETCH(bool, debug);
        Open(nullptr, debug);
        QCOMPARE(window->windowTitle(), "KX6000 Download");
        QCOMPARE(window->size(), QSize(585, 488));
        QCOMPARE(Label("lblAppTitle"), "");
        QCOMPARE(Row(1), "Boot Code|Z9KIFSTD_01.02.03.04|Unknown|#000000|box|Unknown|Unknown");
        QCOMPARE(Row(3), "Radio Application|Z9KIFSTD_01.02.03.04|Unknown|#000000|box|Unknown|Unknown");
        QCOMPARE(Row(9), "Custom|Z9KIFSTD_01.02.03.04|Unknown|#000000|box|Unknown|Unknown");
        QCOMPARE(HardwareRow(), "Hardware|Z9KIFSTD_01.02.03.04|Unknown|#000000|Unknown|Unknown|box");
        QCOMPARE(Label("lblCurrentDownload"), "Current Download :");
        QCOMPARE(Find<QComboBox>("cboBaudRate")->currentText(), "Auto");
        QCOMPARE(Find<QComboBox>("cboPort")->currentText(), "4");
        QCOMPARE(Find<QCheckBox>("chkAccessLevel")->isVisible(), debug);
        QVERIFY(!Find<QPushButton>("cmdErase")->isEnabled());
        manager->RadioType(RADIO_MFX);
        QCOMPARE(Label("lblAppTitle"), debug ? "KX6200 Download Component - v1.05.01 - Testmode"
                                             : "KX6200 Download Component - v1.05.01");
        QCOMPARE(Table(), QStringList());
        QCOMPARE(Label("lblCurrentDownload"), "Current Download");
        QVERIFY(Find<QLabel>("lblNetworkID0")->isVisible());
        manager->RadioType(RADIO_FMX);
        QVERIFY(!Find<QLabel>("lblNetworkID0")->isVisible());
        QCOMPARE(Panel(1), "Status");
    }

    void reportFillsTheTable_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("hardware");
        QTest::addColumn<int>("error");
        QTest::newRow("KX6100")
            << kSixConfigurations
            << QStringList{"Boot Code|ZMA1B_01.00|OK|#000000|-|-|-",
                           "FPGA Image|zma1g_fpga|Checksum invalid|#ff0000|box|-|-",
                           "Radio Application|ZMA1F_01.02|No code segments|#0000ff|box|-|-",
                           "Hardware ID|KXA61_HW02|7|#000000|box|-|-", "Non Standard|KXC|OK|#000000|box|-|-"}
            << "Hardware ID|KXA61_HW01|No code segments|#0000ff|-|-|box" << 0;
        QTest::newRow("KX6200") << kKX6200
                                << QStringList{"Radio Application|ZMA2F_02.01|OK|#000000|box|0|0",
                                               "Non Standard|KXD62_UNIT|OK|#000000|box|1|2",
                                               "Non Standard|KXD62_OTHER|No code segments|#0000ff|box|26|5"}
                                << "Hardware ID|KXA62_HW|-|0|0|-" << 0;
        // Ten configurations that are no hardware: one more than the table's rows.
        QStringList ten, nine;
        for (int i = 0; i < 10; ++i)
            ten << QString::asprintf("{\"productId\": \"KXC_%d\", \"address\": %d}", i, 256 + 256 * i);
        for (int i = 0; i < 9; ++i) nine << QString("Non Standard|KXC_%1|OK|#000000|box|-|-").arg(i);
        QTest::newRow("ten entries") << "{\"configurations\": [" + ten.join(", ") + "]}" << nine
                                     << "-|-|-|-|-|-" << 2;
    }
    // Report through its access key. Another port chosen then forgets the rows read, so none can be ticked.
    void reportFillsTheTable() {
        QFETCH(QString, scenario);
        Open(scenario.toUtf8().constData());
        QTest::keyClick(window, Qt::Key_R, Qt::AltModifier);
        QFETCH(int, error);
        QTRY_COMPARE(Panel(2), QString::fromStdString(error ? ErrorStatusText(error)
                                                            : "Configuration successfully read"));
        QCOMPARE(Error(), error);
        QTEST(Table(), "rows");
        QTEST(HardwareRow(), "hardware");
        QCOMPARE(Panel(3), "Not connected");
        Click("chkType2");
        QVERIFY(Find<QPushButton>("cmdErase")->isEnabled());
        QTest::keyClick(Find<QComboBox>("cboPort"), Qt::Key_Down);
        QCOMPARE(Find<QComboBox>("cboPort")->currentText(), "2");
        QCOMPARE(Panel(2), "Ready");
        QCOMPARE(Table(), QStringList());
        QCOMPARE(HardwareRow(), "-|-|-|-|-|-");
        QVERIFY(!Find<QPushButton>("cmdErase")->isEnabled());
    }

    // Rows 2 and 5 ticked, then erased; which entries a row gives, a device's too, is the rules' to say.
    void eraseTheTickedRows() {
        Open(kSixConfigurations);
        std::vector<sim::Configuration> before = radio->Configurations();
        Click("cmdConfig");
        auto* erase = Find<QPushButton>("cmdErase");
        QVERIFY(!erase->isEnabled());
        Click("chkType2"), Click("chkType5");
        QVERIFY(erase->isEnabled());
        Click("chkType1"), Click("chkType1");  // ticking and unticking another keeps Erase
        QVERIFY(erase->isEnabled());
        Click("cmdErase");
        QCOMPARE(Panel(2), "Configuration(s) succesfully erased");
        QStringList gone;
        std::vector<sim::Configuration> after = radio->Configurations();
        for (const auto& configuration : before)
            if (std::ranges::find(after, configuration) == after.end())
                gone << QString::fromStdString(configuration.productId);
        QCOMPARE(gone, (QStringList{"zma1g_fpga", "KXC"}));
        for (int i = 1; i <= 9; ++i) QVERIFY(!Find<QCheckBox>("chkType" + QString::number(i))->isChecked());
        QVERIFY(!erase->isEnabled());
        QCOMPARE(Table().size(), int(after.size()) - 1);  // all but the hardware row
    }

    void download_data() {
        QTest::addColumn<QStringList>("names");  // chosen in the file dialog; none presses Cancel
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("box");  // a line of the message box shown (the wait window's text), if any
        QTest::newRow("two files, one non-ASCII name")
            << QStringList{"démo.s28", "next.s28"} << "Download successful" << 0 << "";
        QTest::newRow("an FPGA image: Enter answers no")
            << QStringList{"fpga.s28"} << "Error 1 - User cancelled upgrade" << 1
            << "You are attempting to upgrade FPGA software.";
        QTest::newRow("a configuration lost with its block: Enter answers no")
            << QStringList{"site.s28"} << "Error 1 - User cancelled upgrade" << 1
            << "ZMA1F_01.02.03.04 lies in block 1, which KXC61_SITE erases: it will be lost";
        QTest::newRow("data the radio refuses")
            << QStringList{"odd.s28"} << "Error 34 - File format is not valid" << 34
            << "/files/odd.s28:3: error: the table at address 0x00000000 holds 6 data digits";
        QTest::newRow("cancelled") << QStringList() << "File selection cancelled" << 31 << "";
        QTest::newRow("the power-cycle wait cancelled")
            << QStringList{"démo.s28"} << "Error 21 - Radio did not reset" << 21
            << "KX6000 Download|Please power cycle the radio to continue ...";
    }
    // Download through the button and the real file dialog, which starts at the last file chosen and lists
    // S records only; while the download runs, the window answers. A file chosen is offered again. The
    // special logon waits for the technician, whose Cancel in the wait window ends the download.
    void download() {
        QFETCH(QStringList, names);
        QFETCH(int, error);
        const bool special = error == 21;  // the special logon, in test mode, to a radio waiting for it
        Open(special ? kSpecialMode : "{}", special);
        if (special) Click("chkAccessLevel");
        QDir files(folder->filePath("files"));
        files.mkpath(".");
        const std::string first = test::RandomHex(4 * 0x400, 1), second = test::RandomHex(4 * 0x40, 2);
        Write("files/démo.s28", test::ImageText("ZMA1F_FIRST", "S2", {{0x30000, first}}));
        Write("files/next.s28", test::ImageText("KXC61_SECOND", "S2", {{0x50000, second}}));
        Write("files/fpga.s28", test::ImageText("ZMA1G_FPGA", "S2", {{0x10000, "1234"}}));
        Write("files/site.s28", test::ImageText("KXC61_SITE", "S2", {{0x10100, "1234"}}));
        Write("files/odd.s28",
              "DW 8\r\n" + test::Header("ZMA1F_ODD") + test::Rec("S1", 0, "AABBCC") + test::Rec("S9", 0, ""));
        QStringList listed = {"UPPER.S28", "démo.s28", "fpga.s28", "odd.s28", "next.s28", "site.s28"};
        for (const QString& name : listed + QStringList{"notes.txt"})
            if (!files.exists(name)) Write("files/" + name, "");
        modRegistry::SaveRegistryValue("LastFile", files.filePath("UPPER.S28").toStdString());
        Choose(names.isEmpty() ? std::nullopt : std::optional(names), int(listed.size()));
        QString shown;  // the question asked, marked when Yes is its default, or the wait window's text
        frmWait& wait = frmWait::Instance();
        int overflow = 0;  // the pixels of the wait window's message beyond its room
        During([&] {
            if (auto* label = wait.findChild<QLabel*>("lblMessage"); wait.isVisible()) {
                shown = wait.windowTitle() + "|" + label->text();
                overflow =
                    label->fontMetrics().horizontalAdvance(label->text()) - label->contentsRect().width();
                QTest::mouseClick(wait.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
                return true;
            }
            auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!question || question->objectName() == "stopQuestion") return false;
            // Enter takes the default; Escape ends a Yes default's case before it waits for a power cycle.
            QAbstractButton* yes = question->button(QMessageBox::Yes);
            shown = question->text() + (yes && question->defaultButton() == yes ? "\n(Yes by default)" : "");
            QTest::keyClick(question, shown.endsWith("(Yes by default)") ? Qt::Key_Escape : Qt::Key_Return);
            return true;
        });
        bool closed = true, keptOn = false;
        During([&] {
            if (Panel(2) != "Resetting radio...") return false;
            closed = window->close();  // asks whether to stop: Enter takes No, and the download goes on
            auto* stop = window->findChild<QMessageBox*>("stopQuestion");
            keptOn = stop && stop->defaultButton() == stop->button(QMessageBox::No);
            if (stop) QTest::keyClick(stop, Qt::Key_Return);
            QTest::keyClick(window, Qt::Key_F1);
            return true;
        });
        Click("cmdDownload");
        QTEST(Panel(2), "status");
        QCOMPARE(Error(), error);
        QFETCH(QString, box);
        QVERIFY2(box.isEmpty() ? shown.isEmpty() : shown.contains(box) && !shown.endsWith("(Yes by default)"),
                 qPrintable(shown));
        QVERIFY2(overflow <= 0, qPrintable(QString::number(overflow)));
        QVERIFY(!wait.isVisible());
        listed.sort();
        QCOMPARE(offers, (QList<QStringList>{QStringList{"UPPER.S28", "open"} + listed}));
        const bool written = Error() == 0, asked = box.endsWith("will be lost");  // after the logon
        QCOMPARE(radio->Counters().logons + radio->Counters().specialLogons, written || asked ? 1 : 0);
        for (const auto& frame : radio->Frames()) QVERIFY2(written || frame.code != 0x33, "nothing erased");
        if (written) {
            QVERIFY2(!closed && keptOn, "the close was refused while the download ran");
            QCOMPARE(opened.size(), 1u);  // and F1 answered
            QCOMPARE(radio->Flash(0x30000, first.size() / 2), test::HexBytes(first));
            QCOMPARE(radio->Flash(0x50000, second.size() / 2), test::HexBytes(second));
            Choose(QStringList(), 1);
            Click("cmdDownload");
            // The first chosen in the dialog's order, and Open can be pressed on it.
            QVERIFY2(names.contains(offers[1][0]) && offers[1][1] == "open", qPrintable(offers[1].join(" ")));
            QCOMPARE(Panel(2), "Download successful");
            QCOMPARE(radio->Counters().logons, 2);
        }
        for (const char* name : {"cmdConfig", "cmdDownload", "cboPort"})
            QVERIFY2(Find<QWidget>(name)->isEnabled(), name);
        QVERIFY(window->close());
    }

    // Each item of the port list names its port's device (how a found one is described is the routes' own
    // to say); the list takes them afresh each time it is opened, and the closed list shows the chosen
    // item's.
    void portTips() {
        setenv("KX6000_DEVICE_ROOT", folder->filePath("devices").toLocal8Bit().constData(), 1);
        setenv("KX6000_PORT4", "rfc2217://bench3:4001", 1);
        Open();
        auto* list = Find<QComboBox>("cboPort");
        auto tips = [list] {
            QStringList shown;
            for (int i = 0; i < list->count(); ++i) shown << list->itemData(i, Qt::ToolTipRole).toString();
            return shown;
        };
        const QString radioPort = QString::fromStdString(radio->DevicePath()),
                      none = "no serial device found", network = "rfc2217://bench3:4001, network (RFC 2217)";
        QCOMPARE(tips(), (QStringList{radioPort, radioPort, none, network}));
        QCOMPARE(list->toolTip(), radioPort);
        unsetenv("KX6000_PORT1");  // port 1 no longer named, and no device found for it
        list->showPopup();
        QCOMPARE(tips(), (QStringList{none, radioPort, none, network}));
        QCOMPARE(list->toolTip(), none);
        list->hidePopup();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->toolTip(), radioPort);
    }

    // A radio answering only with keep-alive words holds a report until the technician closes the window and
    // stops it: the report ends through its closing steps, then the window closes, without an error box.
    void closingStopsACommand() {
        Open(R"({"faults": {"keepAliveFlood": true}})");
        During([&] {
            if (Panel(2) != "Reading current configuration...") return false;
            window->close();
            auto* stop = window->findChild<QMessageBox*>("stopQuestion");
            if (stop) QTest::mouseClick(stop->button(QMessageBox::Yes), Qt::LeftButton);
            return stop != nullptr;
        });
        Click("cmdConfig");
        QCOMPARE(Error(), 15);
        QVERIFY(!window->isVisible());
        QCOMPARE(int(StopRequested), 0);
        QVERIFY(!QApplication::activeModalWidget());
    }
    void help_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("droppedDown");  // the baud list open, its popup taking the keys
        QTest::newRow("F1") << int(Qt::NoModifier) << false;
        QTest::newRow("Shift+F1") << int(Qt::ShiftModifier) << false;
        QTest::newRow("Ctrl+Alt+F1") << int(Qt::ControlModifier | Qt::AltModifier) << false;
        QTest::newRow("F1 on the open baud list") << int(Qt::NoModifier) << true;
        QTest::newRow("the help button") << -1 << false;
    }
    // One page, the window's topic; the first control with focus is Report.
    void help() {
        QFETCH(int, modifiers);
        QFETCH(bool, droppedDown);
        Open();
        QCOMPARE(QApplication::focusWidget(), Find<QPushButton>("cmdConfig"));
        auto* baud = Find<QComboBox>("cboBaudRate");
        baud->setFocus();
        if (droppedDown) {
            baud->showPopup();
            QVERIFY(QTest::qWaitForWindowExposed(baud->view()->window()));
        }
        if (modifiers < 0)
            Click("cmdHelp");
        else  // through the window system, as a key press is delivered to the focused window or popup
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_F1, Qt::KeyboardModifiers(modifiers));
        const std::string folder = QCoreApplication::applicationDirPath().toStdString() + "/kx6kd_en/";
        QCOMPARE(opened, std::vector<std::string>{folder + "index.html 2368"});
        QCOMPARE(baud->currentText(), "Auto");
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
