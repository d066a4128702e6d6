#include "ui/qt/frmDownload.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <csignal>
#include <utility>

#include "manager/clsDLManager.h"
#include "platform/SerialPorts.h"
#include "radio/clsRadio.h"
#include "resources/ResourceTexts.h"
#include "support/OutsideText.h"
#include "support/Program.h"
#include "support/modRegistry.h"
#include "ui/WindowCommands.h"
#include "ui/qt/Twips.h"
#include "ui/qt/frmWait.h"

namespace kx6000 {
namespace {

// Bytes from outside (product IDs, tags, file names) read as every front end reads them.
QString Displayed(const std::string& text) {
    return QString::fromStdString(Utf8OfBytes(text));
}

QString TextOf(int id) {
    return Displayed(Text(id));
}

QLabel* NewLabel(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
                 int height = 255) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    Place(label, left, top, width, height);
    return label;
}

void SetColour(QLabel* label, Rgb colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(colour.red, colour.green, colour.blue));
    label->setPalette(palette);
}

// A cell of the table: its text, or hidden when it has none.
void SetCell(QLabel* label, const std::string& text) {
    if (!text.empty()) label->setText(Displayed(text));
    label->setVisible(!text.empty());
}

// The port list, which takes its tooltips afresh each time it is opened.
class PortList : public QComboBox {
public:
    PortList(QWidget* parent, std::function<void()> opening)
        : QComboBox(parent), opening(std::move(opening)) {}
    void showPopup() override {
        opening();
        QComboBox::showPopup();
    }

private:
    std::function<void()> opening;
};

// The help button's picture: a yellow question mark, 13 by 13 pixels.
QIcon QuestionMark() {
    QPixmap picture(13, 13);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font("Sans");
    font.setPixelSize(14);
    font.setBold(true);
    QPainterPath path;
    path.addText(2.5, 12, font, "?");
    painter.setPen(QPen(QColor(96, 72, 0), 1));
    painter.setBrush(QColor(255, 215, 0));
    painter.drawPath(path);
    return QIcon(picture);
}

// The window's icon: a radio with its antenna and a downward arrow.
QIcon ApplicationIcon() {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 2));
    painter.drawLine(9, 9, 9, 2);
    painter.setBrush(QColor(60, 70, 90));
    painter.drawRoundedRect(5, 9, 22, 21, 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 215, 0));
    painter.drawPolygon(QPolygon({{11, 14}, {21, 14}, {16, 25}}));
    return QIcon(picture);
}

}  // namespace

frmDownload::frmDownload() {
    setObjectName("frmDownload");
    setWindowTitle(kApplicationTitle);
    setWindowIcon(ApplicationIcon());
    setFixedSize(Twips(8772), Twips(7320));
    setFont(LayoutFont(font()));
    CreateTable();
    CreateControls();
    // An open list takes the keys in a popup of its own: made now, it is among the children watched.
    for (QComboBox* list : {cboPort, cboBaudRate}) list->view();
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    installEventFilter(this);
    // Each pass of the port layer's waits lets the window repaint and take clicks.
    EventPump = [] { QCoreApplication::processEvents(); };
}

