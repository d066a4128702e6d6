// The component's persistent settings: text values in section [KX6100_RLDC]
// of the settings file. Reads never fail; writes report nothing.
#pragma once

#include <string>

namespace kx6000::modRegistry {

// The stored text of `valueName`, or `defaultValue` when the file, the section
// or the value cannot be read. Value names compare without letter case.
std::string GetRegistryValue(const std::string& valueName, const std::string& defaultValue);

// Stores `value` under `valueName`, creating the folder, the file and the section
// as needed. The file is replaced whole (a temporary file, then a rename), so a
// failed save leaves the old file as it was. Failures are not reported.
void SaveRegistryValue(const std::string& valueName, const std::string& value);

}  // namespace kx6000::modRegistry
