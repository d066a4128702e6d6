// Reads the KX6000 window's state for the window tests, as the controls themselves report it: each line
// read from stdin ("read", optionally followed by control classes) is answered by one JSON line of every
// visible top-level window of the window's process (the main window, the wait window, message boxes, the
// file dialog) with its controls (those of the classes named, else all): class, place in the window's client
// area, text, visible, enabled, check state, progress position, status bar panels and a list's item height.
// A tooltip shown is a top-level window too, its text the tip's. Naming classes keeps a
// read short while a command runs, since each control answers between the port's waits.
// "end-session" ends the Windows session for the process as the system does when the user insists: each of
// its top-level windows, shown or not, is asked WM_QUERYENDSESSION, then told WM_ENDSESSION; the answer is
// each window's class with its answer to the question and the milliseconds it took to return from the end.
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

std::string Quoted(const std::wstring& wide) {
    std::string text(wide.size() * 3, '\0');
    text.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                                    static_cast<int>(text.size()), nullptr, nullptr));
    std::string quoted = "\"";
    for (unsigned char c : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped,
                      c < 0x20                ? "\\u%04x"
                      : c == '"' || c == '\\' ? "\\%c"
                                              : "%c",
                      c);
        quoted += escaped;
    }
    return quoted + "\"";
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
    wchar_t text[1024];
    void* remote = VirtualAllocEx(process, nullptr, sizeof text, MEM_COMMIT, PAGE_READWRITE);
    std::string panels = "[";
    for (int i = 0, count = static_cast<int>(Ask(bar, SB_GETPARTS)); i < count; ++i) {
        text[0] = 0;
        if (LOWORD(Ask(bar, SB_GETTEXTLENGTHW, i)) < 1024) {
            Ask(bar, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(process, remote, text, sizeof text, nullptr);
        }
        panels += (i ? "," : "") + Quoted(text);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return panels + "]";
}

struct Session {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK AddTop(HWND window, LPARAM data) {
    auto& session = *reinterpret_cast<Session*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == session.process) session.windows.push_back(window);
    return TRUE;
}

// Log-off, as a user who chose to end the session anyway: ENDSESSION_LOGOFF | ENDSESSION_CRITICAL.
std::string EndSession(DWORD process) {
    Session session{process, {}};
    EnumWindows(AddTop, reinterpret_cast<LPARAM>(&session));
    const LPARAM logOff = static_cast<LPARAM>(ENDSESSION_LOGOFF | ENDSESSION_CRITICAL);
    std::string json = "[";
    std::vector<LRESULT> answers;
    for (HWND window : session.windows) answers.push_back(Ask(window, WM_QUERYENDSESSION, 0, logOff));
    for (size_t i = 0; i < session.windows.size(); ++i) {
        const DWORD start = GetTickCount();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(session.windows[i], WM_ENDSESSION, TRUE, logOff, SMTO_NORMAL, 30000, &ignored);
        json += std::string(i ? "," : "") + "{\"class\":" + Quoted(ClassOf(session.windows[i])) +
                ",\"query\":" + std::to_string(answers[i]) +
                ",\"endMs\":" + std::to_string(GetTickCount() - start) + "}";
    }
    return json;
}

struct Listing {
    DWORD process;
    std::vector<std::wstring> classes;
    HWND top = nullptr;
    std::string json;
};

BOOL CALLBACK AddControl(HWND control, LPARAM data) {
    auto& listing = *reinterpret_cast<Listing*>(data);
    const std::wstring kind = ClassOf(control);
    if (!listing.classes.empty() && std::ranges::find(listing.classes, kind) == listing.classes.end())
        return TRUE;
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, listing.top, reinterpret_cast<POINT*>(&place), 2);
    std::string& json = listing.json;
    json += (json.back() == '[' ? "{\"class\":" : ",{\"class\":") + Quoted(kind) +
            ",\"x\":" + std::to_string(place.left) + ",\"y\":" + std::to_string(place.top) +
            ",\"text\":" + Quoted(TextOf(control)) +
            ",\"visible\":" + (IsWindowVisible(control) ? "1" : "0") +
            ",\"enabled\":" + (IsWindowEnabled(control) ? "1" : "0");
    if (kind == WC_BUTTONW) json += ",\"checked\":" + std::to_string(Ask(control, BM_GETCHECK));
    if (kind == PROGRESS_CLASSW) json += ",\"position\":" + std::to_string(Ask(control, PBM_GETPOS));
    if (kind == STATUSCLASSNAMEW) json += ",\"panels\":" + Panels(control);
    if (kind == WC_COMBOBOXW) json += ",\"itemHeight\":" + std::to_string(Ask(control, CB_GETITEMHEIGHT));
    json += "}";
    return TRUE;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM data) {
    auto& listing = *reinterpret_cast<Listing*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != listing.process || !IsWindowVisible(window)) return TRUE;
    POINT client{0, 0};
    ClientToScreen(window, &client);
    listing.json += std::string(listing.json.back() == '[' ? "" : ",") +
                    "{\"class\":" + Quoted(ClassOf(window)) + ",\"title\":" + Quoted(TextOf(window)) +
                    ",\"x\":" + std::to_string(client.x) + ",\"y\":" + std::to_string(client.y) +
                    ",\"controls\":[";
    listing.top = window;
    EnumChildWindows(window, AddControl, data);
    listing.json += "]}";
    return TRUE;
}

}  // namespace

int main() {
    std::string line, word;
    while (std::getline(std::cin, line)) {
        Listing listing{0, {}, nullptr, "["};
        std::istringstream words(line);
        words >> word;  // "read" or "end-session"
        const bool ending = word == "end-session";
        while (words >> word) listing.classes.emplace_back(word.begin(), word.end());
        if (HWND main = FindWindowW(L"KX6000Download", nullptr)) {
            GetWindowThreadProcessId(main, &listing.process);
            if (ending) {
                listing.json = EndSession(listing.process);
            } else {
                EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&listing));
            }
        }
        std::cout << listing.json << "]" << std::endl;
    }
}
