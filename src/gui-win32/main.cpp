// KX6000Download.exe started by hand: the technician's window on one radio's serial port, as
// kx6000-download-gui is on Linux. Exit status: 0 when the window was closed, 2 when the command line is
// wrong.

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "manager/clsDLManager.h"
#include "platform/Runtime.h"
#include "support/Version.h"
#include "ui/win32/frmDownload.h"

int main(int argc, char** argv) {
    CLI::App options{
        "The KX6000 download window: reads, writes and erases the software and configurations "
        "of KX6100 and KX6200 radios over a serial line.\n",
        "KX6000Download"};
    options.set_version_flag("--version", kx6000::VersionText(), "Print the component's version and exit");
    std::string port = "1", device;
    int radio = 6100;
    options.add_option("--port", port, "Serial port 1 to 4 (default 1)");
    options.add_option(
        "--device", device,
        "The serial device of that port for this run, e.g. " + std::string(kx6000::kExampleDevice));
    options.add_option("--radio", radio, "Radio model: 6100 or 6200 (default 6100)")
        ->check(CLI::IsMember({6100, 6200}));
    const std::vector<std::string> arguments = kx6000::ProgramArguments(argc, argv);
    std::vector<const char*> words;
    for (const std::string& argument : arguments) words.push_back(argument.c_str());
    try {
        options.parse(static_cast<int>(words.size()), words.data());
    } catch (const CLI::ParseError& error) {
        // --help and --version end here too, with 0; every usage error exits 2, as the command line's do.
        return options.exit(error) == 0 ? 0 : 2;
    }
    if (!device.empty()) kx6000::SetEnvironment("KX6000_PORT" + port, device);

    kx6000::clsDLManager manager(std::make_unique<kx6000::frmDownload>());
    manager.RadioType(radio == 6200 ? kx6000::RADIO_MFX : kx6000::RADIO_FMX);
    manager.SetPort(port, true);
    return kx6000::frmDownload::MessageLoop();
}
