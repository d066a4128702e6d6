#include "ui/win32/StopQuestion.h"

#include <windows.h>

#include <algorithm>
#include <utility>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "ui/WindowRules.h"
#include "ui/win32/Layout.h"
#include "ui/win32/Pictures.h"

namespace kx6000 {
namespace {

constexpr wchar_t kClassName[] = L"KX6000StopQuestion";

LRESULT CALLBACK BoxProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* question = OwnerOf<StopQuestion>(box, message, lParam);
    if (question && question->Shown()) return question->Handle(message, wParam, lParam);
    return DefWindowProcW(box, message, wParam, lParam);
}

}  // namespace

void StopQuestion::Ask(HWND owner, std::function<void()> yes) {
    if (box) return;
    onYes = std::move(yes);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(kClassName, BoxProcedure, ApplicationIcon());

    const int dpi = ScreenDpi();
    auto pixels = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    face = LayoutFace(dpi);
    // The question's lines as the face breaks them at the text's width, so the whole of it shows.
    const std::wstring text = Displayed(kStopQuestion);
    RECT lines{0, 0, pixels(4320), 0};
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, face);
    DrawTextW(screen, text.c_str(), -1, &lines, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);

    const int buttonsTop = std::max(static_cast<int>(lines.bottom), pixels(480)) + pixels(480);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, pixels(5280), buttonsTop + pixels(615)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    RECT over;  // centred over the window
    GetWindowRect(owner, &over);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    box = CreateWindowExW(0, kClassName, Displayed(kApplicationTitle).c_str(), style,
                          (over.left + over.right - width) / 2, (over.top + over.bottom - height) / 2, width,
                          height, owner, nullptr, instance, this);
    auto control = [&](const wchar_t* kind, const wchar_t* caption, DWORD more, int left, int top, int w,
                       int h, int id) {
        HWND made = CreateWindowExW(0, kind, caption, WS_CHILD | WS_VISIBLE | more, left, top, w, h, box,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(face), FALSE);
        return made;
    };
    HWND icon = control(WC_STATICW, L"", SS_ICON, pixels(240), pixels(240), 0, 0, 0);
    // The system's question mark (IDI_QUESTION, whose macro is the ANSI form).
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, MAKEINTRESOURCEW(32514))), 0);
    control(WC_STATICW, text.c_str(), SS_LEFT | SS_NOPREFIX, pixels(840), pixels(240), lines.right,
            lines.bottom, 0);
    control(WC_BUTTONW, L"&Yes", BS_PUSHBUTTON | WS_TABSTOP, pixels(2640), buttonsTop, pixels(1095),
            pixels(375), IDYES);
    HWND no = control(WC_BUTTONW, L"&No", BS_DEFPUSHBUTTON | WS_TABSTOP, pixels(3840), buttonsTop,
                      pixels(1095), pixels(375), IDNO);
    ShowWindow(box, SW_SHOW);
    SetFocus(no);
}

void StopQuestion::Dismiss() {
    if (!box) return;
    DestroyWindow(std::exchange(box, nullptr));
    DeleteObject(std::exchange(face, nullptr));
}

intptr_t StopQuestion::Handle(unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case DM_GETDEFID:  // Enter presses No
            return MAKELRESULT(IDNO, DC_HASDEFID);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDYES) {
                Dismiss();
                onYes();
            } else if (LOWORD(wParam) == IDNO || LOWORD(wParam) == IDCANCEL) {
                Dismiss();
            }
            return 0;
        case WM_CLOSE:
            Dismiss();
            return 0;
        default:
            return DefWindowProcW(box, message, wParam, lParam);
    }
}

}  // namespace kx6000
