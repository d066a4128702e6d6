#include "ui/win32/PortListTips.h"

#include "platform/SerialPorts.h"
#include "platform/win32/Text.h"

#include <windows.h>  // after the component's headers, whose names it would rename
// After windows.h, whose types it uses.
#include <commctrl.h>

namespace kx6000 {
namespace {

// A tool: a window of its own (`owner` the window it is in, `id` its handle), or a place in `owner`.
TTTOOLINFOW Tool(HWND owner, uintptr_t id) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = owner;
    tool.uId = id;
    tool.hinst = GetModuleHandleW(nullptr);
    return tool;
}

}  // namespace

void PortListTips::Create(HWND window, HWND combo) {
    list = combo;
    tooltip = CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof parts;
    SendMessageW(list, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&parts));
    field = parts.hwndItem;
    dropped = parts.hwndList;
    // The tools take the mouse's messages from their windows themselves (TTF_SUBCLASS).
    for (HWND closed : {list, field}) {
        TTTOOLINFOW tool = Tool(window, reinterpret_cast<uintptr_t>(closed));
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    for (size_t item = 0; item < tips.size(); ++item) {
        TTTOOLINFOW tool = Tool(dropped, item);
        tool.uFlags = TTF_SUBCLASS;  // its place set by Refresh
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void PortListTips::Refresh() {
    const auto texts = PortTips(SerialPorts());
    for (size_t item = 0; item < tips.size(); ++item) {
        tips[item] = Wide(texts[item]);
        SetText(dropped, item, tips[item]);
        // The item's place in the dropped list.
        TTTOOLINFOW tool = Tool(dropped, item);
        SendMessageW(dropped, LB_GETITEMRECT, item, reinterpret_cast<LPARAM>(&tool.rect));
        SendMessageW(tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    Chosen(chosen >= 0 ? kPortItems[static_cast<size_t>(chosen)] : "");
}

void PortListTips::Chosen(const std::string& item) {
    chosen = -1;
    for (size_t i = 0; i < kPortItems.size(); ++i)
        if (item == kPortItems[i]) chosen = static_cast<int>(i);
    const std::wstring text = chosen >= 0 ? tips[static_cast<size_t>(chosen)] : L"";
    for (HWND closed : {list, field}) SetText(GetParent(list), reinterpret_cast<uintptr_t>(closed), text);
}

void PortListTips::SetText(HWND owner, uintptr_t id, const std::wstring& text) {
    TTTOOLINFOW tool = Tool(owner, id);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace kx6000
