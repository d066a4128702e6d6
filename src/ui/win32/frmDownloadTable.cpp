// The configuration table of the window: its cells, and the table the window's rules give drawn into them.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "manager/clsDLManager.h"
#include "radio/clsRadio.h"
#include "support/Program.h"
#include "ui/win32/Layout.h"
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

    hardware.check = Control(WC_BUTTONW, "", BS_AUTOCHECKBOX, x + 120, y + 840, 255, 255);
    hardware.type = cell("Hardware", 480, 840, 1812);
    hardware.product = cell("", 1920, 840, 2304);
    hardware.status = cell("Unknown", 4320, 840, 1290);
    hardware.network = cell("Unknown", 5880, 840, 600);
    hardware.device = cell("Unknown", 6960, 840, 855);
    for (int i = 1; i <= kTableRows; ++i) {
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
    const WindowTexts texts = TextsFor(downLoadManager->RadioType() == RADIO_MFX, Debug);
    SetText(lblAppTitle, texts.title);
    if (blnInitialSetUp) {
        SetText(fraConfiguration, texts.frame);
        SetText(lblProductHeading, texts.product);
        SetText(lblStatusHeading, texts.status);
        if (texts.idHeadings) {
            SetText(lblNetworkHeading, texts.networkId);
            SetText(lblDeviceHeading, texts.deviceId);
        }
        // A change back to the second model shows its headings again.
        Show(lblNetworkHeading, texts.idHeadings);
        Show(lblDeviceHeading, texts.idHeadings);
        SetText(lblCurrentDownload, texts.currentDownload);
        SetText(lblProgress, texts.progress);
        SetText(hardware.type, texts.hardware);
        ShowPanel(Panel::Tag, texts.statusTag);
    }
    rules.Clear();
    SetText(txtCurrentDownload, "");
    for (HWND cell : {hardware.type, hardware.product, hardware.status, hardware.check, hardware.network,
                      hardware.device})
        Show(cell, false);
    SendMessageW(hardware.check, BM_SETCHECK, BST_UNCHECKED, 0);
    for (int i = 1; i <= kTableRows; ++i) {
        Row& row = rows[i];
        row.colour = 0;
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

void frmDownload::SetCell(HWND cell, const std::string& text) {
    if (!text.empty()) SetText(cell, text);
    Show(cell, !text.empty());
}

unsigned long frmDownload::TextColour(HWND label) const {
    if (label == hardware.status) return hardware.colour;
    for (const Row& row : rows)
        if (row.status && label == row.status) return row.colour;
    return GetSysColor(COLOR_WINDOWTEXT);
}

void frmDownload::ShowRow(Row& row, const TableRow& shown) {
    row.colour = RGB(shown.statusColour.red, shown.statusColour.green, shown.statusColour.blue);
    SetCell(row.type, shown.type);
    SetCell(row.product, shown.productId);
    SetCell(row.status, shown.status);
    SetCell(row.network, shown.networkId);
    SetCell(row.device, shown.deviceId);
    Show(row.check, shown.box);
}

void frmDownload::ShowConfigurations(const colConfigurations& Configurations) {
    if (!rules.Fill(Configurations, downLoadManager->RadioType() == RADIO_MFX, Debug))
        LastError = 2;  // more configurations than rows
    const ConfigurationTable& table = rules.Table();
    if (table.hardware) ShowRow(hardware, *table.hardware);
    for (size_t r = 1; r <= table.rows.size(); ++r) ShowRow(rows[r], table.rows[r - 1]);
}

}  // namespace kx6000
