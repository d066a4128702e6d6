// KX6000Download.exe started by hand: the technician's window on one radio's serial port, as
// kx6000-download-gui is on Linux. Exit status: 0 when the window was closed, 2 when the command line is
// wrong.

#include <memory>

#include "gui/WindowOptions.h"
#include "ui/win32/frmDownload.h"

int main(int argc, char** argv) {
    auto start = kx6000::ParseWindowOptions("KX6000Download", argc, argv);
    if (const int* status = std::get_if<int>(&start)) return *status;
    kx6000::clsDLManager manager(std::make_unique<kx6000::frmDownload>());
    manager.RadioType(std::get<kx6000::WindowStart>(start).radio);
    manager.SetPort(std::get<kx6000::WindowStart>(start).port, true);
    return kx6000::frmDownload::MessageLoop();
}
