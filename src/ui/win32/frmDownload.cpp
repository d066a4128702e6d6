#include "ui/win32/frmDownload.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <commdlg.h>
#undef SetPort  // the printer spooler's, which windows.h brings: here it is the manager's

#include <csignal>
#include <utility>

#include "manager/clsDLManager.h"
#include "platform/win32/Text.h"
#include "radio/clsRadio.h"
#include "resources/ResourceTexts.h"
#include "support/Program.h"
#include "support/modRegistry.h"
#include "ui/WindowCommands.h"
#include "ui/win32/Layout.h"
#include "ui/win32/Pictures.h"
#include "ui/win32/SessionHold.h"
#include "ui/win32/frmWait.h"

namespace kx6000 {
namespace {

constexpr wchar_t kClassName[] = L"KX6000Download";
// The dialog's room for the chosen names, as wide characters; a longer choice fails with 32.
constexpr DWORD kFileNameRoom = 2048;

frmDownload* shown = nullptr;  // the program's one window

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = OwnerOf<frmDownload>(window, message, lParam);
    if (form && message != WM_NCCREATE) return form->Handle(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

frmDownload::frmDownload() {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(kClassName, WindowProcedure, ApplicationIcon());

    dpi = ScreenDpi();
    face = LayoutFace(dpi);
    bold = LayoutFace(dpi, true);
    heading = LayoutFace(dpi, true, true);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, Pixels(8772), Pixels(7320)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window = CreateWindowExW(0, kClassName, Displayed(kApplicationTitle).c_str(), style, CW_USEDEFAULT,
                             CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                             nullptr, instance, this);
    shown = this;
    CreateTable();
    CreateControls();
    CreateStatusBar();
    // Each pass of the port layer's waits lets the window repaint and take clicks.
    EventPump = [] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that ends the program
                return;
            }
            if (PreTranslate(&message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    };
}

frmDownload::~frmDownload() {
    EventPump = nullptr;
    shown = nullptr;
    DestroyWindow(window);
    for (HFONT font : {face, bold, heading}) DeleteObject(font);
}

int frmDownload::MessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

bool frmDownload::PreTranslate(void* pointer) {
    auto* message = static_cast<MSG*>(pointer);
    HWND root = GetAncestor(message->hwnd, GA_ROOT);
    if (!shown || !root) return false;
    // F1 with any modifier key, whichever control of the window has the focus.
    if (root == shown->window && (message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN) &&
        message->wParam == VK_F1) {
        shown->cmdHelp_Click();
        return true;
    }
    // Tab, Enter, Escape and the access keys, in the window and in the boxes beside it.
    return IsDialogMessageW(root, message);
}

int frmDownload::Pixels(int twips) const {
    return TwipsToPixels(twips, dpi);
}

HWND frmDownload::Control(const wchar_t* kind, const std::string& text, unsigned long style, int left,
                          int top, int width, int height, int id) {
    HWND control = CreateWindowExW(0, kind, Displayed(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                   Pixels(left), Pixels(top), Pixels(width), Pixels(height), window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
    placed.push_back({control, left, top, width, height});
    return control;
}

HWND frmDownload::Label(const std::string& text, int left, int top, int width, int height, bool wrap) {
    return Control(WC_STATICW, text, (wrap ? SS_LEFT : SS_LEFTNOWORDWRAP) | SS_NOPREFIX, left, top, width,
                   height);
}

void frmDownload::CreateControls() {
    lblAppTitle = Control(WC_STATICW, "", SS_CENTER | SS_NOPREFIX, 240, 120, 6375, 255);
    cmdHelp = Control(WC_BUTTONW, "", BS_PUSHBUTTON | BS_BITMAP, 8400, 0, 375, 375, kHelp);
    SetHelpPicture();

    lblCurrentDownload = Label("Current Download :", 360, 4920, 5415);
    txtCurrentDownload =
        Control(WC_EDITW, "", WS_BORDER | ES_READONLY | ES_AUTOHSCROLL, 360, 5160, 7455, 285);
    lblProgress = Label("Progress :", 360, 5520, 5415);
    prgDownloadProgress = Control(PROGRESS_CLASSW, "", 0, 360, 5760, 7455, 255);
    SendMessageW(prgDownloadProgress, PBM_SETRANGE32, 0, 100);

    Label("Port", 360, 6120, 495);
    Label("Baud Rate", 1440, 6120, 855);
    chkAccessLevel = Control(WC_BUTTONW, "Allow Unprotected Upgrade", BS_AUTOCHECKBOX | WS_TABSTOP, 5520,
                             6120, 2295, 255, kAccessLevel);
    // A combo box's height includes its open list.
    cboPort = Control(WC_COMBOBOXW, "", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 360, 6480, 975, 1800, kPort);
    for (const char* item : kPortItems)
        SendMessageW(cboPort, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Displayed(item).c_str()));
    cboBaudRate =
        Control(WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 1440, 6480, 975, 1800);
    for (std::string_view item : kBaudRateItems)
        SendMessageW(cboBaudRate, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Displayed(std::string(item)).c_str()));
    SendMessageW(cboBaudRate, CB_SETCURSEL, 0, 0);
    portTips.Create(window, cboPort);

    auto button = [this](const char* caption, int left, int id) {
        return Control(WC_BUTTONW, caption, BS_PUSHBUTTON | WS_TABSTOP, left, 6480, 1695, 375, id);
    };
    cmdConfig = button("&Report Configuration", 2520, kConfig);
    cmdErase = button("&Erase Configuration(s)", 4320, kErase);
    cmdDownload = button("&Download", 6240, kDownload);
    ShowControls();
}

void frmDownload::CreateStatusBar() {
    stsStatus = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0,
                                window, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(stsStatus, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
    SetStatusParts();
}

void frmDownload::SetHelpPicture() {
    HFONT mark = LayoutFace(dpi * 14 / 10, true);  // 14 pixels at 96 DPI
    auto previous = reinterpret_cast<HGDIOBJ>(SendMessageW(
        cmdHelp, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(QuestionMark(Pixels(195), mark))));
    if (previous) DeleteObject(previous);
    DeleteObject(mark);
}

void frmDownload::SetStatusParts() {
    // Panel 1 as wide as its tag, panel 3 as wide as a baud text, panel 2 the rest; each part's right edge.
    const int width = Pixels(8772);
    int edges[3] = {Pixels(700), width - Pixels(1440), -1};
    SendMessageW(stsStatus, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
}

void frmDownload::Rescale(int newDpi, const void* suggested) {
    const HFONT old[] = {face, bold, heading};
    dpi = newDpi;
    face = LayoutFace(dpi);
    bold = LayoutFace(dpi, true);
    heading = LayoutFace(dpi, true, true);
    const HFONT made[] = {face, bold, heading};
    // Each control keeps its kind of face, at the new size.
    auto refont = [&](HWND control) {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        for (int i = 0; i < 3; ++i)
            if (font == old[i]) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(made[i]), FALSE);
    };
    for (const Placed& control : placed) {
        SetWindowPos(control.control, nullptr, Pixels(control.left), Pixels(control.top),
                     Pixels(control.width), Pixels(control.height), SWP_NOZORDER | SWP_NOACTIVATE);
        refont(control.control);
    }
    refont(stsStatus);
    for (HFONT font : old) DeleteObject(font);
    SetHelpPicture();
    const auto* place = static_cast<const RECT*>(suggested);
    SetWindowPos(window, nullptr, place->left, place->top, place->right - place->left,
                 place->bottom - place->top, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(stsStatus, WM_SIZE, 0, 0);  // the bar follows the window's new width
    SetStatusParts();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void frmDownload::SetText(HWND control, const std::string& text) {
    SetWindowTextW(control, Displayed(text).c_str());
    // A transparent cell draws on what lies under it: that is drawn afresh first.
    RECT area;
    GetWindowRect(control, &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(window, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void frmDownload::Show(HWND control, bool visible) {
    ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

void frmDownload::ShowWindow(bool visible) {
    if (!loaded) {
        Show(chkAccessLevel, Debug);
        SendMessageW(cboBaudRate, CB_SETCURSEL, 0, 0);
        loaded = true;
    }
    if (visible) portTips.Refresh();
    ::ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
    if (visible) {
        ComeForward(window);
        SetFocus(cmdConfig);  // a report is the first thing to do with a radio
    }
}

bool frmDownload::Visible() const {
    return IsWindowVisible(window);
}

void frmDownload::PortText(const std::string& strPort) {
    // A text that is no item of the list is still what the port selector shows.
    SetText(cboPort, strPort);
    portTips.Chosen(strPort);
}

int16_t frmDownload::AccessLevel() const {
    return SendMessageW(chkAccessLevel, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

int16_t frmDownload::BaudRateIndex() const {
    return static_cast<int16_t>(SendMessageW(cboBaudRate, CB_GETCURSEL, 0, 0));
}

bool frmDownload::AskYesNo(const std::string& text) {
    ComeForward(window);  // the box opens over it
    // No by default: Enter pressed out of habit must not write an FPGA image.
    return MessageBoxW(window, Displayed(text).c_str(), Displayed(kApplicationTitle).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void frmDownload::ShowErrorBox(const std::string& text) {
    if (closeWhenIdle) return;  // the technician closed the window: the error is in the log
    ComeForward(window);
    MessageBoxW(window, Displayed(text).c_str(), Displayed(kApplicationTitle).c_str(),
                MB_OK | MB_ICONEXCLAMATION);
}

IWaitWindow& frmDownload::WaitWindow() {
    return frmWait::Instance();
}

void frmDownload::ShowPanel(Panel panel, const std::string& text) {
    SendMessageW(stsStatus, SB_SETTEXTW, static_cast<WPARAM>(panel) - 1,
                 reinterpret_cast<LPARAM>(Displayed(text).c_str()));
}

void frmDownload::ShowProgress(int value) {
    SendMessageW(prgDownloadProgress, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void frmDownload::ShowFileName(const std::string& text) {
    SetText(txtCurrentDownload, text);
}

void frmDownload::RunCommand(const std::function<void()>& step) {
    // A button clicked from the event pump of a running command waits for it to end.
    if (!rules.Begin()) return;
    SessionHold::Instance().Begin(window);
    ShowControls();
    step();
    SessionHold::Instance().End(window);
    rules.End();
    ShowControls();
    stopQuestion.Dismiss();  // unanswered: nothing is left to stop
    if (std::exchange(closeWhenIdle, false)) {
        StopRequested = 0;
        SendMessageW(window, WM_CLOSE, 0, 0);
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
                MessageBoxW(window, Wide(text).c_str(), Displayed(kApplicationTitle).c_str(),
                            MB_OK | MB_ICONEXCLAMATION);  // file names are UTF-8
            });
    });
}

void frmDownload::cmdHelp_Click() {
    OpenWindowHelp(static_cast<int32_t>(reinterpret_cast<intptr_t>(window)));
}

void frmDownload::chkType_Click(int row) {
    rules.Tick(row, SendMessageW(rows[row].check, BM_GETCHECK, 0, 0) == BST_CHECKED);
    ShowControls();
}

void frmDownload::cboPort_Click() {
    const auto index = SendMessageW(cboPort, CB_GETCURSEL, 0, 0);
    if (index >= 0) downLoadManager->SetPort(std::to_string(index + 1), true);
}

void frmDownload::ShowControls() {
    const CommandControls controls = rules.Controls();
    EnableWindow(cmdConfig, controls.report);
    EnableWindow(cmdErase, controls.erase);
    EnableWindow(cmdDownload, controls.download);
    EnableWindow(cboPort, controls.port);
}

std::string frmDownload::SelectDownloadFile() {
    StatusPanelStatus(Text(2007));
    std::wstring names(kFileNameRoom, L'\0');
    const std::wstring initial = Wide(modRegistry::GetRegistryValue("LastFile", ""));
    initial.copy(names.data(), kFileNameRoom - 1);
    // Windows' patterns ignore the letter case.
    constexpr wchar_t filter[] = L"S records (*.s*)\0*.s*\0All files (*.*)\0*.*\0";
    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = window;
    choice.lpstrFilter = filter;
    choice.lpstrFile = names.data();
    choice.nMaxFile = kFileNameRoom;
    choice.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    // A choice too long for the text is no choice: 32, as nothing chosen.
    const bool chosen = GetOpenFileNameW(&choice);
    const bool cancelled = !chosen && CommDlgExtendedError() == 0;
    // One file: its path. Several: the folder, then each name, NUL between them and two at the end.
    std::vector<std::string> paths;
    for (const wchar_t* part = names.c_str(); chosen && *part; part += wcslen(part) + 1)
        paths.push_back(Utf8(part));
    if (paths.size() > 1) {
        // The dialog names the folder once: each path is made whole again, a drive's root keeping its one
        // "\\".
        std::string folder = paths.front();
        if (folder.back() != '\\') folder += '\\';
        paths.erase(paths.begin());
        for (std::string& name : paths) name.insert(0, folder);
    }
    FileChoice result = ChosenFiles(cancelled, paths);
    if (!result.status.empty()) StatusPanelStatus(result.status);
    LastError = result.error;
    return result.files;
}

intptr_t frmDownload::Handle(unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kConfig:
                    cmdConfig_Click();
                    return 0;
                case kErase:
                    cmdErase_Click();
                    return 0;
                case kDownload:
                    cmdDownload_Click();
                    return 0;
                case kHelp:
                    cmdHelp_Click();
                    return 0;
                case kPort:
                    if (HIWORD(wParam) == CBN_SELCHANGE) cboPort_Click();
                    if (HIWORD(wParam) == CBN_DROPDOWN) portTips.Refresh();
                    return 0;
                default:
                    if (LOWORD(wParam) > kType && LOWORD(wParam) <= kType + kTableRows)
                        chkType_Click(LOWORD(wParam) - kType);
                    return 0;
            }
        case WM_CTLCOLORSTATIC: {
            HDC context = reinterpret_cast<HDC>(wParam);
            const auto control = reinterpret_cast<HWND>(lParam);
            SetTextColor(context, TextColour(control));
            SetBkColor(context, GetSysColor(COLOR_BTNFACE));
            if (control == txtCurrentDownload)
                return reinterpret_cast<intptr_t>(GetSysColorBrush(COLOR_BTNFACE));
            // The cells are transparent, as a wide cell may reach into the next one's.
            SetBkMode(context, TRANSPARENT);
            return reinterpret_cast<intptr_t>(GetStockObject(NULL_BRUSH));
        }
        case WM_DPICHANGED:
            Rescale(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_QUERYENDSESSION:
            // Log-off and shut-down wait while a command runs: a radio left mid-write stays in upgrade mode.
            return rules.Busy() ? FALSE : TRUE;
        case WM_CLOSE:
            if (!rules.MayClose()) {
                stopQuestion.Ask(window, [this] {
                    if (!rules.Busy()) return;
                    StopRequested = SIGTERM;
                    closeWhenIdle = true;
                });
                return 0;
            }
            loaded = false;  // the next showing sets the window up again
            ::ShowWindow(window, SW_HIDE);
            if (onClosed) {
                onClosed();
            } else {
                PostQuitMessage(0);
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace kx6000
