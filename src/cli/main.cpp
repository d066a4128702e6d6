// kx6000-download: the component for a technician at a terminal or a script.
// Exit status: 0 success, 1 the operation failed, 2 the command line is wrong.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "cli/Commands.h"
#include "cli/Workers.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Runtime.h"
#include "support/Version.h"

using namespace kx6000::cli;

namespace {

// The commands, as bits of the set of commands an option is for.
const char* const kCommands[] = {"report", "download", "erase", "validate", "error", "ports"};
enum : unsigned {
    kReport = 1,
    kDownload = 2,
    kErase = 4,
    kValidate = 8,
    kError = 16,
    kPorts = 32,
    kRadios = 7,
};

// What the options hold as typed, checked once the command is known.
struct Typed {
    std::string port = "1", radio = "6100", baud = "auto", powerCycleWait;
    std::vector<std::string> devices;
};

// An option, declared on the program and on every command, so that it may stand on either side of the
// command word; the commands it is for are checked after parsing, with the command line's own message.
struct Declared {
    std::string name;
    unsigned commands;
    std::vector<CLI::Option*> places;
};

// Declares every option on `app` (the program, or the command `command`) into the same variables; a
// command's help lists only its own.
void Declare(CLI::App& app, unsigned command, Options& options, Typed& typed, std::vector<Declared>& table) {
    size_t next = 0;
    auto add = [&](CLI::Option* option, unsigned commands) {
        if (command != 0 && (commands & command) == 0) option->group("");
        if (table.size() == next) table.push_back({option->get_name(), commands, {}});
        table[next++].places.push_back(option);
    };
    add(app.add_option("--port", typed.port, "Serial port 1 to 4 (default 1)")->type_name("N"),
        kRadios | kPorts);
    add(app.add_option_function<std::vector<std::string>>(
               "--device",
               [&typed](const std::vector<std::string>& more) {
                   typed.devices.insert(typed.devices.end(), more.begin(), more.end());
               },
               "The serial device of that port for this run, e.g. " + std::string(kx6000::kExampleDevice) +
                   "; given once per radio, "
                   "report, "
                   "download and erase run on every device at once (logs in <root>/KX6000-<device>/)")
            ->allow_extra_args(false)
            ->type_name("PATH"),  // one device a --device: the word after it is an operand
        kRadios | kPorts);
    add(app.add_option("--radio", typed.radio, "Radio model: 6100 or 6200 (default 6100)")
            ->type_name("MODEL"),
        kRadios | kValidate);
    add(app.add_option("--baud", typed.baud,
                       "download: the speed: auto (tries 115200, 19200, 9600), 115200, 19200, 9600")
            ->type_name("RATE"),
        kDownload);
    add(app.add_flag("--yes", options.yes,
                     "download: answer yes to the FPGA warning and to losing configurations without asking"),
        kDownload);
    add(app.add_flag(
            "--unprotected", options.unprotected,
            "Unprotected upgrade: log on in special mode (the radio must be switched off and on by hand)"),
        kDownload | kErase);
    add(app.add_option(
               "--power-cycle-wait", typed.powerCycleWait,
               "Seconds to wait for the radio to be switched off and on in the special logon (default: "
               "no limit on a terminal, 60 without one)")
            ->type_name("SECONDS"),
        kDownload | kErase);
    add(app.add_flag(
            "--verify", options.verify,
            "download: afterwards every image's tag must be among the configurations the radio lists, "
            "status OK"),
        kDownload);
    add(app.add_flag("--dry-run", options.dryRun,
                     "download: the same session up to the first erase, then the plan: the blocks each image "
                     "erases, the configurations lost with them, the result and the time; nothing is erased "
                     "or written"),
        kDownload);
    add(app.add_flag("--force", options.force,
                     "erase: also erase what the window offers no check box for: the hardware configuration, "
                     "and boot code outside test mode"),
        kErase);
    add(app.add_flag("--data", options.data, "validate --json: each table's data blocks as well"), kValidate);
    add(app.add_flag("--json", options.json, "Print one JSON object on stdout (docs/json/ has its schemas)"),
        kRadios | kValidate | kError | kPorts);
    add(app.add_flag("--quiet", options.quiet, "No status lines and no progress bar"), kRadios | kValidate);
    // For the workers of several devices: not the technician's.
    add(app.add_flag("--progress-lines", options.progressLines)->group(""), kRadios);
}

// The words of an ExtrasError: the first that looks like an option, of the program or of the command.
std::optional<std::string> ExtraOption(CLI::App& app) {
    std::vector<std::string> words = app.remaining();
    for (CLI::App* command : app.get_subcommands()) {
        std::vector<std::string> more = command->remaining();
        words.insert(words.end(), more.begin(), more.end());
    }
    auto option = std::ranges::find_if(words, [](const std::string& word) { return word.starts_with('-'); });
    return option == words.end() ? std::nullopt : std::optional(*option);
}

std::string TakesNo(const std::string& command, const std::string& option) {
    return "kx6000-download: " + command + " takes no " + option + "; 'kx6000-download " + command +
           " --help' lists its options";
}

// What the command line cannot run, in the command line's own words; nothing when it is right.
std::optional<std::string> Wrong(const std::string& command, unsigned bit, const std::vector<Declared>& table,
                                 const Typed& typed, const std::vector<std::string>& operands) {
    for (const Declared& option : table) {
        bool given =
            std::ranges::any_of(option.places, [](CLI::Option* place) { return place->count() > 0; });
        if (given && (option.commands & bit) == 0) return TakesNo(command, option.name);
    }
    // An empty name would quietly mean port 1 and its own device.
    if (typed.port.empty()) return "kx6000-download: --port needs a port, 1 to 4";
    if (std::ranges::find(typed.devices, "") != typed.devices.end())
        return "kx6000-download: --device needs a path, e.g. " + std::string(kx6000::kExampleDevice);
    if (typed.port.size() != 1 || typed.port < "1" || typed.port > "4")
        return "kx6000-download: --port " + typed.port +
               ": the ports are 1 to 4 (another device: --device PATH)";
    if (typed.radio != "6100" && typed.radio != "6200")
        return "kx6000-download: --radio " + typed.radio + ": the radio models are 6100 and 6200";
    if (typed.baud != "auto" && typed.baud != "115200" && typed.baud != "19200" && typed.baud != "9600")
        return "kx6000-download: --baud " + typed.baud + ": give auto, 115200, 19200 or 9600";
    const std::string& wait = typed.powerCycleWait;
    if (!wait.empty() && (wait.size() > 6 || wait.find_first_not_of("0123456789") != std::string::npos ||
                          std::stoi(wait) == 0)) {
        return "kx6000-download: --power-cycle-wait " + wait +
               ": give the seconds to wait, 1 to 999999; without it a terminal waits as long as it takes";
    }
    for (size_t i = 0; i < typed.devices.size(); ++i) {
        std::error_code error;
        auto resolved = [&error](const std::string& path) {
            return std::filesystem::weakly_canonical(std::filesystem::absolute(kx6000::PathOf(path), error),
                                                     error);
        };
        std::filesystem::path device = resolved(typed.devices[i]);
        for (size_t j = 0; j < i; ++j) {
            if (typed.devices[j] == typed.devices[i] || (!error && resolved(typed.devices[j]) == device)) {
                return "kx6000-download: --device " + typed.devices[i] + " is given twice (as " +
                       typed.devices[j] + "); each radio needs a device of its own";
            }
        }
    }
    if (bit == kPorts && typed.devices.size() > 1)
        return "kx6000-download: ports takes one --device, the device of the port given with --port";
    if (operands.empty() && (bit & (kDownload | kErase | kValidate)) != 0) {
        return "kx6000-download: " + command + " needs " +
               (bit == kErase ? "[NNDD:]PRODUCTID..., the configurations to erase"
                              : "FILE..., the download files");
    }
    return std::nullopt;
}

// A command line CLI11 could not read, said in the command line's own words.
int ParseFailure(CLI::App& app, const CLI::ParseError& e, bool asJson) {
    std::optional<std::string> name;
    if (!app.get_subcommands().empty()) name = app.get_subcommands().front()->get_name();
    std::vector<std::string> rest = app.remaining();
    if (!name && !rest.empty() && !rest.front().starts_with('-')) {
        return UsageError("kx6000-download: unknown command '" + rest.front() +
                              "'; the commands are report, download, erase, validate, error and ports",
                          asJson, std::nullopt);
    }
    std::optional<std::string> extra = ExtraOption(app);
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr && extra) {
        return UsageError(name ? TakesNo(*name, *extra)
                               : "kx6000-download: there is no option " + *extra +
                                     "; 'kx6000-download --help' lists the options",
                          asJson, name);
    }
    return UsageError("kx6000-download: " + std::string(e.what()) + "; 'kx6000-download " +
                          (name ? *name + " " : "") + "--help' lists the options",
                      asJson, name);
}

