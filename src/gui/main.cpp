// kx6000-download-gui: the technician's window on one radio's serial port.
// Exit status: 0 when the window was closed, 1 when no display could be
// opened, 2 when the command line is wrong.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "manager/clsDLManager.h"
#include "platform/Runtime.h"
#include "support/Version.h"
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
    CLI::App options{
        "The KX6000 download window: reads, writes and erases the software and configurations "
        "of KX6100 and KX6200 radios over a serial line.\n",
        "kx6000-download-gui"};
    options.set_version_flag("--version", kx6000::VersionText(), "Print the component's version and exit");
    std::string port = "1", device;
    int radio = 6100;
    options.add_option("--port", port, "Serial port 1 to 4 (default 1)");
    options.add_option(
        "--device", device,
        "The serial device of that port for this run, e.g. " + std::string(kx6000::kExampleDevice));
    options.add_option("--radio", radio, "Radio model: 6100 or 6200 (default 6100)")
        ->check(CLI::IsMember({6100, 6200}));
    try {
        options.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help and --version end here too, with 0; every usage error exits 2, as the command line's do.
        return options.exit(error) == 0 ? 0 : 2;
    }
    if (!device.empty()) kx6000::SetEnvironment("KX6000_PORT" + port, device);

    QtMessageHandler standard = qInstallMessageHandler(NoDisplay);
    QApplication application(argc, argv);
    qInstallMessageHandler(standard);
    QApplication::setApplicationName("kx6000-download-gui");
    QApplication::setApplicationDisplayName("KX6000 Download");
    QApplication::setDesktopFileName("kx6000-download-gui");

    kx6000::clsDLManager manager(std::make_unique<kx6000::frmDownload>());
    manager.RadioType(radio == 6200 ? kx6000::RADIO_MFX : kx6000::RADIO_FMX);
    manager.SetPort(port, true);
    return QApplication::exec();
}
