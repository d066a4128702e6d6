#include "cli/Commands.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "files/FileChecks.h"
#include "manager/clsDLManager.h"
#include "radio/clsRadio.h"
#include "resources/ResourceTexts.h"
#include "support/Errors.h"
#include "support/Program.h"
#include "ui/ConsoleForm.h"

namespace kx6000::cli {
namespace {

using nlohmann::json;

void PrintJson(const json& document) {
    std::cout << document.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

std::unique_ptr<clsDLManager> NewManager(const Options& options) {
    auto baudIndex = std::ranges::find(kBaudRateItems, options.baud == "auto" ? "Auto" : options.baud);
    ConsoleOptions console{
        .quiet = options.quiet,
        .terminal = isatty(STDERR_FILENO) == 1 ? STDERR_FILENO : -1,
        .progressLines = options.progressLines,
        .canAsk = isatty(STDIN_FILENO) == 1,
        .yes = options.yes,
        .accessLevel = static_cast<int16_t>(options.unprotected ? 1 : 0),
        .baudRateIndex = static_cast<int16_t>(baudIndex - kBaudRateItems.begin()),
        .powerCycleWait = options.powerCycleWait.value_or(isatty(STDIN_FILENO) == 1 ? 0 : 60)};
    auto manager =
        std::make_unique<clsDLManager>(std::make_unique<ConsoleForm>(console, std::cerr, std::cin));
    manager->RadioType(static_cast<enmRadioType>(options.radio));
    return manager;
}

// The programs that hold `device` open, as "name (pid N)".
std::string Holders(const std::string& device) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(device, error);
    std::string holders;
    DIR* processes = opendir("/proc");
    if (processes == nullptr || error) return holders;
    for (dirent* entry; (entry = readdir(processes)) != nullptr;) {
        std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid()))
            continue;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/" + pid + "/fd", error)) {
            if (std::filesystem::read_symlink(fd.path(), error) != target) continue;
            std::string name;
            std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
            holders += (holders.empty() ? "" : ", ") + name + " (pid " + pid + ")";
            break;
        }
    }
    closedir(processes);
    return holders;
}

// What the system said about a port that failed, and what a technician can do about it.
void ExplainPortFailure(int32_t result) {
    if ((result != 11 && result != 12 && result != 15) || LastPortFailure.device.empty()) return;
    const PortFailure& failure = LastPortFailure;
    std::cerr << "kx6000-download: " << failure.device << ": " << std::strerror(failure.error);
    if (failure.error == EACCES || failure.error == EPERM) {
        std::cerr
            << "; add the user to the 'dialout' group (sudo usermod -aG dialout $USER) and log in again";
    } else if (failure.error == EBUSY || failure.error == EWOULDBLOCK) {
        std::string holders = Holders(failure.device);
        std::cerr << (holders.empty() ? "; another program holds it" : "; held by " + holders);
    } else if (result == 11) {
        std::cerr << "; choose the device with --device PATH";
    }
    std::cerr << '\n';
}

const char* StatusText(int32_t status) {
    switch (status) {
        case 0:
            return "OK";
        case 1:
            return "No code segments";
        case 2:
            return "Checksum invalid";
        default:
            return nullptr;
    }
}

json Configurations(const clsDLManager& manager) {
    json list = json::array();
    if (manager.Radio() == nullptr) return list;
    for (const auto& configuration : *manager.Radio()->Configurations) {
        list.push_back({{"productId", configuration->ProductID},
                        {"status", configuration->Status},
                        {"address", configuration->ConfigurationAddress},
                        {"networkId", configuration->NetWorkID},
                        {"deviceId", configuration->DeviceID}});
    }
    return list;
}

void PrintConfigurations(const clsDLManager& manager) {
    if (manager.Radio() == nullptr) return;
    bool devices = manager.RadioType() == RADIO_MFX;
    std::printf("%-28s %-18s %-10s%s\n", "Product ID", "Status", "Address", devices ? " Network Device" : "");
    for (const auto& configuration : *manager.Radio()->Configurations) {
        const char* status = StatusText(configuration->Status);
        std::string number = std::to_string(configuration->Status);
        std::printf("%-28s %-18s 0x%08X", configuration->ProductID.c_str(), status ? status : number.c_str(),
                    static_cast<uint32_t>(configuration->ConfigurationAddress));
        if (devices) std::printf(" %7d %6d", configuration->NetWorkID, configuration->DeviceID);
        std::printf("\n");
    }
}

