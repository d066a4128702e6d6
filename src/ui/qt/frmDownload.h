// The technician's main window: the radio's configurations as a table, the
// file being written and its progress, the port and baud-rate lists, the three
// commands and the status bar. It is also the form the manager and the
// protocol report through.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "ui/UIForm.h"
#include "ui/WindowRules.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kx6000 {

class frmDownload : public QWidget, public UIForm {
    Q_OBJECT
public:
    frmDownload();

    void ShowWindow(bool visible) override;
    void PortText(const std::string& strPort) override;
    void SetLabels(bool blnInitialSetUp) override;
    int16_t AccessLevel() const override;
    int16_t BaudRateIndex() const override;
    bool AskYesNo(const std::string& text) override;
    void ShowErrorBox(const std::string& text) override;
    IWaitWindow& WaitWindow() override;

protected:
    void ShowPanel(Panel panel, const std::string& text) override;
    void ShowProgress(int value) override;
    void ShowFileName(const std::string& text) override;
    void ShowConfigurations(const colConfigurations& Configurations) override;

    void closeEvent(QCloseEvent* event) override;
    // Sees every key of the window before the focused control: F1 opens the help.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateTable();
    void CreateControls();
    void FormLoad();
    // A command's frame: busy, buttons off, the step, buttons back.
    void RunCommand(const std::function<void()>& step);

    void cmdConfig_Click();
    void cmdErase_Click();
    void cmdDownload_Click();
    void cmdHelp_Click();
    void chkType_Click(int row, bool ticked);
    void cboPort_Click();
    // The commands' buttons and the port list as the rules have them.
    void ShowControls();
    // The port list's items' tooltips, from the devices present now.
    void ShowPortTips();
    std::string SelectDownloadFile();
    // Shows what in the chosen files the radio would refuse or lose, and says whether anything was.

    WindowRules rules;
    bool loaded = false;         // set up since it was last closed
    bool closeWhenIdle = false;  // asked to close during a command: it is stopping

    QLabel* lblAppTitle;
    QPushButton* cmdHelp;
    QGroupBox* fraConfiguration;
    // Element 0 of the label arrays is the heading; chkType has no element 0.
    std::array<QCheckBox*, kTableRows + 1> chkType{};
    std::array<QLabel*, kTableRows + 1> lblType{}, lblProduct{}, lblStatus{}, lblNetworkID{}, lblDeviceID{};
    QCheckBox* chkHardware;
    QLabel *lblHardware, *lblHardwareID, *lblHardwareStatus, *lblHDNetworkID, *lblHDDeviceID;
    QLabel *lblCurrentDownload, *lblProgress;
    QLineEdit* txtCurrentDownload;
    QProgressBar* prgDownloadProgress;
    QCheckBox* chkAccessLevel;
    QComboBox *cboPort, *cboBaudRate;
    QPushButton *cmdConfig, *cmdErase, *cmdDownload;
    std::array<QLabel*, 3> panels{};  // the status bar's panels 1 to 3
};

}  // namespace kx6000
