#include "cli/Workers.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

#include "manager/clsDLManager.h"
#include "platform/Console.h"
#include "platform/Processes.h"
#include "support/Errors.h"
#include "support/OutsideText.h"
#include "support/Paths.h"
#include "ui/ConsoleForm.h"

namespace kx6000::cli {
namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopsSeen = 0;
volatile std::sig_atomic_t firstStop = 0;

struct Worker {
    std::string device;
    size_t child = 0;
    bool outOpen = true,
         errOpen = true;  // its stdout (the JSON result) and its stderr (status and progress lines)
    std::string result, partialLine;
    std::string image, state;
    int percent = 0;
    int64_t rate = 0;                        // bytes a second of the image being written
    std::map<std::string, int64_t> written;  // bytes per image
    std::vector<std::string> explanations;   // its "kx6000-download: ..." lines
    Clock::time_point start, end;
    int status = -1;  // its exit status
};

// "KX6000-ttyUSB0" for /dev/ttyUSB0, "KX6000-pts_3" for /dev/pts/3, "KX6000-COM3" for \\.\COM3: the
// device's log folder under the root, named so that no system takes it for a device (C:\COM3 is COM3).
std::string FolderName(const std::string& device) {
    std::string name = device;
    for (std::string_view prefix : {"/dev/", "\\\\.\\"})
        if (name.starts_with(prefix)) name.erase(0, prefix.size());
    std::ranges::replace(name, '/', '_');
    std::ranges::replace(name, '\\', '_');
    return "KX6000-" + name;
}

std::vector<std::string> WorkerArguments(const Options& options, const std::string& device,
                                         const std::string& command,
                                         const std::vector<std::string>& operands) {
    std::vector<std::string> arguments = {"kx6000-download",
                                          "--port",
                                          options.port,
                                          "--device",
                                          device,
                                          "--radio",
                                          std::to_string(options.radio),
                                          "--json",
                                          "--progress-lines"};
    // Only what the command was given: it was checked to take that.
    if (options.baud != "auto") arguments.insert(arguments.end(), {"--baud", options.baud});
    if (options.unprotected) arguments.push_back("--unprotected");
    if (options.yes) arguments.push_back("--yes");
    if (options.powerCycleWait) {
        arguments.push_back("--power-cycle-wait");
        arguments.push_back(std::to_string(*options.powerCycleWait));
    }
    arguments.push_back(command);
    if (options.force) arguments.push_back("--force");
    if (options.verify) arguments.push_back("--verify");
    if (options.dryRun) arguments.push_back("--dry-run");
    arguments.push_back("--");
    arguments.insert(arguments.end(), operands.begin(), operands.end());
    return arguments;
}

void Start(Children& children, Worker& worker, const std::vector<std::string>& arguments) {
    worker.start = Clock::now();
    // Its input from nowhere: several radios cannot share one terminal's answers.
    worker.child = children.Start(arguments, "KX6000_LOG_FOLDER", RootPath(FolderName(worker.device)));
}

// A progress line updates the worker's row; a status line is its state, relayed when there is no table.
void TakeLine(Worker& worker, const std::string& line, bool relay) {
    std::istringstream fields(line);
    std::string word;
    int64_t done = 0, total = 0;
    if (fields >> word && word == "progress" && fields >> worker.percent >> done >> total >> worker.rate) {
        std::getline(fields >> std::ws, worker.image);
        worker.written[worker.image] = std::max(worker.written[worker.image], done);
        return;
    }
    if (line.starts_with("kx6000-download: ")) worker.explanations.push_back(line);
    worker.state = line;
    if (relay) std::cerr << worker.device << ": " << line << std::endl;
}

// Takes what a stream of the worker gave; an empty read closed it.
void Take(Worker& worker, const ChildOutput& output, bool relay) {
    if (output.bytes.empty()) {
        (output.errors ? worker.errOpen : worker.outOpen) = false;
        return;
    }
    if (!output.errors) {
        worker.result += output.bytes;
        return;
    }
    worker.partialLine += output.bytes;
    for (size_t end; (end = worker.partialLine.find('\n')) != std::string::npos;) {
        // A worker on Windows ends its lines with CR LF.
        size_t length = end > 0 && worker.partialLine[end - 1] == '\r' ? end - 1 : end;
        TakeLine(worker, worker.partialLine.substr(0, length), relay);
        worker.partialLine.erase(0, end + 1);
    }
}

int64_t BytesWritten(const Worker& worker) {
    int64_t bytes = 0;
    for (const auto& [image, done] : worker.written) bytes += done;
    return bytes;
}

std::string Rate(double bytesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KB/s", bytesPerSecond / 1024);
    return text;
}

// The width of the terminal on `fd`; none when it is not one.
std::optional<size_t> Columns(StandardStream stream) {
    std::optional<int> columns = TerminalColumns(TerminalOf(stream));
    return columns ? std::optional<size_t>(static_cast<size_t>(*columns)) : std::nullopt;
}

std::string Padded(std::string text, size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

// One line per radio, redrawn in place, each fitted to the terminal as the one radio's progress line is.
class ProgressTable {
public:
    void Draw(const std::vector<Worker>& workers) {
        // Never as wide as the terminal: the "^C" it echoes at the cursor must not wrap a line.
        size_t room = std::max<size_t>(Columns(StandardStream::Error).value_or(80), 4) - 3;
        size_t deviceWidth = 0;
        for (const Worker& worker : workers) deviceWidth = std::max(deviceWidth, worker.device.size());
        std::string screen = drawn ? "\x1b[" + std::to_string(workers.size()) + "A" : "";
        for (const Worker& worker : workers) {
            char percent[8];
            std::snprintf(percent, sizeof percent, "%3d%%", worker.percent);
            // The state gives way last: the rate first, then the image.
            std::vector<std::string> fields = {
                Padded(worker.device, deviceWidth), percent, Padded(worker.image, 22),
                Padded(Rate(static_cast<double>(worker.rate)), 11), worker.state};
            screen += "\r\x1b[K" + FitLine(fields, 4, {3, 2}, room) + "\n";
        }
        std::cerr << screen << std::flush;
        drawn = true;
    }

private:
    bool drawn = false;
};

// The radio's part of the worker's document, with the time the parent saw it take.
json Describe(const Worker& worker, bool stopped, bool download) {
    json document = json::parse(worker.result, nullptr, false);
    json radio;
    if (document.is_object() && document.contains("radios") && document["radios"].size() == 1) {
        radio = document["radios"][0];
    } else {
        // A worker ended without its result (a second Ctrl-C ends it at once): an unexpected end, as the
        // manager numbers one.
        radio = {{"result", 53},
                 {"message", ErrorMessage(53)},
                 {"configurations", json::array()},
                 {"refused", json::array()},
                 {"stopped", stopped ? json{{"signal", firstStop == SIGINT ? "SIGINT" : "SIGTERM"},
                                            {"during", nullptr},
                                            {"radioInUpgradeMode", true}}
                                     : json()}};
        if (download) radio.update({{"verified", nullptr}, {"verify", json::array()}});
    }
    radio["device"] = worker.device;
    radio["seconds"] = std::chrono::duration<double>(worker.end - worker.start).count();
    return radio;
}

// The table of results, fitted to the terminal when stdout is one; for report, each radio's list after it.
void PrintSummary(const std::vector<Worker>& workers, const std::vector<json>& radios, bool report,
                  bool devices) {
    size_t room = Columns(StandardStream::Output).value_or(std::string::npos);
    size_t deviceWidth = 6;
    for (const Worker& worker : workers) deviceWidth = std::max(deviceWidth, worker.device.size());
    // The result last, at least as long as a shortened one, so every row leaves out the same columns.
    auto row = [&](const std::string& device, const std::string& time, const std::string& rate,
                   const std::string& result) {
        std::printf(
            "%s\n",
            FitLine({Padded(device, deviceWidth), time, rate, Padded(result, 12)}, 3, {2, 1}, room).c_str());
    };
    row("Device", "     Time", "       Rate", "Result");
    for (size_t i = 0; i < workers.size(); ++i) {
        double seconds = radios[i]["seconds"].get<double>();
        char time[32];
        std::snprintf(time, sizeof time, "%7.1f s", seconds);
        char rate[32];
        std::snprintf(rate, sizeof rate, "%11s",
                      Rate(static_cast<double>(BytesWritten(workers[i])) / std::max(seconds, 1e-3)).c_str());
        row(workers[i].device, time, rate, Printable(Outcome(radios[i])));
    }
    for (const json& radio : radios) {
        if (report && radio["result"] == 0) {
            std::printf("\n%s:\n", radio["device"].get<std::string>().c_str());
            PrintConfigurations(radio["configurations"], devices);
        }
        if (radio.contains("plan")) {
            std::printf("\n%s:", radio["device"].get<std::string>().c_str());
            PrintPlan(radio["plan"]);
        }
    }
}

}  // namespace

int RunWorkers(const Options& options, const std::vector<std::string>& devices, const std::string& command,
               const std::vector<std::string>& operands) {
    // What the workers would each say about the command line and the files, said once before they start.
    json run = json::object();
    if (command == "erase" && !ErasePairs(operands, options.json)) return kUsageError;
    if (command == "download") {
        if (!FileList(operands, options.json, "download")) return kUsageError;
        run = {{"files", json::array()}, {"verified", nullptr}};
        // The parent writes nothing: its parse is for saying once what each worker's own would say.
        RunCheck check = CheckFiles(operands, options.radio == RADIO_FMX);
        if (CheckDownload(options, check.files, check.images, run, true) != 0) {
            if (options.json) PrintJson(RunDocument(run, {}));
            return kFailed;
        }
    }
    CountStopRequests(firstStop, stopsSeen);

    Children children;
    std::vector<Worker> workers(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        workers[i].device = devices[i];
        Start(children, workers[i], WorkerArguments(options, devices[i], command, operands));
    }
    bool table = DrawingTerminal(StandardStream::Error) >= 0 && !options.quiet;
    ProgressTable progress;
    int forwarded = 0;
    for (std::vector<ChildOutput> outputs; children.Wait(table ? 250 : -1, outputs);) {
        // Each Ctrl-C goes on to every worker: the first stops its operation, a second ends it at once.
        for (; forwarded < stopsSeen; ++forwarded) {
            for (const Worker& worker : workers) {
                if (worker.status < 0) children.Stop(worker.child, firstStop);
            }
        }
        for (const ChildOutput& output : outputs) {
            Worker& worker = workers[output.child];
            Take(worker, output, !table && !options.quiet);
            if (!output.bytes.empty() || worker.outOpen || worker.errOpen) continue;
            worker.status = children.Status(worker.child);
            worker.end = Clock::now();
        }
        if (table) progress.Draw(workers);
    }

    std::vector<json> radios;
    for (const Worker& worker : workers)
        radios.push_back(Describe(worker, firstStop != 0, command == "download"));
    if (options.json) {
        PrintJson(RunDocument(run, radios));
    } else {
        PrintSummary(workers, radios, command == "report", options.radio == 6200);
    }
    if (table) {
        for (const Worker& worker : workers) {
            for (const std::string& line : worker.explanations)
                std::cerr << worker.device << ": " << line << '\n';
        }
    }
    if (firstStop != 0) return 128 + firstStop;
    bool succeeded = std::ranges::all_of(workers, [](const Worker& worker) { return worker.status == 0; });
    return succeeded ? 0 : kFailed;
}

}  // namespace kx6000::cli