// The end of a command: its result, as an exit status and (quiet or JSON) as text.
int Finish(const Options& options, int32_t result, json document = json::object()) {
    if (options.json) {
        document["result"] = result;
        document["message"] = ErrorMessage(result);
        PrintJson(document);
    }
    // Without status lines the failure has not been shown yet.
    if (result != 0 && options.quiet) std::cerr << ErrorStatusText(result) << '\n';
    ExplainPortFailure(result);
    return result == 0 ? 0 : kFailed;
}

// Ctrl-C or SIGTERM stops the operation through its closing steps; a second one ends the program at once.
void OnStop(int signal) {
    if (StopRequested != 0) _exit(128 + signal);
    StopRequested = signal;
}

void CatchStops() {
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);  // no SA_RESTART: a wait in poll() ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// An operation that refused to go on after its report: the radio's list is the answer.
constexpr int32_t kRefused = -1;

// Runs a radio operation on the chosen port and reports the configurations the radio holds after it; the
// operation may add to the JSON document.
int RunOnRadio(const Options& options, const std::function<int32_t(clsDLManager&, json&)>& operation) {
    if (!options.device.empty() && options.port.size() == 1 && options.port >= "1" && options.port <= "4") {
        setenv(("KX6000_PORT" + options.port).c_str(), options.device.c_str(), 1);
    }
    auto manager = NewManager(options);
    // The terminal is this program's window: the download takes its baud choice as the window takes its
    // list's.
    int32_t result = manager->SetPort(options.port, true);
    CatchStops();
    json document = json::object();
    if (result == 0) result = operation(*manager, document);
    if (StopRequested != 0) {
        std::string where = static_cast<ConsoleForm&>(manager->Form()).WhereStopped();
        std::cerr << "kx6000-download: stopped" << (where.empty() ? "" : " during " + where)
                  << "; the radio stays in upgrade mode until the next operation resets it\n";
        if (options.json) PrintJson({{"result", result}, {"message", "stopped"}});
        return 128 + StopRequested;
    }
    if (!options.json && (result == 0 || result == kRefused)) PrintConfigurations(*manager);
    if (result == kRefused) {
        document["message"] = "refused";
        document["result"] = result;
        document["configurations"] = Configurations(*manager);
        if (options.json) PrintJson(document);
        return kFailed;
    }
    document["configurations"] = Configurations(*manager);
    return Finish(options, result, document);
}

// Whether every image's tag is among the configurations the radio lists after the download, with status
// 0; says which is not and why.
bool Verify(const clsDLManager& manager, const std::vector<std::string>& tags, json& document) {
    json checks = json::array();
    bool verified = true;
    for (const std::string& tag : tags) {
        std::shared_ptr<clsConfiguration> listed;
        for (const auto& configuration : *manager.Radio()->Configurations) {
            if (configuration->ProductID == tag) listed = configuration;
        }
        checks.push_back({{"tag", tag}, {"status", listed ? json(listed->Status) : json()}});
        if (listed && listed->Status == 0) continue;
        const char* text = listed ? StatusText(listed->Status) : nullptr;
        std::cerr << "kx6000-download: verify: " << tag << ": "
                  << (!listed ? "the radio does not list it after the download"
                              : "the radio lists it with status " + std::to_string(listed->Status) +
                                    (text ? std::string(" (") + text + ")" : ""))
                  << '\n';
        verified = false;
    }
    document["verify"] = checks;
    return verified;
}

// The files as LoadFiles takes a list; nothing when a name cannot be put in one.
std::optional<std::string> FileList(const std::vector<std::string>& files) {
    std::string list;
    for (const std::string& file : files) {
        if (file.find('|') != std::string::npos || file.empty()) {
            std::cerr << "kx6000-download: '" << file
                      << "' cannot be loaded: a file name must not be empty or hold '|'\n";
            return std::nullopt;
        }
        list += (list.empty() ? "" : "|") + file;
    }
    return list;
}

void PrintChecks(const std::vector<FileCheck>& checks, bool warnings) {
    for (const std::string& line : CheckLines(checks, warnings)) std::cerr << line << '\n';
}