// Whether --json stands among the words before a "--".
bool AsksJson(const std::vector<std::string>& arguments) {
    for (size_t i = 1; i < arguments.size() && arguments[i] != "--"; ++i)
        if (arguments[i] == "--json") return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // A terminal closed or a reader of the output gone does not cut a radio operation in half: the output
    // is dropped and the operation goes on to its end. Only Ctrl-C and SIGTERM stop; the workers of
    // several radios inherit this. A file-size limit makes a log write fail (said once with its path)
    // rather than end the program.
    kx6000::IgnoreLostOutput();
    kx6000::WriteUtf8ToConsole();
    CLI::App app{
        "Reads, writes and erases the software and configurations of KX6100 and KX6200 radios over a "
        "serial line.\n",
        "kx6000-download"};
    app.set_version_flag("--version", kx6000::VersionText(), "Print the component's version and exit");
    app.footer(
        "Options may stand before or after the command word; '<command> --help' lists a command's own.\n"
        "Ports 1 to 4 are serial devices: KX6000_PORT1..4, else Port1..4 in the settings, else\n" +
        std::string(kx6000::kDefaultPortDevices) +
        ".\n"
        "Status lines go to stderr, results to stdout. Exit status: 0 done, 1 the radio operation\n"
        "failed (Error <n> - <message>) or was refused, 2 the command line is wrong, 130/143 stopped by\n"
        "Ctrl-C/SIGTERM (a second Ctrl-C ends at once).\n"
        "Examples:\n"
        "  kx6000-download --device " +
        std::string(kx6000::kExampleDevice) +
        " report\n"
        "  kx6000-download download --baud 115200 ZMA1F_01.02.03.04.s28\n"
        "  kx6000-download erase KXC61_CUSTOMER 0102:KXD62_DEVICE\n"
        "  kx6000-download ports");

    Options options;
    Typed typed;
    std::vector<Declared> table;
    Declare(app, 0, options, typed, table);
    const char* about[] = {
        "List the software and configurations the radio holds",
        "Write download files (S-record) into the radio",
        "Erase configurations from the radio or an attached device",
        "Check download files, name each failure and warning by line, and describe their images",
        "Print the component's error numbers with their messages",
        "List the serial devices found and the device each of ports 1 to 4 reaches"};
    std::vector<CLI::App*> commands;
    for (unsigned i = 0; i < std::size(kCommands); ++i) {
        commands.push_back(app.add_subcommand(kCommands[i], about[i]));
        Declare(*commands.back(), 1u << i, options, typed, table);
    }
    std::vector<std::string> operands;
    commands[1]->add_option("FILE", operands, "Download files");
    commands[2]->add_option(
        "CONFIGURATION", operands,
        "[NNDD:]PRODUCTID: the product ID as the report lists it, for a device of a KX6200 with "
        "its network and device IDs as two hex digits each (default 0000, the radio itself)");
    commands[3]->add_option("FILE", operands, "Download files");
    std::optional<std::string> errorNumber;
    commands[4]->add_option("N", errorNumber, "Print only this error number");

    const std::vector<std::string> arguments = kx6000::ProgramArguments(argc, argv);
    std::vector<const char*> words;
    for (const std::string& argument : arguments) words.push_back(argument.c_str());
    bool asJson = AsksJson(arguments);
    std::vector<CLI::App*>::iterator parsed;
    try {
        app.parse(static_cast<int>(words.size()), words.data());
        parsed = std::ranges::find_if(commands, [](CLI::App* command) { return command->parsed(); });
        if (parsed == commands.end()) {
            return UsageError(
                "kx6000-download: give a command: report, download, erase, validate, error or ports; "
                "'kx6000-download "
                "--help' says more",
                asJson, std::nullopt);
        }
    } catch (const CLI::Success& e) {  // --help, --version
        if (!asJson) return app.exit(e);
        // A program reading --json output gets JSON on every path: the text of the help inside it.
        const bool version = dynamic_cast<const CLI::CallForVersion*>(&e) != nullptr;
        PrintJson(version ? json{{"version", kx6000::VersionText()}} : json{{"help", app.help()}});
        return 0;
    } catch (const CLI::ParseError& e) {
        return ParseFailure(app, e, asJson);
    }
    const std::string command = (*parsed)->get_name();
    const unsigned bit = 1u << (parsed - commands.begin());
    if (std::optional<std::string> wrong = Wrong(command, bit, table, typed, operands))
        return UsageError(*wrong, options.json, command);
    options.port = typed.port;
    options.baud = typed.baud;
    options.radio = std::stoi(typed.radio);
    if (!typed.powerCycleWait.empty()) options.powerCycleWait = std::stoi(typed.powerCycleWait);
    if (typed.devices.size() == 1) options.device = typed.devices.front();
    if (typed.devices.size() > 1) return RunWorkers(options, typed.devices, command, operands);
    switch (bit) {
        case kReport:
            return Report(options);
        case kDownload:
            return Download(options, operands);
        case kErase:
            return Erase(options, operands);
        case kValidate:
            return Validate(options, operands);
        case kError:
            return ListErrors(options, errorNumber);
        default:
            return Ports(options);
    }
}
