// The commands of kx6000-download. Each returns the exit status: 0 success,
// 1 the operation failed, 2 the command line is wrong.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Results.h"
#include "files/FileChecks.h"

namespace kx6000::cli {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// A run the command line declines on the technician's behalf ends as one declined by a question ("User
// cancelled upgrade"). Files it refuses to send give the library's number for them (34 or 52).
constexpr int32_t kDeclined = 1;

struct Options {
    std::string port = "1";
    std::string device;
    int radio = 6100;
    std::string baud = "auto";
    bool unprotected = false;
    bool yes = false;
    bool json = false;
    bool quiet = false;
    bool force = false;  // erase what the window offers no check box for
    // A worker of several radios: progress as lines for its parent, which checked the files once for all.
    bool progressLines = false;
    bool verify = false;                // download: every image's tag must be listed "OK" afterwards
    bool dryRun = false;                // download: the plan, with nothing erased or written
    bool data = false;                  // validate --json: each table's data blocks as well
    std::optional<int> powerCycleWait;  // seconds; unset: no limit on a terminal, 60 without one
};

int Report(const Options& options);
int Download(const Options& options, const std::vector<std::string>& files);
int Erase(const Options& options, const std::vector<std::string>& configurations);
int Validate(const Options& options, const std::vector<std::string>& files);
int ListErrors(const Options& options, const std::optional<std::string>& which);

// The serial devices found and the device each of ports 1 to 4 reaches, and why; 0 also when none is found.
int Ports(const Options& options);

// The files as LoadFiles takes a list; a usage error said, and nothing, when a name cannot be put in one.
std::optional<std::string> FileList(const std::vector<std::string>& files, bool asJson,
                                    const std::string& command);

// The configurations to erase as EraseSelected takes them ("NNDD|ProductID|" pairs); a usage error said, and
// nothing, for an argument that names none.
std::optional<std::string> ErasePairs(const std::vector<std::string>& configurations, bool asJson);

// The files of a download as one parse found them (`checks`, `images`), before any radio is touched:
// explained on stderr and described in `run` ("files", "refused", "result"). With several radios, whose
// workers cannot ask, an FPGA image for the KX6100 is refused here without --yes. The result is 0 to go on.
int32_t CheckDownload(const Options& options, const std::vector<FileCheck>& checks, const colFiles& images,
                      json& run, bool severalRadios);

}  // namespace kx6000::cli