json DescribeChecks(const std::vector<FileCheck>& checks) {
    auto list = [](const std::vector<FileNote>& notes) {
        json array = json::array();
        for (const FileNote& note : notes) array.push_back({{"line", note.line}, {"text", note.text}});
        return array;
    };
    json files = json::array();
    for (const FileCheck& check : checks) {
        const std::optional<FileNote>& failure = check.notes.failure;
        files.push_back(
            {{"name", check.name},
             {"result", check.result},
             {"failure", failure ? json{{"line", failure->line}, {"reason", failure->text}} : json()},
             {"refusals", list(check.notes.refusals)},
             {"warnings", list(check.notes.warnings)},
             {"warningsLeftOut", check.notes.warningsLeftOut}});
    }
    return files;
}

// An image as the parser read it; its tables' data blocks only when asked, as they hold the whole file.
json DescribeImage(const clsFile& image, bool data) {
    json tables = json::array();
    const colDefTables& definitions = image.Definitiontables();
    for (int32_t t = 0; t < definitions.Count(); ++t) {
        DataDefinition table = definitions.Item(t);
        json described = {{"address", std::stol(table.Address)},
                          {"length", table.Length},
                          {"bytes", table.DataBlocks->Bytes()},
                          {"blockCount", table.DataBlocks->Count()}};
        if (data) {
            described["blocks"] = json::array();
            for (int32_t b = 0; b < table.DataBlocks->Count(); ++b)
                described["blocks"].push_back(table.DataBlocks->Item(b));
        }
        tables.push_back(described);
    }
    return {{"name", image.Name},
            {"tagName", image.TagName},
            {"fileType", image.strFileType},
            {"terminator", image.strFileTerminator},
            {"bits", image.intNumberOfBits()},
            {"hardware", image.strHardware},
            {"deviceId", image.strDeviceID},
            {"networkId", image.strNetWorkID},
            {"tables", tables}};
}

void PrintImage(const clsFile& image) {
    std::cout << image.Name << "\n  tag \"" << image.TagName << "\", " << image.strFileType
              << " records ended by " << image.strFileTerminator << ", " << image.intNumberOfBits()
              << "-bit words\n";
    if (!image.strHardware.empty()) {
        std::cout << "  hardware " << image.strHardware << ", device " << image.strDeviceID << ", network "
                  << image.strNetWorkID << '\n';
    }
    const colDefTables& definitions = image.Definitiontables();
    for (int32_t t = 0; t < definitions.Count(); ++t) {
        DataDefinition table = definitions.Item(t);
        char address[16];
        std::snprintf(address, sizeof address, "0x%08X", static_cast<uint32_t>(std::stol(table.Address)));
        std::cout << "  table at " << address << ": " << table.Length << " words, "
                  << table.DataBlocks->Bytes() << " bytes in " << table.DataBlocks->Count() << " blocks\n";
    }
}

// The error number named by `text`, when it is one of the component's.
std::optional<int32_t> KnownErrorNumber(const std::string& text) {
    int32_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (std::ranges::find(kErrorNumbers, number) == kErrorNumbers.end()) return std::nullopt;
    return number;
}

}  // namespace

int Report(const Options& options) {
    return RunOnRadio(options, [](clsDLManager& manager, json&) { return manager.ReportConfigurations(); });
}

int Download(const Options& options, const std::vector<std::string>& files) {
    std::optional<std::string> list = FileList(files);
    if (!list) return kUsageError;
    // Nothing goes to the radio for a file the parse or the radio would give up on halfway.
    std::vector<FileCheck> checks = CheckFiles(files, options.radio == RADIO_FMX).files;
    PrintChecks(checks, !options.quiet);
    if (int32_t failed = FirstFailure(checks); failed != 0) {
        if (!options.quiet) std::cerr << ErrorStatusText(failed) << '\n';
        return Finish(options, failed, {{"files", DescribeChecks(checks)}});
    }
    if (AnyRefusal(checks)) {
        std::cerr
            << "kx6000-download: nothing sent: the radio would refuse this data after erasing its flash\n";
        if (options.json)
            PrintJson({{"result", kRefused}, {"message", "refused"}, {"files", DescribeChecks(checks)}});
        return kFailed;
    }
    bool verified = true;
    int status = RunOnRadio(options, [&](clsDLManager& manager, json& document) {
        int32_t loaded = manager.LoadFiles(*list);
        if (loaded != 0) return loaded;
        std::vector<std::string> tags;
        for (const colFiles::FilePtr& image : *manager.LoadedFiles()) tags.push_back(image->TagName);
        int32_t result = manager.DownLoad();
        if (result == 0 && options.verify) verified = Verify(manager, tags, document);
        return result;
    });
    return status == 0 && !verified ? kFailed : status;
}

