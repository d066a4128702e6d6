#include "ui/win32/Pictures.h"

#include <array>
#include <utility>

namespace kx6000 {
namespace {

// A bitmap of the screen's kind and a drawing context on it; the caller ends the drawing with Finish.
std::pair<HDC, HBITMAP> Canvas(int size) {
    HDC screen = GetDC(nullptr);
    HDC context = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    SelectObject(context, picture);
    return {context, picture};
}

void Fill(HDC context, RECT area, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(context, &area, brush);
    DeleteObject(brush);
}

}  // namespace

HBITMAP QuestionMark(int size, HFONT font) {
    auto [context, picture] = Canvas(size);
    const RECT all{0, 0, size, size};
    FillRect(context, &all, GetSysColorBrush(COLOR_BTNFACE));
    SelectObject(context, font);
    SetBkMode(context, TRANSPARENT);
    constexpr UINT centred = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    // The outline: the mark in dark gold a pixel off each way, then the yellow one on top.
    SetTextColor(context, RGB(96, 72, 0));
    for (auto [dx, dy] : std::array<std::pair<int, int>, 4>{{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}}) {
        RECT area = all;
        OffsetRect(&area, dx, dy);
        DrawTextW(context, L"?", 1, &area, centred);
    }
    SetTextColor(context, RGB(255, 215, 0));
    RECT area = all;
    DrawTextW(context, L"?", 1, &area, centred);
    DeleteDC(context);
    return picture;
}

namespace {

HICON PaintIcon() {
    constexpr int size = 32;
    auto [context, colours] = Canvas(size);
    Fill(context, {0, 0, size, size}, RGB(0, 0, 0));
    Fill(context, {8, 2, 10, 9}, RGB(40, 40, 40));   // the antenna
    Fill(context, {5, 9, 27, 30}, RGB(60, 70, 90));  // the radio
    HBRUSH yellow = CreateSolidBrush(RGB(255, 215, 0));
    SelectObject(context, yellow);
    SelectObject(context, GetStockObject(NULL_PEN));
    const POINT arrow[] = {{11, 14}, {21, 14}, {16, 25}};
    Polygon(context, arrow, 3);
    DeleteDC(context);
    DeleteObject(yellow);
    // The mask: the radio and its antenna opaque, the rest transparent.
    auto [maskContext, mask] = Canvas(size);
    Fill(maskContext, {0, 0, size, size}, RGB(255, 255, 255));
    Fill(maskContext, {8, 2, 10, 9}, RGB(0, 0, 0));
    Fill(maskContext, {5, 9, 27, 30}, RGB(0, 0, 0));
    DeleteDC(maskContext);
    ICONINFO parts{TRUE, 0, 0, mask, colours};
    HICON icon = CreateIconIndirect(&parts);
    DeleteObject(mask);
    DeleteObject(colours);
    return icon;
}

}  // namespace

HICON ApplicationIcon() {
    static HICON icon = PaintIcon();  // one for every window of the program
    return icon;
}

}  // namespace kx6000
