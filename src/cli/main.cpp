// kx6000-download: the component for a technician at a terminal or a script.
// Exit status: 0 success, 1 the operation failed, 2 the command line is wrong.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "manager/clsDLManager.h"
#include "resources/ResourceTexts.h"
#include "support/Errors.h"
#include "support/Version.h"
#include "ui/ConsoleForm.h"

namespace {

using namespace kx6000;
using nlohmann::json;

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

struct Options {
    int radio = RADIO_FMX;
    bool json = false;
    bool quiet = false;
};

void PrintJson(const json& document) {
    std::cout << document.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

// The error number named by `text`, when it is one of the component's.
std::optional<int32_t> KnownErrorNumber(const std::string& text) {
    int32_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (std::ranges::find(kErrorNumbers, number) == kErrorNumbers.end()) return std::nullopt;
    return number;
}

int ListErrors(const std::optional<std::string>& which) {
    if (!which) {
        for (int32_t n : kErrorNumbers) std::cout << n << " - " << ErrorMessage(n) << '\n';
        return 0;
    }
    std::optional<int32_t> number = KnownErrorNumber(*which);
    if (!number) {
        std::cerr << "kx6000-download: '" << *which
                  << "' is not an error number of the component; 'kx6000-download error' lists them all\n";
        return kUsageError;
    }
    std::cout << *number << " - " << ErrorMessage(*number) << '\n';
    return 0;
}

std::unique_ptr<clsDLManager> NewManager(const Options& options) {
    ConsoleOptions console{.quiet = options.quiet,
                           .progressBar = isatty(STDERR_FILENO) == 1,
                           .canAsk = isatty(STDIN_FILENO) == 1};
    auto manager =
        std::make_unique<clsDLManager>(std::make_unique<ConsoleForm>(console, std::cerr, std::cin));
    manager->RadioType(static_cast<enmRadioType>(options.radio));
    return manager;
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
    return result == 0 ? 0 : kFailed;
}

json DescribeImage(const clsFile& image) {
    json tables = json::array();
    const colDefTables& definitions = image.Definitiontables();
    for (int32_t t = 0; t < definitions.Count(); ++t) {
        DataDefinition table = definitions.Item(t);
        json blocks = json::array();
        for (int32_t b = 0; b < table.DataBlocks->Count(); ++b) blocks.push_back(table.DataBlocks->Item(b));
        tables.push_back(
            {{"address", std::stol(table.Address)}, {"length", table.Length}, {"blocks", blocks}});
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
        size_t digits = 0;
        for (int32_t b = 0; b < table.DataBlocks->Count(); ++b) digits += table.DataBlocks->Item(b).size();
        char address[16];
        std::snprintf(address, sizeof address, "0x%08X", static_cast<uint32_t>(std::stol(table.Address)));
        std::cout << "  table at " << address << ": " << table.Length << " words, " << digits / 2
                  << " bytes in " << table.DataBlocks->Count() << " blocks\n";
    }
}

int Validate(const Options& options, const std::vector<std::string>& files) {
    std::string list;
    for (const std::string& file : files) {
        if (file.find('|') != std::string::npos || file.empty()) {
            std::cerr << "kx6000-download: '" << file
                      << "' cannot be loaded: a file name must not be empty or hold '|'\n";
            return kUsageError;
        }
        list += (list.empty() ? "" : "|") + file;
    }
    auto manager = NewManager(options);
    int32_t result = manager->LoadFiles(list);
    json images = json::array();
    for (const colFiles::FilePtr& image : *manager->LoadedFiles()) {
        if (options.json) {
            images.push_back(DescribeImage(*image));
        } else {
            PrintImage(*image);
        }
    }
    return Finish(options, result, {{"images", images}});
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "KX6000 download component: reads, writes and erases the software and configurations "
        "of KX6100 and KX6200 radios over a serial line.",
        "kx6000-download"};
    app.set_version_flag("--version", VersionText(), "Print the component's version and exit");
    app.require_subcommand(1);

    Options options;
    app.add_option("--radio", options.radio, "Radio model: 6100 or 6200 (default 6100)")
        ->check(CLI::IsMember({6100, 6200}));
    app.add_flag("--json", options.json, "Print one JSON object on stdout");
    app.add_flag("--quiet", options.quiet, "No status lines and no progress bar");

    std::vector<std::string> files;
    CLI::App* validate = app.add_subcommand("validate", "Check download files and describe their images");
    validate->add_option("FILE", files, "Download files (S-record)")->required();

    std::optional<std::string> errorNumber;
    CLI::App* error = app.add_subcommand("error", "Print the component's error numbers with their messages");
    error->add_option("N", errorNumber, "Print only this error number");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kUsageError;
    }

    if (validate->parsed()) return Validate(options, files);
    if (error->parsed()) return ListErrors(errorNumber);
    return kUsageError;
}
