#include <windows.h>

#include "platform/Desktop.h"
#include "platform/Places.h"
#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

constexpr UINT kDisplayToc = 1;    // HH_DISPLAY_TOC
constexpr UINT kHelpContext = 15;  // HH_HELP_CONTEXT

using HtmlHelp = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

// The viewer is loaded when help is first asked for, so the program runs where it is missing.
HtmlHelp Viewer() {
    static const HtmlHelp viewer = [] {
        HMODULE library = LoadLibraryA("hhctrl.ocx");
        return library ? reinterpret_cast<HtmlHelp>(
                             reinterpret_cast<void (*)()>(GetProcAddress(library, "HtmlHelpA")))
                       : nullptr;
    }();
    return viewer;
}

HWND WindowOf(int32_t handle) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(handle));
}

}  // namespace

std::string HelpFilePath() {
    return ProgramFolder() + "\\kx6kd_en.chm";
}

int32_t OpenHelp(int32_t owner, const std::string& contentsFile, const std::string& topicFile,
                 int32_t context) {
    HtmlHelp viewer = Viewer();
    if (viewer == nullptr) return 0;
    HWND contents = viewer(nullptr, Ansi(contentsFile).c_str(), kDisplayToc, 0);
    if (context != 0)
        viewer(WindowOf(owner), Ansi(topicFile).c_str(), kHelpContext, static_cast<DWORD_PTR>(context));
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(contents));
}

}  // namespace kx6000
