#include "ui/win32/frmWait.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "ui/win32/Layout.h"
#include "ui/win32/Pictures.h"

namespace kx6000 {
namespace {

constexpr wchar_t kClassName[] = L"KX6000Wait";

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE) {
        frmWait::Instance().Cancel();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

frmWait& frmWait::Instance() {
    static frmWait instance;
    return instance;
}

frmWait::frmWait() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(kClassName, WindowProcedure, ApplicationIcon());

    const int dpi = ScreenDpi();
    auto pixels = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    HFONT face = LayoutFace(dpi);  // lives as long as the box

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, pixels(3720), pixels(1200)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
    // In the middle of the screen: a pop-up window given no place lands in its corner.
    RECT screen;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    window = CreateWindowExW(
        WS_EX_TOPMOST, kClassName, L"KX6000 Download", style, (screen.left + screen.right - width) / 2,
        (screen.top + screen.bottom - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
    // Two lines for the message, so a long one shows whole.
    lblMessage =
        CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, pixels(120),
                        pixels(120), pixels(3495), pixels(510), window, nullptr, instance, nullptr);
    HWND cmdCancel = CreateWindowExW(
        0, WC_BUTTONW, L"&Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, pixels(1200),
        pixels(720), pixels(1335), pixels(375), window, reinterpret_cast<HMENU>(IDCANCEL), instance, nullptr);
    for (HWND control : {lblMessage, cmdCancel})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
}

void frmWait::Show() {
    blnCancelled = false;
    ShowWindow(window, SW_SHOW);
    ComeForward(window);
}

void frmWait::Hide() {
    ShowWindow(window, SW_HIDE);
}

void frmWait::SetMessage(const std::string& strMessage) {
    SetWindowTextW(lblMessage, Displayed(strMessage).c_str());
}

void frmWait::Cancel() {
    blnCancelled = true;
    Hide();
}

}  // namespace kx6000
