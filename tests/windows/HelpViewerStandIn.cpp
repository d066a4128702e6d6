// hhctrl.ocx for the window's help case: records each HtmlHelpA call, with the class of the owner window,
// as a line of HtmlHelpA.txt in the current folder, and shows nothing (wine's own viewer needs a browser
// engine the test prefix does not have, and blocks the calling thread without one).
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpA(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
    char owners[256] = "none";
    if (owner) GetClassNameA(owner, owners, sizeof owners);
    if (FILE* calls = std::fopen("HtmlHelpA.txt", "a")) {
        std::fprintf(calls, "%s|%s|%u|%lu\n", owners, file ? file : "", command, static_cast<unsigned long>(data));
        std::fclose(calls);
    }
    return nullptr;
}
