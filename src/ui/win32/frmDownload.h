// The technician's main window drawn with Win32 and the common controls: the same layout, texts and
// commands as the Qt window, and the form the manager and the protocol report through.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "ui/UIForm.h"

struct HWND__;
struct HFONT__;

namespace kx6000 {

struct clsConfiguration;

class frmDownload : public UIForm {
public:
    frmDownload();
    ~frmDownload() override;

    // Runs the thread's messages until the window is closed; gives back the exit status.
    static int MessageLoop();
    // The window procedure's body.
    intptr_t Handle(unsigned message, uintptr_t wParam, intptr_t lParam);

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

private:
    using HWND = HWND__*;
    static constexpr int kRows = 9;
    // The controls' identifiers, as their commands arrive; row i's box is kType + i.
    enum Command { kConfig = 100, kErase, kDownload, kHelp, kPort, kAccessLevel, kType = 200 };

    // One row of the configuration table: its controls, and what an erase of it names.
    struct Row {
        HWND check = nullptr, type = nullptr, product = nullptr, status = nullptr, network = nullptr,
             device = nullptr;
        std::string productId;
        bool ids = false;  // the network and device IDs are shown
        int networkId = 0, deviceId = 0;
        unsigned long colour = 0;  // the status text's
    };

    // F1 anywhere in the window and the access keys; true when the message was taken.
    static bool PreTranslate(void* message);

    HWND Control(const wchar_t* kind, const std::string& text, unsigned long style, int left, int top,
                 int width, int height, int id = 0);
    HWND Label(const std::string& text, int left, int top, int width, int height = 255, bool wrap = false);
    void CreateTable();
    void CreateControls();
    void CreateStatusBar();
    int Pixels(int twips) const;
    void SetText(HWND control, const std::string& latin1);
    void Show(HWND control, bool visible);
    void SetStatus(HWND label, unsigned long& colour, int32_t status);
    // The colour of a status cell, for its drawing; the system's text colour for any other.
    unsigned long TextColour(HWND label) const;
    void ShowIDs(const clsConfiguration& configuration, HWND network, HWND device);
    void ShowRow(Row& row, const clsConfiguration& configuration);

    void RunCommand(const std::function<void()>& step);
    void cmdConfig_Click();
    void cmdErase_Click();
    void cmdDownload_Click();
    void cmdHelp_Click();
    void chkType_Click();
    void cboPort_Click();
    void SetButtons(bool blnEnabled);
    std::string SelectDownloadFile();

    HWND window = nullptr;
    int dpi = 96;
    HFONT__ *face = nullptr, *bold = nullptr, *heading = nullptr;
    bool blnBusy = false;
    bool loaded = false;
    unsigned long hardwareColour = 0;

    HWND lblAppTitle, cmdHelp, fraConfiguration;
    HWND lblProductHeading, lblStatusHeading, lblNetworkHeading, lblDeviceHeading;
    HWND chkHardware, lblHardware, lblHardwareID, lblHardwareStatus, lblHDNetworkID, lblHDDeviceID;
    std::array<Row, kRows + 1> rows{};  // element 0 unused: rows count from 1
    HWND lblCurrentDownload, txtCurrentDownload, lblProgress, prgDownloadProgress;
    HWND chkAccessLevel, cboPort, cboBaudRate, cmdConfig, cmdErase, cmdDownload, stsStatus;
};

}  // namespace kx6000
