// Where the POSIX side keeps the settings file when KX6000_SETTINGS does not say: beside the other XDG
// places, which Places.cpp knows.
#pragma once

#include <string>

namespace kx6000 {

std::string DefaultSettingsPath();

}  // namespace kx6000
