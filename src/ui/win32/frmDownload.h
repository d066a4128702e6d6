// The technician's main window drawn with Win32 and the common controls: the same layout, texts and
// commands as the Qt window, and the form the manager and the protocol report through.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/UIForm.h"
#include "ui/WindowRules.h"
#include "ui/win32/PortListTips.h"
#include "ui/win32/StopQuestion.h"

struct HWND__;
struct HFONT__;

namespace kx6000 {

class frmDownload : public UIForm {
public:
    frmDownload();
    ~frmDownload() override;

    // Runs the thread's messages until the window is closed; gives back the exit status.
    static int MessageLoop();
    // The window procedure's body.
    intptr_t Handle(unsigned message, uintptr_t wParam, intptr_t lParam);
    // What closing the window does once it is hidden; by default it ends the program's message loop.
    void OnClosed(std::function<void()> closed) { onClosed = std::move(closed); }
    // On the screen.
    bool Visible() const;

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
    // The controls' identifiers, as their commands arrive; row i's box is kType + i.
    enum Command { kConfig = 100, kErase, kDownload, kHelp, kPort, kAccessLevel, kType = 200 };

    // One row of the configuration table: its controls and its status text's colour.
    struct Row {
        HWND check = nullptr, type = nullptr, product = nullptr, status = nullptr, network = nullptr,
             device = nullptr;
        unsigned long colour = 0;
    };

    // F1 anywhere in the window and the access keys; true when the message was taken.
    static bool PreTranslate(void* message);

    HWND Control(const wchar_t* kind, const std::string& text, unsigned long style, int left, int top,
                 int width, int height, int id = 0);
    HWND Label(const std::string& text, int left, int top, int width, int height = 255, bool wrap = false);
    void CreateTable();
    void CreateControls();
    void CreateStatusBar();
    void SetHelpPicture();
    void SetStatusParts();
    // Lays the window out again at a monitor's DPI, the window at the place the system suggests.
    void Rescale(int newDpi, const void* suggested);
    int Pixels(int twips) const;
    void SetText(HWND control, const std::string& text);
    void Show(HWND control, bool visible);
    // A cell of the table: its text, or hidden when it has none.
    void SetCell(HWND cell, const std::string& text);
    void ShowRow(Row& row, const TableRow& shown);
    // The colour of a status cell, for its drawing; the system's text colour for any other.
    unsigned long TextColour(HWND label) const;

    void RunCommand(const std::function<void()>& step);
    void cmdConfig_Click();
    void cmdErase_Click();
    void cmdDownload_Click();
    void cmdHelp_Click();
    void chkType_Click(int row);
    void cboPort_Click();
    void ShowControls();
    std::string SelectDownloadFile();

    HWND window = nullptr;
    int dpi = 96;
    // Each control's place in twips, for laying it out again when the window moves to a monitor of other DPI.
    struct Placed {
        HWND control;
        int left, top, width, height;
    };
    std::vector<Placed> placed;
    HFONT__ *face = nullptr, *bold = nullptr, *heading = nullptr;
    WindowRules rules;
    StopQuestion stopQuestion;
    PortListTips portTips;
    bool closeWhenIdle = false;  // asked to close during a command: it is stopping
    std::function<void()> onClosed;
    bool loaded = false;

    HWND lblAppTitle, cmdHelp, fraConfiguration;
    HWND lblProductHeading, lblStatusHeading, lblNetworkHeading, lblDeviceHeading;
    // chkHardware, lblHardware, lblHardwareID, lblHardwareStatus, lblHDNetworkID, lblHDDeviceID
    Row hardware;
    std::array<Row, kTableRows + 1> rows{};  // element 0 unused: rows count from 1
    HWND lblCurrentDownload, txtCurrentDownload, lblProgress, prgDownloadProgress;
    HWND chkAccessLevel, cboPort, cboBaudRate, cmdConfig, cmdErase, cmdDownload, stsStatus;
};

}  // namespace kx6000