// Whether each "NNDD|ProductID|" pair names a configuration the radio listed and the window would let a
// technician tick; says why not for each that fails.
bool ErasesAllowed(const clsDLManager& manager, const std::string& pairs, bool force) {
    auto upper = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    const colConfigurations& listed = *manager.Radio()->Configurations;
    // The window's hardware row: the first configuration starting "KXA".
    std::shared_ptr<clsConfiguration> hardware;
    for (const auto& configuration : listed) {
        if (upper(configuration->ProductID.substr(0, 3)) == "KXA") {
            hardware = configuration;
            break;
        }
    }
    bool allowed = true;
    for (size_t at = 0; at < pairs.size();) {
        std::string device = pairs.substr(at, 4);
        size_t end = pairs.find('|', at + 5);
        std::string name = pairs.substr(at + 5, end - at - 5);
        at = end + 1;
        std::shared_ptr<clsConfiguration> found;
        for (const auto& configuration : listed) {
            if (configuration->ProductID == name &&
                DeviceIdText(configuration->NetWorkID, configuration->DeviceID) == upper(device))
                found = configuration;
        }
        std::string why;
        if (!found) {
            why = "the radio lists no such configuration";
        } else if (found == hardware && !force) {
            why = "it is the radio's hardware configuration (--force erases it)";
        } else if (name.size() >= 5 && upper(name.substr(0, 1) + name.substr(4, 1)) == "ZB" && !Debug &&
                   !force) {
            why = "it is boot code, erased only in test mode (--force erases it)";
        }
        if (why.empty()) continue;
        std::cerr << "kx6000-download: not erasing " << device << ":" << name << ": " << why << '\n';
        allowed = false;
    }
    return allowed;
}

int Erase(const Options& options, const std::vector<std::string>& configurations) {
    // [NNDD:]PRODUCTID: the device (network and device ID, two hex digits each) and the product ID.
    std::string pairs;
    for (const std::string& argument : configurations) {
        bool device =
            argument.size() >= 5 && argument[4] == ':' &&
            std::all_of(argument.begin(), argument.begin() + 4, [](char c) { return std::isxdigit(c); });
        std::string name = device ? argument.substr(5) : argument;
        if (name.empty() || name.find('|') != std::string::npos) {
            std::cerr << "kx6000-download: '" << argument
                      << "' names no configuration: give [NNDD:]PRODUCTID\n";
            return kUsageError;
        }
        pairs += (device ? argument.substr(0, 4) : "0000") + "|" + name + "|";
    }
    return RunOnRadio(options, [&](clsDLManager& manager, json&) -> int32_t {
        int32_t reported = manager.ReportConfigurations();
        if (reported != 0) return reported;
        if (!ErasesAllowed(manager, pairs, options.force)) return kRefused;
        return manager.EraseSelected(pairs);
    });
}

int Validate(const Options& options, const std::vector<std::string>& files) {
    std::optional<std::string> list = FileList(files);
    if (!list) return kUsageError;
    // One parse gives the explanations and the images: validate talks to no radio, so it makes no manager.
    RunCheck run = CheckFiles(files, options.radio == RADIO_FMX);
    const std::vector<FileCheck>& checks = run.files;
    PrintChecks(checks, true);
    int32_t result = FirstFailure(checks);
    json images = json::array();
    for (const colFiles::FilePtr& image : run.images) {
        if (options.json) {
            images.push_back(DescribeImage(*image, options.data));
        } else {
            PrintImage(*image);
        }
    }
    int status = Finish(options, result, {{"images", images}, {"files", DescribeChecks(checks)}});
    return AnyRefusal(checks) ? kFailed : status;
}

int ListErrors(const Options& options, const std::optional<std::string>& which) {
    std::vector<int32_t> numbers(kErrorNumbers.begin(), kErrorNumbers.end());
    if (which) {
        std::optional<int32_t> number = KnownErrorNumber(*which);
        if (!number) {
            std::cerr
                << "kx6000-download: '" << *which
                << "' is not an error number of the component; 'kx6000-download error' lists them all\n";
            return kUsageError;
        }
        numbers = {*number};
    }
    json errors = json::array();
    for (int32_t n : numbers) {
        if (options.json) {
            errors.push_back({{"number", n}, {"message", ErrorMessage(n)}});
        } else {
            std::cout << n << " - " << ErrorMessage(n) << '\n';
        }
    }
    if (options.json) PrintJson({{"errors", errors}});
    return 0;
}

}  // namespace kx6000::cli
