#include "ui/qt/frmWait.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "ui/qt/Twips.h"

namespace kx6000 {
namespace {

frmWait* instance = nullptr;

}  // namespace

frmWait& frmWait::Instance() {
    if (!instance) {
        instance = new frmWait();
        // Post routines run while the application still stands, so the box can be deleted then.
        qAddPostRoutine([] {
            delete instance;
            instance = nullptr;
        });
    }
    return *instance;
}

frmWait::frmWait() {
    setObjectName("frmWait");
    setModal(false);
    setFixedSize(Twips(3720), Twips(1200));
    setWindowTitle("Form1");
    setFont(LayoutFont(font()));
    lblMessage = new QLabel(this);
    lblMessage->setObjectName("lblMessage");
    lblMessage->setAlignment(Qt::AlignCenter);
    Place(lblMessage, 120, 240, 3495, 255);
    auto* cmdCancel = new QPushButton("&Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    Place(cmdCancel, 1200, 720, 1335, 375);
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
}

void frmWait::Show() {
    setWindowTitle(kApplicationTitle);
    blnCancelled = false;
    show();
    raise();
    activateWindow();
}

void frmWait::SetMessage(const std::string& strMessage) {
    lblMessage->setText(QString::fromLatin1(strMessage));
}

void frmWait::closeEvent(QCloseEvent* event) {
    blnCancelled = true;
    event->accept();
}

void frmWait::reject() {
    blnCancelled = true;
    QDialog::reject();
}

}  // namespace kx6000
