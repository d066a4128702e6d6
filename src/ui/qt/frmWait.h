// The small box that asks the technician to do something by hand (switch the
// radio off and on) while the caller keeps polling it.
#pragma once

#include <QDialog>

#include "ui/UIForm.h"

class QLabel;

namespace kx6000 {

class frmWait : public QDialog, public IWaitWindow {
    Q_OBJECT
public:
    // The program's one wait window, created on first use; it goes with the application.
    static frmWait& Instance();

    void Show() override;
    void Hide() override { hide(); }
    void SetMessage(const std::string& strMessage) override;
    bool IsCancelled() const override { return blnCancelled; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the box as Cancel does.
    void reject() override;

private:
    frmWait();
    QLabel* lblMessage;
    bool blnCancelled = false;
};

}  // namespace kx6000