void frmDownload::CreateTable() {
    fraConfiguration = new QGroupBox("Configuration", this);
    fraConfiguration->setObjectName("fraConfiguration");
    Place(fraConfiguration, 240, 480, 8175, 4335);
    QWidget* frame = fraConfiguration;
    QFont caption = font();
    caption.setBold(true);
    fraConfiguration->setFont(caption);

    QFont heading = font();
    heading.setBold(true);
    heading.setUnderline(true);
    auto head = [&](QLabel* label) {
        label->setFont(heading);
        label->setWordWrap(true);
        return label;
    };
    lblType[0] = NewLabel(frame, "lblType0", "Software", 480, 480, 1452);
    lblType[0]->hide();
    lblProduct[0] = head(NewLabel(frame, "lblProduct0", "Product ID", 1920, 480, 2304));
    lblStatus[0] = head(NewLabel(frame, "lblStatus0", "Status", 4320, 480, 696));
    lblNetworkID[0] = head(NewLabel(frame, "lblNetworkID0", "Network ID", 5880, 360, 735, 375));
    lblDeviceID[0] = head(NewLabel(frame, "lblDeviceID0", "Device ID", 6960, 360, 615, 375));

    const QString placeholder = "Z9KIFSTD_01.02.03.04";
    chkHardware = new QCheckBox(frame);
    chkHardware->setObjectName("chkHardware");
    Place(chkHardware, 120, 840, 255, 255);
    lblHardware = NewLabel(frame, "lblHardware", "Hardware", 480, 840, 1812);
    lblHardwareID = NewLabel(frame, "lblHardwareID", placeholder, 1920, 840, 2304);
    lblHardwareStatus = NewLabel(frame, "lblHardwareStatus", "Unknown", 4320, 840, 1290);
    lblHDNetworkID = NewLabel(frame, "lblHDNetworkID", "Unknown", 5880, 840, 600);
    lblHDDeviceID = NewLabel(frame, "lblHDDeviceID", "Unknown", 6960, 840, 855);

    const char* designTypes[] = {"Boot Code", "FPGA Image", "Radio Application"};
    for (int i = 1; i <= kTableRows; ++i) {
        const int top = 1200 + 360 * (i - 1);
        const QString n = QString::number(i);
        chkType[i] = new QCheckBox(frame);
        chkType[i]->setObjectName("chkType" + n);
        Place(chkType[i], 120, top, 255, 255);
        connect(chkType[i], &QCheckBox::toggled, this, [this, i](bool ticked) { chkType_Click(i, ticked); });
        lblType[i] = NewLabel(frame, "lblType" + n, i <= 3 ? designTypes[i - 1] : "Custom", 480, top, 1452);
        lblProduct[i] = NewLabel(frame, "lblProduct" + n, placeholder, 1920, top, 2292);
        lblStatus[i] = NewLabel(frame, "lblStatus" + n, "Unknown", 4320, top, 1290);
        lblNetworkID[i] = NewLabel(frame, "lblNetworkID" + n, "Unknown", 5880, top, 600);
        lblDeviceID[i] = NewLabel(frame, "lblDeviceID" + n, "Unknown", 6960, top, 855);
    }
    // Only the caption is bold: the cells take the window's face.
    QFont cellFace = font();
    cellFace.setBold(false);  // set, not inherited from the caption
    for (QWidget* cell : frame->findChildren<QWidget*>()) {
        if (!cell->font().underline()) cell->setFont(cellFace);  // the headings keep theirs
    }
}

