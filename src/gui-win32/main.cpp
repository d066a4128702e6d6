// KX6000Download.exe: started by COM (-Embedding) the automation server of clsDLManager, one object a
// process; with /RegServer or /UnregServer it writes or removes its registration and says so in a message
// box (none with /s); started by hand, the technician's window on one radio's serial port, as
// kx6000-download-gui is on Linux. Exit status: 0 when served, registered or the window was closed; the
// failure's HRESULT when registering failed; 2 when the command line is wrong.

#include <memory>
#include <string>
#include <vector>

#include "automation/com/Server.h"
#include "gui/WindowOptions.h"
#include "platform/Runtime.h"
#include "ui/win32/frmDownload.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = kx6000::ProgramArguments(argc, argv);
    switch (const auto task = kx6000::com::TaskOf(arguments.size() > 1 ? arguments[1] : "")) {
        case kx6000::com::ServerTask::Serve:
            return kx6000::com::Serve();
        case kx6000::com::ServerTask::Register:
        case kx6000::com::ServerTask::Unregister:
            return kx6000::com::Registration(task, kx6000::com::Quiet(arguments));
        case kx6000::com::ServerTask::Window:
            break;
    }
    auto start = kx6000::ParseWindowOptions("KX6000Download", argc, argv);
    if (const int* status = std::get_if<int>(&start)) return *status;
    kx6000::clsDLManager manager(std::make_unique<kx6000::frmDownload>());
    manager.RadioType(std::get<kx6000::WindowStart>(start).radio);
    manager.SetPort(std::get<kx6000::WindowStart>(start).port, true);
    return kx6000::frmDownload::MessageLoop();
}
