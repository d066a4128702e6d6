// The port list's tooltips in the Win32 window. A combo box's items have no tooltips of their own, so one
// tooltip control serves both states of the list: closed, over the box and its text field, the chosen
// item's tip; dropped, one tool for each item's place in the list, so the tip follows the mouse.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ui/WindowRules.h"

struct HWND__;

namespace kx6000 {

class PortListTips {
public:
    // The tooltip control for the combo box `list` of `window`.
    void Create(HWND__* window, HWND__* list);
    // Takes the tips afresh from the devices present.
    void Refresh();
    // The list shows `item` now: the closed list's tip is that item's, none for a text that is no item.
    void Chosen(const std::string& item);

private:
    void SetText(HWND__* owner, uintptr_t id, const std::wstring& text);

    HWND__ *tooltip = nullptr, *list = nullptr, *field = nullptr, *dropped = nullptr;
    std::array<std::wstring, kPortItems.size()> tips;
    int chosen = -1;
};

}  // namespace kx6000
