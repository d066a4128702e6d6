// The small box that asks the technician to do something by hand (switch the radio off and on) while the
// caller keeps polling it: shown without being modal, with its Cancel.
#pragma once

#include "ui/UIForm.h"

struct HWND__;

namespace kx6000 {

class frmWait : public IWaitWindow {
public:
    // The program's one wait window, created on first use.
    static frmWait& Instance();

    void Show() override;
    void Hide() override;
    void SetMessage(const std::string& strMessage) override;
    bool IsCancelled() const override { return blnCancelled; }
    // Cancel, Escape and closing the box cancel.
    void Cancel();

private:
    frmWait();

    HWND__* window = nullptr;
    HWND__* lblMessage = nullptr;
    bool blnCancelled = false;
};

}  // namespace kx6000
