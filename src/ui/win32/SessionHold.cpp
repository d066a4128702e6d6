#include "ui/win32/SessionHold.h"

#include <windows.h>

#include <csignal>
#include <thread>

#include "support/Program.h"
#include "ui/win32/Layout.h"

namespace kx6000 {
namespace {

constexpr wchar_t kClassName[] = L"KX6000SessionHold";
constexpr wchar_t kReason[] = L"Writing the radio's flash: wait until the download ends";
// A stop's closing steps wait at most 5 s for the radio; a command held longer (by a question or the file
// dialog, which no stop answers) is left to the system's own end of the session.
constexpr DWORD kClosingSteps = 10000;

LRESULT CALLBACK HoldProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* hold = OwnerOf<SessionHold>(window, message, lParam);
    if (hold && message != WM_NCCREATE) return hold->Handle(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

SessionHold& SessionHold::Instance() {
    static SessionHold& hold = *new SessionHold;
    return hold;
}

SessionHold::SessionHold() : idle(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
    std::thread([this] {
        RegisterWindowClass(kClassName, HoldProcedure);
        // Top-level, never shown: the system sends the session's messages to every top-level window.
        CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr),
                        this);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    }).detach();
}

void SessionHold::Begin(HWND__* window) {
    ResetEvent(idle);
    ShutdownBlockReasonCreate(window, kReason);
}

void SessionHold::End(HWND__* window) {
    ShutdownBlockReasonDestroy(window);
    SetEvent(idle);
}

intptr_t SessionHold::Handle(HWND__* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_ENDSESSION:
            // The session ends though the main window refused: the command stops through its closing steps,
            // as the window's own close stops it, and the system waits here until they are done.
            if (wParam && WaitForSingleObject(idle, 0) != WAIT_OBJECT_0) {
                StopRequested = SIGTERM;
                WaitForSingleObject(idle, kClosingSteps);
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace kx6000
