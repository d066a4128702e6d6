// Who holds a serial device: for the front ends to name when a port is in use.
#pragma once

#include <string>

namespace kx6000 {

// The other programs that hold `device`, open or by its lock file, as "name (pid N), ..."; empty when none
// is found.
std::string Holders(const std::string& device);

}  // namespace kx6000
