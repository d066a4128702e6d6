// The question a close during a command asks: a box of its own beside the window, not modal, so the
// command's waits go on while the technician decides.
#pragma once

#include <cstdint>
#include <functional>

struct HWND__;
struct HFONT__;

namespace kx6000 {

class StopQuestion {
public:
    // Shows the question over `owner` unless it is shown; `yes` runs when Yes is pressed. No, the default,
    // Escape and closing the box leave the command running.
    void Ask(HWND__* owner, std::function<void()> yes);
    // Takes the question away unanswered: the command it was about has ended.
    void Dismiss();
    bool Shown() const { return box != nullptr; }
    // The box's answer to one of its messages.
    intptr_t Handle(unsigned message, uintptr_t wParam, intptr_t lParam);

private:
    HWND__* box = nullptr;
    HFONT__* face = nullptr;
    std::function<void()> onYes;
};

}  // namespace kx6000
