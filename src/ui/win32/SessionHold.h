// The window's hold on the Windows session while one of its commands runs: log-off and shut-down are refused
// with a reason the system shows, and a session that ends anyway waits for the command's closing steps.
#pragma once

#include <cstdint>

struct HWND__;

namespace kx6000 {

class SessionHold {
public:
    // The program's one hold: a hidden top-level window of a thread of its own, which the system asks at the
    // session's end as it asks the main window, and which can wait there while the main window's thread runs
    // the command to its end. It lasts as long as the program: ending its thread while the window's thread
    // waits for it could wait on a message to the window's thread.
    static SessionHold& Instance();

    // A command of `window` begins: the session is held, with the reason given to the system.
    void Begin(HWND__* window);
    // The command has ended: the session may end.
    void End(HWND__* window);

    // The hold's answer to one of its window's messages.
    intptr_t Handle(HWND__* window, unsigned message, uintptr_t wParam, intptr_t lParam);

private:
    SessionHold();

    void* idle;  // an event, set while no command runs
};

}  // namespace kx6000
