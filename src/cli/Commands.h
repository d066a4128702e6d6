// The commands of kx6000-download. Each returns the exit status: 0 success,
// 1 the operation failed, 2 the command line is wrong.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kx6000::cli {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

struct Options {
    std::string port = "1";
    std::string device;
    int radio = 6100;
    std::string baud = "auto";
    bool unprotected = false;
    bool yes = false;
    bool json = false;
    bool quiet = false;
    bool force = false;                 // erase what the window offers no check box for
    bool progressLines = false;         // machine-readable progress for the command line running this one
    bool verify = false;                // download: every image's tag must be listed "OK" afterwards
    bool data = false;                  // validate --json: each table's data blocks as well
    std::optional<int> powerCycleWait;  // seconds; unset: no limit on a terminal, 60 without one
};

int Report(const Options& options);
int Download(const Options& options, const std::vector<std::string>& files);
int Erase(const Options& options, const std::vector<std::string>& configurations);
int Validate(const Options& options, const std::vector<std::string>& files);
int ListErrors(const Options& options, const std::optional<std::string>& which);

}  // namespace kx6000::cli
