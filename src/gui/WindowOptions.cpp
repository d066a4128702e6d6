#include "gui/WindowOptions.h"

#include <CLI/CLI.hpp>
#include <vector>

#include "platform/Runtime.h"
#include "support/Version.h"

namespace kx6000 {

std::variant<WindowStart, int> ParseWindowOptions(const char* program, int argc, char** argv) {
    CLI::App options{
        "The KX6000 download window: reads, writes and erases the software and configurations "
        "of KX6100 and KX6200 radios over a serial line.\n",
        program};
    options.set_version_flag("--version", VersionText(), "Print the component's version and exit");
    WindowStart start;
    std::string device;
    int radio = 6100;
    options.add_option("--port", start.port, "Serial port 1 to 4 (default 1)")
        ->check(CLI::IsMember({"1", "2", "3", "4"}));
    // An empty name would quietly leave the port its own device.
    options
        .add_option("--device", device,
                    "The serial device of that port for this run, e.g. " + std::string(kExampleDevice))
        ->check([](const std::string& name) { return name.empty() ? "--device needs a path" : ""; });
    options.add_option("--radio", radio, "Radio model: 6100 or 6200 (default 6100)")
        ->check(CLI::IsMember({6100, 6200}));
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    std::vector<const char*> words;
    for (const std::string& argument : arguments) words.push_back(argument.c_str());
    try {
        options.parse(static_cast<int>(words.size()), words.data());
    } catch (const CLI::ParseError& error) {
        // --help and --version end here too, with 0; every usage error exits 2, as the command line's do.
        return options.exit(error) == 0 ? 0 : 2;
    }
    if (!device.empty()) SetEnvironment("KX6000_PORT" + start.port, device);
    start.radio = radio == 6200 ? RADIO_MFX : RADIO_FMX;
    return start;
}

}  // namespace kx6000
