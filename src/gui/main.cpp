// kx6000-download-gui: the technician's window on one radio's serial port.
// Exit status: 0 when the window was closed, 1 when no display could be
// opened, 2 when the command line is wrong.

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "gui/WindowOptions.h"
#include "ui/qt/frmDownload.h"

namespace {

// Qt gives up on a display it cannot reach with a fatal message and an abort;
// the technician gets one line and an honest exit status instead.
void NoDisplay(QtMsgType type, const QMessageLogContext& /*context*/, const QString& /*message*/) {
    if (type != QtFatalMsg) return;
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "kx6000-download-gui: cannot open a display (DISPLAY=%s)\n", display ? display : "");
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    auto start = kx6000::ParseWindowOptions("kx6000-download-gui", argc, argv);
    if (const int* status = std::get_if<int>(&start)) return *status;

    QtMessageHandler standard = qInstallMessageHandler(NoDisplay);
    QApplication application(argc, argv);
    qInstallMessageHandler(standard);
    QApplication::setApplicationName("kx6000-download-gui");
    QApplication::setApplicationDisplayName("KX6000 Download");
    QApplication::setDesktopFileName("kx6000-download-gui");

    kx6000::clsDLManager manager(std::make_unique<kx6000::frmDownload>());
    manager.RadioType(std::get<kx6000::WindowStart>(start).radio);
    manager.SetPort(std::get<kx6000::WindowStart>(start).port, true);
    return QApplication::exec();
}