void frmDownload::CreateControls() {
    lblAppTitle = NewLabel(this, "lblAppTitle", "", 240, 120, 6375);
    lblAppTitle->setAlignment(Qt::AlignCenter);
    cmdHelp = new QPushButton(this);
    cmdHelp->setObjectName("cmdHelp");
    cmdHelp->setIcon(QuestionMark());
    cmdHelp->setIconSize(QSize(13, 13));
    Place(cmdHelp, 8400, 0, 375, 375);
    connect(cmdHelp, &QPushButton::clicked, this, &frmDownload::cmdHelp_Click);

    lblCurrentDownload = NewLabel(this, "lblCurrentDownload", "Current Download :", 360, 4920, 5415);
    txtCurrentDownload = new QLineEdit(this);
    txtCurrentDownload->setObjectName("txtCurrentDownload");
    txtCurrentDownload->setReadOnly(true);
    Place(txtCurrentDownload, 360, 5160, 7455, 285);
    lblProgress = NewLabel(this, "lblProgress", "Progress :", 360, 5520, 5415);
    prgDownloadProgress = new QProgressBar(this);
    prgDownloadProgress->setObjectName("prgDownloadProgress");
    prgDownloadProgress->setRange(0, 100);
    prgDownloadProgress->setValue(0);
    prgDownloadProgress->setTextVisible(false);
    Place(prgDownloadProgress, 360, 5760, 7455, 255);

    NewLabel(this, "Label1", "Port", 360, 6120, 495);
    NewLabel(this, "Label2", "Baud Rate", 1440, 6120, 855);
    chkAccessLevel = new QCheckBox("Allow Unprotected Upgrade", this);
    chkAccessLevel->setObjectName("chkAccessLevel");
    Place(chkAccessLevel, 5520, 6120, 2295, 255);
    cboPort = new PortList(this, [this] { ShowPortTips(); });
    cboPort->setObjectName("cboPort");
    for (const char* item : kPortItems) cboPort->addItem(item);
    cboPort->setCurrentIndex(-1);
    Place(cboPort, 360, 6480, 975, 315);
    connect(cboPort, &QComboBox::activated, this, &frmDownload::cboPort_Click);
    // The closed list's tooltip is the chosen item's.
    connect(cboPort, &QComboBox::currentIndexChanged, this,
            [this] { cboPort->setToolTip(cboPort->currentData(Qt::ToolTipRole).toString()); });
    cboBaudRate = new QComboBox(this);
    cboBaudRate->setObjectName("cboBaudRate");
    for (std::string_view item : kBaudRateItems) cboBaudRate->addItem(Displayed(std::string(item)));
    Place(cboBaudRate, 1440, 6480, 975, 315);

    auto button = [this](const char* name, const char* caption, int left, void (frmDownload::*click)()) {
        auto* command = new QPushButton(caption, this);
        command->setObjectName(name);
        Place(command, left, 6480, 1695, 375);
        connect(command, &QPushButton::clicked, this, click);
        return command;
    };
    cmdConfig = button("cmdConfig", "&Report Configuration", 2520, &frmDownload::cmdConfig_Click);
    cmdErase = button("cmdErase", "&Erase Configuration(s)", 4320, &frmDownload::cmdErase_Click);
    cmdErase->setEnabled(false);
    cmdDownload = button("cmdDownload", "&Download", 6240, &frmDownload::cmdDownload_Click);

    auto* stsStatus = new QStatusBar(this);
    stsStatus->setObjectName("stsStatus");
    stsStatus->setSizeGripEnabled(false);
    Place(stsStatus, 0, 7035, 8775, 285);
    for (size_t i = 0; i < panels.size(); ++i) {
        panels[i] = new QLabel(stsStatus);
        panels[i]->setObjectName("panel" + QString::number(i + 1));
    }
    panels[0]->setMinimumWidth(Twips(700));
    stsStatus->addWidget(panels[0]);
    stsStatus->addWidget(panels[1], 1);
    panels[2]->setFixedWidth(Twips(1440));
    stsStatus->addPermanentWidget(panels[2]);
    cboBaudRate->setCurrentIndex(0);
}

void frmDownload::FormLoad() {
    chkAccessLevel->setVisible(Debug);
    cboBaudRate->setCurrentIndex(0);
    cmdConfig->setFocus();  // a report is the first thing to do with a radio
    loaded = true;
}

void frmDownload::ShowWindow(bool visible) {
    if (!loaded) FormLoad();
    if (visible) ShowPortTips();
    setVisible(visible);
}

void frmDownload::ShowPortTips() {
    const auto tips = PortTips(SerialPorts());
    for (int i = 0; i < cboPort->count(); ++i)
        cboPort->setItemData(i, QString::fromStdString(tips[static_cast<size_t>(i)]), Qt::ToolTipRole);
    cboPort->setToolTip(cboPort->currentData(Qt::ToolTipRole).toString());
}

void frmDownload::PortText(const std::string& strPort) {
    // A text that is no item of the list is still what the port selector shows.
    int index = cboPort->findText(Displayed(strPort));
    cboPort->setCurrentIndex(index);
    if (index < 0) cboPort->setPlaceholderText(Displayed(strPort));
}

