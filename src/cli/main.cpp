// kx6000-download: the component for a technician at a terminal or a script.
// Exit status: 0 success, 1 the operation failed, 2 the command line is wrong.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iostream>
#include <optional>
#include <string>

#include "resources/ResourceTexts.h"
#include "support/Errors.h"
#include "support/Version.h"

namespace {

using namespace kx6000;

constexpr int kUsageError = 2;

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

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "KX6000 download component: reads, writes and erases the software and configurations "
        "of KX6100 and KX6200 radios over a serial line.",
        "kx6000-download"};
    app.set_version_flag("--version", VersionText(), "Print the component's version and exit");
    app.require_subcommand(1);

    std::optional<std::string> errorNumber;
    CLI::App* error = app.add_subcommand("error", "Print the component's error numbers with their messages");
    error->add_option("N", errorNumber, "Print only this error number");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : kUsageError;
    }

    if (error->parsed()) return ListErrors(errorNumber);
    return kUsageError;
}
