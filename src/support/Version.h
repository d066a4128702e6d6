// The component's own version, shown in the log headers and the window title.
#pragma once

#include <string>

namespace kx6000 {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 5;
inline constexpr int kVersionRevision = 1;

// Major as it is, minor and revision as at least two digits: "1.05.01".
std::string VersionText();

}  // namespace kx6000