int16_t frmDownload::AccessLevel() const {
    return chkAccessLevel->isChecked() ? 1 : 0;
}

int16_t frmDownload::BaudRateIndex() const {
    return static_cast<int16_t>(cboBaudRate->currentIndex());
}

bool frmDownload::AskYesNo(const std::string& text) {
    // No by default: Enter pressed out of habit must not write an FPGA image.
    return QMessageBox::question(this, kApplicationTitle, Displayed(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void frmDownload::ShowErrorBox(const std::string& text) {
    if (closeWhenIdle) return;  // the technician closed the window: the error is in the log
    QMessageBox::warning(this, kApplicationTitle, Displayed(text));
}

IWaitWindow& frmDownload::WaitWindow() {
    return frmWait::Instance();
}

void frmDownload::ShowPanel(Panel panel, const std::string& text) {
    panels[static_cast<size_t>(panel) - 1]->setText(Displayed(text));
}

void frmDownload::ShowProgress(int value) {
    prgDownloadProgress->setValue(value);
}

void frmDownload::ShowFileName(const std::string& text) {
    txtCurrentDownload->setText(Displayed(text));
}

void frmDownload::SetLabels(bool blnInitialSetUp) {
    const WindowTexts texts = TextsFor(downLoadManager->RadioType() == RADIO_MFX, Debug);
    lblAppTitle->setText(Displayed(texts.title));
    if (blnInitialSetUp) {
        fraConfiguration->setTitle(Displayed(texts.frame));
        lblProduct[0]->setText(Displayed(texts.product));
        lblStatus[0]->setText(Displayed(texts.status));
        if (texts.idHeadings) {
            lblNetworkID[0]->setText(Displayed(texts.networkId));
            lblDeviceID[0]->setText(Displayed(texts.deviceId));
        }
        // A change back to the second model shows its headings again.
        lblNetworkID[0]->setVisible(texts.idHeadings);
        lblDeviceID[0]->setVisible(texts.idHeadings);
        lblCurrentDownload->setText(Displayed(texts.currentDownload));
        lblProgress->setText(Displayed(texts.progress));
        lblHardware->setText(Displayed(texts.hardware));
        panels[0]->setText(Displayed(texts.statusTag));
    }
    rules.Clear();
    txtCurrentDownload->clear();
    lblType[0]->hide();
    for (QWidget* cell : std::initializer_list<QWidget*>{lblHardware, lblHardwareID, lblHardwareStatus,
                                                         chkHardware, lblHDNetworkID, lblHDDeviceID})
        cell->hide();
    chkHardware->setChecked(false);
    for (int i = 1; i <= kTableRows; ++i) {
        SetColour(lblStatus[i], {});
        for (QLabel* cell : {lblProduct[i], lblStatus[i], lblNetworkID[i], lblDeviceID[i]}) {
            cell->setText(TextOf(1000));
            cell->hide();
        }
        chkType[i]->setChecked(false);
        chkType[i]->hide();
        lblType[i]->hide();
    }
}

void frmDownload::ShowConfigurations(const colConfigurations& Configurations) {
    if (!rules.Fill(Configurations, downLoadManager->RadioType() == RADIO_MFX, Debug))
        LastError = 2;  // more configurations than rows
    const ConfigurationTable& table = rules.Table();
    if (table.hardware) {
        const TableRow& row = *table.hardware;
        SetCell(lblHardware, row.type);
        SetCell(lblHardwareID, row.productId);
        SetCell(lblHardwareStatus, row.status);
        SetColour(lblHardwareStatus, row.statusColour);
        SetCell(lblHDNetworkID, row.networkId);
        SetCell(lblHDDeviceID, row.deviceId);
    }
    chkHardware->setVisible(table.hardware && table.hardware->box);
    for (size_t r = 1; r <= table.rows.size(); ++r) {
        const TableRow& row = table.rows[r - 1];
        SetCell(lblType[r], row.type);
        SetCell(lblProduct[r], row.productId);
        SetCell(lblStatus[r], row.status);
        SetColour(lblStatus[r], row.statusColour);
        SetCell(lblNetworkID[r], row.networkId);
        SetCell(lblDeviceID[r], row.deviceId);
        chkType[r]->setVisible(row.box);
    }
}

void frmDownload::RunCommand(const std::function<void()>& step) {
    // A button clicked from the event pump of a running command waits for it to end.
    if (!rules.Begin()) return;
    ShowControls();
    step();
    rules.End();
    ShowControls();
    delete findChild<QMessageBox*>("stopQuestion");  // unanswered: nothing is left to stop
    if (std::exchange(closeWhenIdle, false)) {
        StopRequested = 0;
        close();
    }
}

void frmDownload::cmdConfig_Click() {
    RunCommand([this] { ReportCommand(*downLoadManager); });
}

void frmDownload::cmdErase_Click() {
    RunCommand([this] { EraseCommand(*downLoadManager, rules); });
}

void frmDownload::cmdDownload_Click() {
    RunCommand([this] {
        DownloadCommand(
            *downLoadManager, *this, [this] { return SelectDownloadFile(); },
            [this](const std::string& text) {
                QMessageBox::warning(this, kApplicationTitle, QString::fromUtf8(text));  // names are UTF-8
            });
    });
}

void frmDownload::cmdHelp_Click() {
    OpenWindowHelp(static_cast<int32_t>(winId()));
}

void frmDownload::chkType_Click(int row, bool ticked) {
    rules.Tick(row, ticked);
    ShowControls();
}

void frmDownload::cboPort_Click() {
    downLoadManager->SetPort(cboPort->currentText().toLatin1().toStdString(), true);
}

void frmDownload::ShowControls() {
    const CommandControls controls = rules.Controls();
    cmdConfig->setEnabled(controls.report);
    cmdErase->setEnabled(controls.erase);
    cmdDownload->setEnabled(controls.download);
    cboPort->setEnabled(controls.port);
}

std::string frmDownload::SelectDownloadFile() {
    StatusPanelStatus(Text(2007));
    // The path's bytes as LoadFiles saved them: the file system's encoding, as below.
    QString initialName =
        QFile::decodeName(QByteArray::fromStdString(modRegistry::GetRegistryValue("LastFile", "")));
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // Windows' patterns ignore the letter case and "*.*" matches every name.
    dialog.setNameFilters({"S records (*.s* *.S*)", "All files (*)"});
    if (!initialName.isEmpty()) {
        QFileInfo initial(initialName);
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
    }
    const bool cancelled = dialog.exec() != QDialog::Accepted;
    std::vector<std::string> paths;
    for (const QString& path : dialog.selectedFiles()) paths.push_back(QFile::encodeName(path).toStdString());
    FileChoice choice = ChosenFiles(cancelled, paths);
    if (!choice.status.empty()) StatusPanelStatus(choice.status);
    LastError = choice.error;
    return choice.files;
}

void frmDownload::closeEvent(QCloseEvent* event) {
    if (rules.MayClose()) {
        loaded = false;  // the next showing sets the window up again
        event->accept();
        return;
    }
    event->ignore();
    if (findChild<QMessageBox*>("stopQuestion")) return;
    // The command goes on while the technician decides; Yes stops it through its closing steps, then the
    // window closes.
    auto* question = new QMessageBox(QMessageBox::Question, kApplicationTitle, kStopQuestion,
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setObjectName("stopQuestion");
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this](int answer) {
        if (answer != QMessageBox::Yes || !rules.Busy()) return;
        StopRequested = SIGTERM;
        closeWhenIdle = true;
    });
    question->open();
}

bool frmDownload::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        cmdHelp_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kx6000
