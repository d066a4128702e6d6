#include "cli/Commands.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>

#include "manager/Plan.h"
#include "manager/clsDLManager.h"
#include "platform/Console.h"
#include "platform/Holders.h"
#include "platform/Runtime.h"
#include "platform/Settings.h"
#include "port/NetworkLine.h"
#include "radio/clsRadio.h"
#include "resources/ResourceTexts.h"
#include "support/Errors.h"
#include "support/OutsideText.h"
#include "support/Paths.h"
#include "support/Program.h"
#include "ui/ConsoleForm.h"
#include "ui/WindowRules.h"

namespace kx6000::cli {
namespace {

constexpr const char* kListPorts = "'kx6000-download ports' lists the devices found";

std::unique_ptr<clsDLManager> NewManager(const Options& options) {
    auto baudIndex = std::ranges::find(kBaudRateItems, options.baud == "auto" ? "Auto" : options.baud);
    ConsoleOptions console{
        .quiet = options.quiet,
        .terminal = DrawingTerminal(StandardStream::Error),
        .progressLines = options.progressLines,
        .canAsk = TerminalOf(StandardStream::Input) >= 0,
        .yes = options.yes,
        .accessLevel = static_cast<int16_t>(options.unprotected ? 1 : 0),
        .baudRateIndex = static_cast<int16_t>(baudIndex - kBaudRateItems.begin()),
        .powerCycleWait = options.powerCycleWait.value_or(TerminalOf(StandardStream::Input) >= 0 ? 0 : 60)};
    auto manager =
        std::make_unique<clsDLManager>(std::make_unique<ConsoleForm>(console, std::cerr, std::cin));
    manager->RadioType(static_cast<enmRadioType>(options.radio));
    return manager;
}

// What the system said about a port that failed, and what a technician can do about it.
void ExplainPortFailure(int32_t result, const std::string& port) {
    if (result != 11 && result != 12 && result != 15) return;
    const PortFailure& failure = LastPortFailure;
    if (failure.device.empty()) {
        if (result == 11) {
            std::cerr << "kx6000-download: port " << port << " reaches no serial device; " << kListPorts
                      << ", --device PATH chooses one\n";
        }
        return;
    }
    std::cerr << "kx6000-download: " << failure.device << ": " << failure.error.message();
    if (NetworkLine::Names(failure.device)) {
        // The server keeps its port to one client and says nothing of the others.
        if (result == 11) std::cerr << "; check the host name, the port and that the server runs there";
        if (failure.kind == DeviceFailure::HungUp) std::cerr << "; the connection to the server was lost";
    } else if (failure.kind == DeviceFailure::Denied) {
        std::cerr
            << "; add the user to the 'dialout' group (sudo usermod -aG dialout $USER) and log in again";
    } else if (failure.kind == DeviceFailure::InUse) {
        std::string holders = Holders(failure.device);
        // A program names itself (its command line is its own to set): shown escaped.
        std::cerr << (holders.empty() ? "; another program holds it" : "; held by " + Printable(holders));
    } else if (failure.kind == DeviceFailure::HungUp) {
        // The system's reason for a pulled adapter may be access denied: said plainly, so it is not taken for
        // another program.
        std::cerr << "; the device went away";
    } else if (result == 11) {
        std::cerr << "; choose the device with --device PATH (" << kListPorts << ")";
    }
    std::cerr << '\n';
}

json Configurations(const clsDLManager& manager) {
    json list = json::array();
    if (manager.Radio() == nullptr) return list;
    for (const auto& configuration : *manager.Radio()->Configurations) {
        list.push_back({{"productId", Utf8OfBytes(configuration->ProductID)},
                        {"status", configuration->Status},
                        {"address", configuration->ConfigurationAddress},
                        {"networkId", configuration->NetWorkID},
                        {"deviceId", configuration->DeviceID}});
    }
    return list;
}

// Test mode changes what the command line does without being asked: said before the radio is touched.
void SayTestMode() {
    if (!Debug) return;
    const std::string logs = NameOf(PathOf(LogPath("x")).parent_path()), written = WrittenFolder(logs);
    std::cerr << "kx6000-download: test mode (Debug=True in " << SettingsPlace() << "): logs are written to "
              << logs
              << (written != logs ? " (as this user runs, Windows keeps them in " + written + ")" : "")
              << ", and erase takes boot code without --force\n";
}

// A stop, said as one: where it came and whether the radio waits in upgrade mode.
json SayStopped(clsDLManager& manager) {
    auto& form = static_cast<ConsoleForm&>(manager.Form());
    std::string where = form.WhereStopped();
    form.PrintLine("kx6000-download: stopped" + (where.empty() ? "" : " during " + where) +
                   (manager.LeftInUpgradeMode()
                        ? "; the radio stays in upgrade mode until the next operation resets it"
                        : ""));
    return {{"signal", StopRequestName(StopRequested)},
            {"during", where.empty() ? json() : json(Utf8OfBytes(where))},
            {"radioInUpgradeMode", manager.LeftInUpgradeMode()}};
}

// Runs a radio operation on the chosen port and reports the configurations the radio holds after it. The
// operation adds to the radio's part of the document (refusals, the verdict of --verify); `run` holds the
// run's own fields.
int RunOnRadio(const Options& options, std::unique_ptr<clsDLManager> manager, json run,
               const std::function<int32_t(clsDLManager&, json&)>& operation) {
    if (!options.device.empty()) SetEnvironment("KX6000_PORT" + options.port, options.device);
    auto start = std::chrono::steady_clock::now();
    SayTestMode();
    // The workers' parent names each worker's device itself.
    const PortRoute route = RoutePort(std::stoi(options.port), SerialPorts());
    if (!options.quiet && !options.progressLines)
        std::cerr << "Port " << options.port << ": " << Printable(RouteText(route)) << '\n';
    // Only a port that names such a device reaches it: said, since a report writes into that line.
    if (route.info && !route.info->notUsed.empty())
        std::cerr << "kx6000-download: warning: " << Printable(route.device) << " is " << route.info->notUsed
                  << "; the radio operation writes to it because port " << options.port << " names it\n";
    // Ctrl-C or SIGTERM stops the operation through its closing steps; a second one ends the program at once.
    // Caught before the port opens, so a stop while it opens still removes the lock file's temporary file.
    CatchStopRequests(StopRequested);
    // Windows ends the program 5 s after the console closed, a log-off or a shut-down, done or not.
    SayWhenEndedFirst(
        "kx6000-download: Windows ended the program before its closing steps were done; the radio "
        "stays in upgrade mode until the next operation resets it");
    // The terminal is this program's window: the download takes its baud choice as the window takes its
    // list's.
    int32_t result = manager->SetPort(options.port, true);
    json radio = {{"device", options.device.empty() ? json() : json(options.device)},
                  {"refused", json::array()}};
    if (run.contains("verified")) radio.update({{"verified", nullptr}, {"verify", json::array()}});
    if (result == 0) result = operation(*manager, radio);
    // A stop after the operation's end changes nothing: it is done.
    bool stopped = StopRequested != 0 && result != 0;
    radio["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    radio["result"] = result;
    radio["message"] = ErrorMessage(result);
    radio["configurations"] = Configurations(*manager);
    radio["stopped"] = stopped ? SayStopped(*manager) : json();
    bool refused = !radio["refused"].empty();
    if (!options.json && !stopped && (result == 0 || refused))
        PrintConfigurations(radio["configurations"], manager->RadioType() == RADIO_MFX);
    if (options.json) PrintJson(RunDocument(run, {radio}));
    if (stopped) return 128 + StopRequested;
    // Without status lines the failure has not been shown yet; a refusal has said why.
    if (result != 0 && options.quiet && !refused) std::cerr << ErrorStatusText(result) << '\n';
    ExplainPortFailure(result, options.port);
    return result == 0 && radio.value("verified", json()) != false ? 0 : kFailed;
}

// Whether every image's tag is among the configurations the radio lists after the download, with status
// 0; says which is not and why.
bool Verify(const clsDLManager& manager, const std::vector<std::string>& tags, json& radio) {
    bool verified = true;
    for (const std::string& tag : tags) {
        std::shared_ptr<clsConfiguration> listed;
        for (const auto& configuration : *manager.Radio()->Configurations) {
            if (configuration->ProductID == tag) listed = configuration;
        }
        radio["verify"].push_back(
            {{"tag", Utf8OfBytes(tag)}, {"status", listed ? json(listed->Status) : json()}});
        if (listed && listed->Status == 0) continue;
        std::cerr << "kx6000-download: verify: " << Printable(tag) << ": ";
        if (!listed) {
            std::cerr << "the radio does not list it after the download\n";
        } else {
            StatusShown status = StatusOf(listed->Status);
            std::cerr << "the radio lists it with status " << listed->Status
                      << (status.named ? " (" + status.text + ")" : "") << '\n';
        }
        verified = false;
    }
    return verified;
}

// The refusals of an erase: each "NNDD|ProductID|" pair must name a configuration the radio listed and
// the window would let a technician tick; each that does not is said and described in `refused`.
void RefuseErases(const clsDLManager& manager, const std::string& pairs, bool force, json& refused) {
    auto upper = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    const colConfigurations& listed = *manager.Radio()->Configurations;
    const clsConfiguration* hardware = HardwareConfiguration(listed);
    for (size_t at = 0; at < pairs.size();) {
        std::string device = pairs.substr(at, 4);
        size_t end = pairs.find('|', at + 5);
        std::string name = pairs.substr(at + 5, end - at - 5);
        at = end + 1;
        std::shared_ptr<clsConfiguration> found;
        for (const auto& configuration : listed) {
            if (NamesConfiguration(name, configuration->ProductID) &&
                DeviceIdText(configuration->NetWorkID, configuration->DeviceID) == upper(device))
                found = configuration;
        }
        std::string why;
        if (!found) {
            why = "the radio lists no such configuration";
        } else if (found.get() == hardware && !force) {
            why = "it is the radio's hardware configuration (--force erases it)";
        } else if (!Erasable(KindOf(name), Debug) && !force) {
            why = "it is boot code, erased only in test mode (--force erases it)";
        }
        if (why.empty()) continue;
        std::cerr << "kx6000-download: not erasing " << Printable(device + ":" + name) << ": " << why << '\n';
        refused.push_back(Refusal(device + ":" + name, 0, why));
    }
}

}  // namespace

int Report(const Options& options) {
    return RunOnRadio(options, NewManager(options), json::object(),
                      [](clsDLManager& manager, json&) { return manager.ReportConfigurations(); });
}

int Download(const Options& options, const std::vector<std::string>& files) {
    std::optional<std::string> list = FileList(files, options.json, "download");
    if (!list) return kUsageError;
    json run = {{"files", json::array()}, {"verified", nullptr}};
    // Nothing goes to the radio for a file the parse or the radio would give up on halfway. The files are
    // parsed once, by the manager that writes them: what is checked is what is written.
    auto manager = NewManager(options);
    manager->LoadFiles(*list);
    if (int32_t refused =
            CheckDownload(options, manager->LoadedChecks(), *manager->LoadedFiles(), run, false);
        refused != 0) {
        if (options.json) PrintJson(RunDocument(run, {}));
        return kFailed;
    }
    return RunOnRadio(options, std::move(manager), run, [&](clsDLManager& manager, json& radio) {
        if (options.dryRun) {
            DownloadPlan plan;
            int32_t result = manager.DryRun(plan);
            if (result != 0) return result;
            radio["plan"] = PlanDocument(plan);
            if (!options.json) PrintPlan(radio["plan"]);
            return plan.result;
        }
        std::vector<std::string> tags;
        for (const colFiles::FilePtr& image : *manager.LoadedFiles()) tags.push_back(image->TagName);
        int32_t result = manager.DownLoad();
        if (result == 0 && options.verify) radio["verified"] = Verify(manager, tags, radio);
        return result;
    });
}

std::optional<std::string> ErasePairs(const std::vector<std::string>& configurations, bool asJson) {
    // [NNDD:]PRODUCTID: the device (network and device ID, two hex digits each) and the product ID. The
    // first ':' ends the device, so a product ID holding one is given as 0000:ID.
    std::string pairs;
    for (const std::string& argument : configurations) {
        size_t colon = argument.find(':');
        std::string device = colon == std::string::npos ? "0000" : argument.substr(0, colon);
        std::string name = colon == std::string::npos ? argument : argument.substr(colon + 1);
        if (device.size() != 4 || !std::ranges::all_of(device, [](char c) { return std::isxdigit(c); })) {
            UsageError("kx6000-download: '" + argument +
                           "': the device before ':' is four hex digits NNDD, the network and device IDs "
                           "(0102:KXD62_DEVICE); a product ID holding ':' is given as 0000:ID",
                       asJson, "erase");
            return std::nullopt;
        }
        if (name.empty() || name.find('|') != std::string::npos) {
            UsageError("kx6000-download: '" + argument +
                           "' names no configuration: give [NNDD:]PRODUCTID, a '|' in it as %7C",
                       asJson, "erase");
            return std::nullopt;
        }
        pairs += device + "|" + name + "|";
    }
    return pairs;
}

int Erase(const Options& options, const std::vector<std::string>& configurations) {
    std::optional<std::string> pairs = ErasePairs(configurations, options.json);
    if (!pairs) return kUsageError;
    return RunOnRadio(options, NewManager(options), json::object(),
                      [&](clsDLManager& manager, json& radio) -> int32_t {
                          int32_t reported = manager.ReportConfigurations();
                          if (reported != 0) return reported;
                          RefuseErases(manager, *pairs, options.force, radio["refused"]);
                          // Declined before the erase session, as a "No" to a question of the component is.
                          if (!radio["refused"].empty()) return kDeclined;
                          return manager.EraseSelected(*pairs);
                      });
}

}  // namespace kx6000::cli
