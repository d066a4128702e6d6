// Several radios from one command: a worker process of this program per device, each with its own
// component state and log folder, their progress shown together and their results summed up.
#pragma once

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kx6000::cli {

// Runs `command` with `operands` once per device; the exit status is 0 only when every radio succeeded.
int RunWorkers(const Options& options, const std::vector<std::string>& devices, const std::string& command,
               const std::vector<std::string>& operands);

}  // namespace kx6000::cli
