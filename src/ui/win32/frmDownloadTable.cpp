// The configuration table of the window: its cells, and the radio's configurations drawn into them.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "manager/clsDLManager.h"
#include "radio/clsRadio.h"
#include "support/Program.h"
#include "ui/win32/Layout.h"
#include "ui/win32/RulesHooks.h"
#include "ui/win32/frmDownload.h"

namespace kx6000 {

void frmDownload::CreateTable() {
    // The table's cells lie in the frame, placed from its corner.
    constexpr int x = 240, y = 480;
    auto cell = [&](const std::string& text, int left, int top, int width, int height = 255,
                    bool wrap = false) { return Label(text, x + left, y + top, width, height, wrap); };
    // The headings wrap: the IDs' take two lines.
    lblProductHeading = cell("Product ID", 1920, 480, 2304, 255, true);
    lblStatusHeading = cell("Status", 4320, 480, 696, 255, true);
    lblNetworkHeading = cell("Network ID", 5880, 360, 735, 375, true);
    lblDeviceHeading = cell("Device ID", 6960, 360, 615, 375, true);
    for (HWND head : {lblProductHeading, lblStatusHeading, lblNetworkHeading, lblDeviceHeading})
        SendMessageW(head, WM_SETFONT, reinterpret_cast<WPARAM>(heading), FALSE);

    chkHardware = Control(WC_BUTTONW, "", BS_AUTOCHECKBOX, x + 120, y + 840, 255, 255);
    lblHardware = cell("Hardware", 480, 840, 1812);
    lblHardwareID = cell("", 1920, 840, 2304);
    lblHardwareStatus = cell("Unknown", 4320, 840, 1290);
    lblHDNetworkID = cell("Unknown", 5880, 840, 600);
    lblHDDeviceID = cell("Unknown", 6960, 840, 855);
    for (int i = 1; i <= kRows; ++i) {
        const int top = 1200 + 360 * (i - 1);
        Row& row = rows[i];
        row.check =
            Control(WC_BUTTONW, "", BS_AUTOCHECKBOX | WS_TABSTOP, x + 120, y + top, 255, 255, kType + i);
        row.type = cell("Custom", 480, top, 1452);
        row.product = cell("", 1920, top, 2292);
        row.status = cell("Unknown", 4320, top, 1290);
        row.network = cell("Unknown", 5880, top, 600);
        row.device = cell("Unknown", 6960, top, 855);
    }
    // Last, and below every cell: the frame paints around them.
    fraConfiguration = Control(WC_BUTTONW, "Configuration", BS_GROUPBOX | WS_CLIPSIBLINGS, x, y, 8175, 4335);
    SendMessageW(fraConfiguration, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
    SetWindowPos(fraConfiguration, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void frmDownload::SetLabels(bool blnInitialSetUp) {
    const bool mfx = downLoadManager->RadioType() == RADIO_MFX;
    SetText(lblAppTitle, TitleText(mfx));
    if (blnInitialSetUp) {
        SetText(fraConfiguration, Text(1005));
        SetText(lblProductHeading, Text(1007));
        SetText(lblStatusHeading, Text(1008));
        if (mfx) {
            SetText(lblNetworkHeading, Text(1021));
            SetText(lblDeviceHeading, Text(1022));
        }
        Show(lblNetworkHeading, mfx);
        Show(lblDeviceHeading, mfx);
        SetText(lblCurrentDownload, Text(1009));
        SetText(lblProgress, Text(1010));
        SetText(lblHardware, Text(1003));
        ShowPanel(Panel::Tag, Text(2000));
    }
    SetText(txtCurrentDownload, "");
    for (HWND cell :
         {lblHardware, lblHardwareID, lblHardwareStatus, chkHardware, lblHDNetworkID, lblHDDeviceID})
        Show(cell, false);
    SendMessageW(chkHardware, BM_SETCHECK, BST_UNCHECKED, 0);
    for (int i = 1; i <= kRows; ++i) {
        Row& row = rows[i];
        row.colour = 0;
        row.productId.clear();
        row.ids = false;
        for (HWND cell : {row.product, row.status, row.network, row.device}) {
            SetText(cell, Text(1000));
            Show(cell, false);
        }
        SendMessageW(row.check, BM_SETCHECK, BST_UNCHECKED, 0);
        Show(row.check, false);
        Show(row.type, false);
    }
    InvalidateRect(window, nullptr, TRUE);
}

void frmDownload::SetStatus(HWND label, unsigned long& colour, int32_t status) {
    auto [text, shade] = StatusCell(status);
    colour = shade;
    SetText(label, text);
}

unsigned long frmDownload::TextColour(HWND label) const {
    if (label == lblHardwareStatus) return hardwareColour;
    for (const Row& row : rows)
        if (row.status && label == row.status) return row.colour;
    return GetSysColor(COLOR_WINDOWTEXT);
}

void frmDownload::ShowIDs(const clsConfiguration& configuration, HWND network, HWND device) {
    if (downLoadManager->RadioType() != RADIO_MFX) return;
    SetText(network, std::to_string(configuration.NetWorkID));
    SetText(device, std::to_string(configuration.DeviceID));
    Show(network, true);
    Show(device, true);
}

void frmDownload::ShowRow(Row& row, const clsConfiguration& configuration) {
    auto [type, selectable] = TypeCell(configuration.ProductID);
    SetText(row.type, type);
    Show(row.check, selectable);
    SetText(row.product, configuration.ProductID);
    SetStatus(row.status, row.colour, configuration.Status);
    for (HWND cell : {row.type, row.product, row.status}) Show(cell, true);
    ShowIDs(configuration, row.network, row.device);
    row.productId = configuration.ProductID;
    row.ids = downLoadManager->RadioType() == RADIO_MFX;
    row.networkId = configuration.NetWorkID;
    row.deviceId = configuration.DeviceID;
}

// rules: which row each configuration takes (the first hardware one its own row, up to nine more, 2 beyond).
void frmDownload::ShowConfigurations(const colConfigurations& Configurations) {
    int next = 1;
    bool hardwareShown = false;
    for (const auto& configuration : Configurations) {
        const std::string& id = configuration->ProductID;
        const bool hardware = IsHardware(id);
        if (hardware && !hardwareShown) {
            hardwareShown = true;
            SetText(lblHardwareID, id);
            for (HWND cell : {lblHardware, lblHardwareID}) Show(cell, true);
            // A sound hardware configuration shows no status at all.
            Show(lblHardwareStatus, configuration->Status != 0);
            if (configuration->Status != 0)
                SetStatus(lblHardwareStatus, hardwareColour, configuration->Status);
            ShowIDs(*configuration, lblHDNetworkID, lblHDDeviceID);
            continue;
        }
        if (next > kRows) {
            LastError = 2;  // more configurations than rows
            return;
        }
        ShowRow(rows[next++], *configuration);
    }
}

}  // namespace kx6000
