// Runs a program and answers the message box it opens, as a person would: prints "Box|<title>|<text>" for
// the first message box of the program's process that comes up, presses its default button, and prints
// "Exit|<the program's exit code, hexadecimal>" once it has ended; "Box|none" when it ended without one.
// Gives up after 30 s ("Exit|running").
//
// Usage: answer-box PROGRAM [ARGUMENT...]
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
    DWORD process;
    HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t kind[16] = L"";
    GetClassNameW(window, kind, 16);
    if (process != search.process || !IsWindowVisible(window) || std::wstring(kind) != L"#32770") return TRUE;
    search.box = window;
    return FALSE;
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 2) {
        std::fprintf(stderr, "usage: answer-box PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    std::wstring line;
    for (int i = 1; i < count; ++i) line += (i > 1 ? L" \"" : L"\"") + std::wstring(arguments[i]) + L"\"";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION run{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &run)) {
        std::printf("Exit|not started (%lu)\n", GetLastError());
        return 1;
    }
    Search search{run.dwProcessId};
    for (int tenths = 0; tenths < 300 && !search.box; ++tenths) {
        if (WaitForSingleObject(run.hProcess, 100) == WAIT_OBJECT_0) break;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    }
    if (search.box) {
        // The text is the box's static control, which message boxes number 0xFFFF.
        std::printf("Box|%s|%s\n", Utf8(TextOf(search.box)).c_str(),
                    Utf8(TextOf(GetDlgItem(search.box, 0xFFFF))).c_str());
        const LRESULT button = SendMessageW(search.box, DM_GETDEFID, 0, 0);
        PostMessageW(search.box, WM_COMMAND, LOWORD(button), 0);
    } else {
        std::printf("Box|none\n");
    }
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(run.hProcess, 30000) == WAIT_OBJECT_0 && GetExitCodeProcess(run.hProcess, &code))
        std::printf("Exit|0x%08lX\n", code);
    else
        std::printf("Exit|running\n");
    CloseHandle(run.hThread);
    CloseHandle(run.hProcess);
    LocalFree(arguments);
    return 0;
}
