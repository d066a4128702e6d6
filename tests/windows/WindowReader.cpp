// Reads the KX6000 window's state for the window tests, as the controls themselves report it: each line
// read from stdin ("read", optionally followed by control classes) is answered by one JSON line of every
// visible top-level window of the window's process (the main window, the wait window, message boxes, the
// file dialog) with its controls (those of the classes named, else all): class, id, place in the window's
// client area, text, visible, enabled, check state, progress position and status bar panels. Naming
// classes keeps a read short while a command runs, since each control answers between the port's waits.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string text(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

std::string Quoted(const std::wstring& wide) {
    std::string text = "\"";
    for (unsigned char c : Utf8(wide)) {
        if (c == '"' || c == '\\') {
            text += {'\\', static_cast<char>(c)};
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text + "\"";
}

// A message to a window of another process, given up after 2 s rather than hanging the test.
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = L"";
    Ask(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

// The status bar writes its panels' texts into memory of its own process.
std::string Panels(HWND bar) {
    DWORD id = 0;
    GetWindowThreadProcessId(bar, &id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    constexpr size_t kRoom = 1024;
    void* remote = VirtualAllocEx(process, nullptr, kRoom * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE);
    std::string panels = "[";
    const int count = static_cast<int>(Ask(bar, SB_GETPARTS, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[kRoom] = L"";
        if (LOWORD(Ask(bar, SB_GETTEXTLENGTHW, i)) < kRoom) {
            Ask(bar, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(process, remote, text, sizeof text - sizeof(wchar_t), nullptr);
        }
        panels += (i ? "," : "") + Quoted(text);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return panels + "]";
}

struct Listing {
    HWND top;
    const std::vector<std::wstring>& classes;
    std::string json;
};

BOOL CALLBACK AddControl(HWND control, LPARAM data) {
    auto* listing = reinterpret_cast<Listing*>(data);
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, listing->top, reinterpret_cast<POINT*>(&place), 2);
    const std::wstring kind = ClassOf(control);
    if (!listing->classes.empty() &&
        std::find(listing->classes.begin(), listing->classes.end(), kind) == listing->classes.end())
        return TRUE;
    std::string json = "{\"class\":" + Quoted(kind) + ",\"id\":" + std::to_string(GetDlgCtrlID(control)) +
                       ",\"x\":" + std::to_string(place.left) + ",\"y\":" + std::to_string(place.top) +
                       ",\"width\":" + std::to_string(place.right - place.left) +
                       ",\"height\":" + std::to_string(place.bottom - place.top) +
                       ",\"text\":" + Quoted(TextOf(control)) +
                       ",\"visible\":" + (IsWindowVisible(control) ? "true" : "false") +
                       ",\"enabled\":" + (IsWindowEnabled(control) ? "true" : "false");
    if (kind == WC_BUTTONW) json += ",\"checked\":" + std::to_string(Ask(control, BM_GETCHECK));
    if (kind == PROGRESS_CLASSW) json += ",\"position\":" + std::to_string(Ask(control, PBM_GETPOS));
    if (kind == STATUSCLASSNAMEW) json += ",\"panels\":" + Panels(control);
    listing->json += (listing->json.empty() ? "" : ",") + json + "}";
    return TRUE;
}

struct Windows {
    DWORD process;
    std::vector<std::wstring> classes;
    std::string json;
};

BOOL CALLBACK AddWindow(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<Windows*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != found->process || !IsWindowVisible(window)) return TRUE;
    POINT client{0, 0};
    ClientToScreen(window, &client);
    Listing controls{window, found->classes, ""};
    EnumChildWindows(window, AddControl, reinterpret_cast<LPARAM>(&controls));
    found->json += std::string(found->json.empty() ? "" : ",") + "{\"class\":" + Quoted(ClassOf(window)) +
                   ",\"title\":" + Quoted(TextOf(window)) + ",\"x\":" + std::to_string(client.x) +
                   ",\"y\":" + std::to_string(client.y) + ",\"controls\":[" + controls.json + "]}";
    return TRUE;
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        Windows found{0, {}, ""};
        std::istringstream words(line);
        std::string word;
        words >> word;  // "read"
        while (words >> word) found.classes.emplace_back(word.begin(), word.end());
        if (HWND main = FindWindowW(L"KX6000Download", nullptr)) {
            GetWindowThreadProcessId(main, &found.process);
            EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&found));
        }
        std::cout << "[" << found.json << "]" << std::endl;
    }
}
