// kx6000-download: the component for a technician at a terminal or a script.
// Exit status: 0 success, 1 the operation failed, 2 the command line is wrong.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

#include "cli/Commands.h"
#include "cli/Workers.h"
#include "support/Version.h"

using namespace kx6000::cli;

namespace {

// The general options a command takes.
enum Takes : unsigned { kRadio = 1, kDownloadSpeed = 2, kSpecialLogon = 4, kStatusLines = 8 };

// The general options, on the program (before the command word) or on a command (after it), into the
// same variables; the devices of both places add up.
void AddOptions(CLI::App& app, Options& options, std::vector<std::string>& devices, unsigned takes) {
    if ((takes & kRadio) != 0) {
        app.add_option("--port", options.port, "Serial port 1 to 4 (default 1)");
        app.add_option_function<std::vector<std::string>>(
            "--device",
            [&devices](const std::vector<std::string>& more) {
                devices.insert(devices.end(), more.begin(), more.end());
            },
            "The serial device of that port for this run, e.g. /dev/ttyUSB0; given several times, "
            "report, download and erase run on every device at once (logs in <root>/<device>/)");
        app.add_option("--radio", options.radio, "Radio model: 6100 or 6200 (default 6100)")
            ->check(CLI::IsMember({6100, 6200}));
    }
    if ((takes & kDownloadSpeed) != 0) {
        app.add_option("--baud", options.baud,
                       "Download speed: auto (tries 115200, 19200, 9600), 115200, 19200, 9600")
            ->check(CLI::IsMember({"auto", "115200", "19200", "9600"}));
        app.add_flag("--yes", options.yes, "Answer yes to the FPGA warning without asking");
    }
    if ((takes & kSpecialLogon) != 0) {
        app.add_flag(
            "--unprotected", options.unprotected,
            "Unprotected upgrade: log on in special mode (the radio must be switched off and on by hand)");
        app.add_option(
               "--power-cycle-wait", options.powerCycleWait,
               "Seconds to wait for the radio to be switched off and on in the special logon (default: no "
               "limit on a terminal, 60 without one)")
            ->check(CLI::PositiveNumber);
    }
    app.add_flag("--json", options.json, "Print one JSON object on stdout");
    if ((takes & kStatusLines) != 0)
        app.add_flag("--quiet", options.quiet, "No status lines and no progress bar");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Reads, writes and erases the software and configurations of KX6100 and KX6200 radios over a "
        "serial line.\n",
        "kx6000-download"};
    app.set_version_flag("--version", kx6000::VersionText(), "Print the component's version and exit");
    app.require_subcommand(1);
    app.footer(
        "Options may stand before or after the command word; '<command> --help' lists a command's own.\n"
        "Ports 1 to 4 are serial devices: KX6000_PORT1..4, else Port1..4 in the settings file, else\n"
        "/dev/ttyS0..3. Status lines go to stderr, results to stdout. Exit status: 0 done, 1 the radio\n"
        "operation failed (Error <n> - <message>), 2 the command line is wrong, 130/143 stopped by\n"
        "Ctrl-C/SIGTERM (a second Ctrl-C ends at once).\n"
        "Examples:\n"
        "  kx6000-download --device /dev/ttyUSB0 report\n"
        "  kx6000-download download --baud 115200 ZMA1F_01.02.03.04.s28\n"
        "  kx6000-download erase KXC61_CUSTOMER 0102:KXD62_DEVICE");

    Options options;
    std::vector<std::string> devices;
    const unsigned all = kRadio | kDownloadSpeed | kSpecialLogon | kStatusLines;
    AddOptions(app, options, devices, all);
    app.add_flag("--progress-lines", options.progressLines)->group("");  // for the workers of several devices

    CLI::App* report = app.add_subcommand("report", "List the software and configurations the radio holds");
    AddOptions(*report, options, devices, kRadio | kStatusLines);
    std::vector<std::string> files;
    CLI::App* download = app.add_subcommand("download", "Write download files (S-record) into the radio");
    AddOptions(*download, options, devices, all);
    download->add_option("FILE", files, "Download files")->required();
    download->add_flag(
        "--verify", options.verify,
        "Afterwards every image's tag must be among the configurations the radio lists, status OK");
    std::vector<std::string> configurations;
    CLI::App* erase =
        app.add_subcommand("erase", "Erase configurations from the radio or an attached device");
    AddOptions(*erase, options, devices, kRadio | kSpecialLogon | kStatusLines);
    erase
        ->add_option("CONFIGURATION", configurations,
                     "[NNDD:]PRODUCTID: the product ID as the report lists it, for a device of a KX6200 with "
                     "its network and device IDs as two hex digits each (default 0000, the radio itself)")
        ->required();
    erase->add_flag(
        "--force", options.force,
        "Also erase what the window offers no check box for: the hardware configuration, and boot "
        "code outside test mode");
    std::vector<std::string> checked;
    CLI::App* validate = app.add_subcommand(
        "validate", "Check download files, name each failure and warning by line, and describe their images");
    AddOptions(*validate, options, devices, kStatusLines);
    validate->add_option("FILE", checked, "Download files")->required();
    validate->add_flag("--data", options.data, "With --json: each table's data blocks as well");
    std::optional<std::string> errorNumber;
    CLI::App* error = app.add_subcommand("error", "Print the component's error numbers with their messages");
    AddOptions(*error, options, devices, 0);
    error->add_option("N", errorNumber, "Print only this error number");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // A first word that names no command, rather than CLI11's "A subcommand is required".
        std::vector<std::string> rest = app.remaining();
        if (app.get_subcommands().empty() && !rest.empty() && !rest.front().starts_with('-')) {
            std::cerr << "kx6000-download: unknown command '" << rest.front()
                      << "'; the commands are report, download, erase, validate and error\n";
            return kUsageError;
        }
        std::vector<CLI::App*> commands = app.get_subcommands();
        if (!commands.empty() && dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
            std::vector<std::string> extra = commands.front()->remaining();
            auto option =
                std::ranges::find_if(extra, [](const std::string& word) { return word.starts_with('-'); });
            if (option != extra.end()) {
                const std::string& name = commands.front()->get_name();
                std::cerr << "kx6000-download: " << name << " takes no " << *option << "; 'kx6000-download "
                          << name << " --help' lists its options\n";
                return kUsageError;
            }
        }
        return app.exit(e) == 0 ? 0 : kUsageError;
    }
    if (devices.size() == 1) options.device = devices.front();
    if (devices.size() > 1) {
        if (report->parsed()) return RunWorkers(options, devices, "report", {});
        if (download->parsed()) return RunWorkers(options, devices, "download", files);
        if (erase->parsed()) return RunWorkers(options, devices, "erase", configurations);
    }
    if (report->parsed()) return Report(options);
    if (download->parsed()) return Download(options, files);
    if (erase->parsed()) return Erase(options, configurations);
    if (validate->parsed()) return Validate(options, checked);
    if (error->parsed()) return ListErrors(options, errorNumber);
    return kUsageError;
}
