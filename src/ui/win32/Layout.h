// What the Win32 windows share in drawing: the component's texts as the system's characters, the layout's
// twips as pixels, and the layout's face.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/Text.h"
#include "support/OutsideText.h"

namespace kx6000 {

// The window's texts as the system's characters: bytes from outside read as every front end reads them.
inline std::wstring Displayed(const std::string& text) {
    return Wide(Utf8OfBytes(text));
}

// A window class of the program's: the arrow cursor and the dialogs' colour behind its controls. Registering
// it again, for a window made anew, fails harmlessly.
inline void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon = nullptr) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = procedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    type.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    type.hIcon = icon;
    type.lpszClassName = name;
    RegisterClassExW(&type);
}

// The object a window of the program's belongs to: given as the last argument of CreateWindowExW, kept with
// the window from its first message on; null before.
template <class Owner>
Owner* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Brings a window of the program's to the front, or, when the system keeps it behind (a program that COM
// started may not take the foreground from its caller), flashes its task bar button until it is chosen.
inline void ComeForward(HWND window) {
    SetForegroundWindow(window);
    if (GetForegroundWindow() == window) return;
    FLASHWINFO flash{sizeof flash, window, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
}

// The screen's dots per inch, which the program, DPI-aware, draws at.
inline int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// Twips at 15 to the pixel at 96 dots per inch, more at a higher DPI.
inline int TwipsToPixels(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

// The face the layout's texts were measured in: the system's message font, 10 pixels high at 96 DPI and
// narrowed by an eighth, so each text fits the cell drawn for it. Bold or underlined as asked; the caller
// deletes it.
inline HFONT LayoutFace(int dpi, bool bold = false, bool underline = false) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = -MulDiv(10, dpi, 96);
    font.lfWidth = 0;
    if (bold) font.lfWeight = FW_BOLD;
    font.lfUnderline = underline;
    HFONT natural = CreateFontIndirectW(&font);
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, natural);
    TEXTMETRICW measures{};
    GetTextMetricsW(screen, &measures);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    DeleteObject(natural);
    font.lfWidth = measures.tmAveCharWidth * 7 / 8;
    return CreateFontIndirectW(&font);
}

}  // namespace kx6000
