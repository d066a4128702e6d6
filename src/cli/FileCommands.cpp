// The commands about download files: validate, the checks before a download, and the error table.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>

#include "cli/Commands.h"
#include "files/FileChecks.h"
#include "manager/clsDLManager.h"
#include "resources/ResourceTexts.h"
#include "support/Errors.h"
#include "support/OutsideText.h"

namespace kx6000::cli {
namespace {

// A whole decimal number, or nothing.
template <typename Number>
std::optional<Number> Decimal(const std::string& text) {
    Number number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

// A note's line; null for a note about no one line.
json Line(int32_t line) {
    return line > 0 ? json(line) : json();
}

json Lines(const std::vector<FileNote>& notes) {
    json array = json::array();
    for (const FileNote& note : notes) array.push_back({{"line", Line(note.line)}, {"text", note.text}});
    return array;
}

json DescribeChecks(const std::vector<FileCheck>& checks) {
    json files = json::array();
    for (const FileCheck& check : checks) {
        const std::optional<FileNote>& failure = check.notes.failure;
        files.push_back(
            {{"name", check.name},
             {"result", check.result},
             {"failure", failure ? json{{"line", Line(failure->line)}, {"reason", failure->text}} : json()},
             {"warnings", Lines(check.notes.warnings)},
             {"warningsLeftOut", check.notes.warningsLeftOut}});
    }
    return files;
}

json Refusals(const std::vector<FileCheck>& checks) {
    json refused = json::array();
    for (const FileCheck& check : checks) {
        for (const FileNote& note : check.notes.refusals)
            refused.push_back(Refusal(check.name, note.line, note.text));
    }
    return refused;
}

// Each image's file and its number in that file (1 for the first), in the images' order. The manager
// keys a file's further images by the file's name with a "1" added per image: that key is not shown.
// An image as the parser read it; its tables' data blocks only when asked, as they hold the whole file:
// then each table's "blocks" is null, to be written by PrintJson from the blocks added to `data`.
json DescribeImage(const clsFile& image, std::vector<std::shared_ptr<const colDataBlocks>>* data) {
    json tables = json::array();
    const colDefTables& definitions = image.Definitiontables();
    for (int32_t t = 0; t < definitions.Count(); ++t) {
        DataDefinition table = definitions.Item(t);
        json described = {{"address", std::stol(table.Address)},
                          {"length", table.Length},
                          {"bytes", table.DataBlocks->Bytes()},
                          {"blockCount", table.DataBlocks->Count()}};
        if (data) {
            described["blocks"] = nullptr;
            data->push_back(table.DataBlocks);
        }
        tables.push_back(described);
    }
    // The IDs are decimal texts in the file; one that is not a number is null here (a download gives 34).
    auto id = [](const std::string& text) {
        return Decimal<int64_t>(text) ? json(*Decimal<int64_t>(text)) : json();
    };
    return {{"name", image.SourceFile},
            {"image", image.ImageInFile},
            {"tagName", image.TagName},
            {"fileType", image.strFileType},
            {"terminator", image.strFileTerminator},
            {"bits", image.intNumberOfBits()},
            {"hardware", image.strHardware},
            {"deviceId", id(image.strDeviceID)},
            {"networkId", id(image.strNetWorkID)},
            {"tables", tables}};
}

void PrintImage(const clsFile& image) {
    std::cout << Printable(image.ShownName()) << "\n  tag \"" << Printable(image.TagName) << "\", "
              << Printable(image.strFileType) << " records ended by " << Printable(image.strFileTerminator)
              << ", " << image.intNumberOfBits() << "-bit words\n";
    if (!image.strHardware.empty()) {
        std::cout << "  hardware " << Printable(image.strHardware) << ", device "
                  << Printable(image.strDeviceID) << ", network " << Printable(image.strNetWorkID) << '\n';
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

// Whether the parse read `image` to its terminator: a failing parse leaves the image it gave up in behind.
bool ReadWhole(const clsFile& image, const std::vector<FileCheck>& checks) {
    // The last file of that name: a file named twice is read twice, the later reading holds the image.
    auto file = std::find_if(checks.rbegin(), checks.rend(),
                             [&](const FileCheck& check) { return check.name == image.SourceFile; });
    return file == checks.rend() || image.ImageInFile <= file->notes.wholeImages;
}

// The files checked and explained; the result is the run's number (a failure's, else a refusal's).
int32_t Check(const std::vector<FileCheck>& checks, bool warnings, json& document) {
    for (const std::string& line : CheckLines(checks, warnings)) std::cerr << Printable(line) << '\n';
    document["files"] = DescribeChecks(checks);
    document["refused"] = Refusals(checks);
    return RunResult(checks);
}

}  // namespace

std::optional<std::string> FileList(const std::vector<std::string>& files, bool asJson,
                                    const std::string& command) {
    std::string list;
    for (const std::string& file : files) {
        if (file.find('|') != std::string::npos || file.empty()) {
            UsageError(
                "kx6000-download: '" + file + "' cannot be loaded: a file name must not be empty or hold '|'",
                asJson, command);
            return std::nullopt;
        }
        list += (list.empty() ? "" : "|") + file;
    }
    return list;
}

int32_t CheckDownload(const Options& options, const std::vector<FileCheck>& checks, const colFiles& images,
                      json& run, bool severalRadios) {
    // A worker's parent has explained the files already: a worker says only what its own parse refuses.
    int32_t result = Check(checks, !options.quiet && !options.progressLines, run);
    if (result != 0 && FirstFailure(checks) == 0) {
        std::cerr << "kx6000-download: nothing sent: the files are refused (above)\n";
    } else if (result != 0 && (options.quiet || severalRadios)) {
        // LoadFiles' own status line has said it otherwise.
        std::cerr << ErrorStatusText(result) << '\n';
    } else if (severalRadios && options.radio == RADIO_FMX && !options.yes && !options.dryRun) {
        for (const colFiles::FilePtr& image : images) {
            if (!image->TagName.starts_with("ZMA1G")) continue;
            run["refused"].push_back(
                Refusal(image->ShownName(), 0,
                        "an FPGA image: the workers of several radios cannot ask, so it is "
                        "written only with --yes"));
            result = kDeclined;
        }
        if (result != 0)
            std::cerr
                << "kx6000-download: nothing sent: an FPGA image may damage the radios; rerun with --yes "
                   "to write it to every radio\n";
    }
    run["result"] = result;
    return result;
}

int Validate(const Options& options, const std::vector<std::string>& files) {
    if (!FileList(files, options.json, "validate")) return kUsageError;
    // One parse gives the explanations and the images: validate talks to no radio, so it makes no manager.
    RunCheck run = CheckFiles(files, options.radio == RADIO_FMX);
    json document = json::object();
    int32_t result = Check(run.files, true, document);
    json images = json::array();
    std::vector<std::shared_ptr<const colDataBlocks>> blocks;
    for (const colFiles::FilePtr& image : run.images) {
        if (!ReadWhole(*image, run.files)) continue;
        if (options.json) {
            images.push_back(DescribeImage(*image, options.data ? &blocks : nullptr));
        } else {
            PrintImage(*image);
        }
    }
    if (options.json) {
        document.update({{"result", result}, {"message", ErrorMessage(result)}, {"images", images}});
        PrintJson(document, blocks);
    }
    // Without status lines a failure has not been said yet; a refusal has said why.
    if (FirstFailure(run.files) != 0 && options.quiet) std::cerr << ErrorStatusText(result) << '\n';
    return result == 0 ? 0 : kFailed;
}

int ListErrors(const Options& options, const std::optional<std::string>& which) {
    std::vector<int32_t> numbers(kErrorNumbers.begin(), kErrorNumbers.end());
    if (which) {
        std::optional<int32_t> number = Decimal<int32_t>(*which);
        if (!number || std::ranges::find(kErrorNumbers, *number) == kErrorNumbers.end()) {
            return UsageError(
                "kx6000-download: '" + *which +
                    "' is not an error number of the component; 'kx6000-download error' lists them all",
                options.json, "error");
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
