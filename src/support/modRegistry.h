// The component's persistent settings: text values in the system's settings store (the registry, or
// section [KX6100_RLDC] of the settings file). Reads never fail; writes report nothing.
#pragma once

#include <string>

namespace kx6000::modRegistry {

// The stored text of `valueName`, or `defaultValue` when the store or the value cannot be read. Value names
// compare without letter case. A settings file that cannot be read is said once.
std::string GetRegistryValue(const std::string& valueName, const std::string& defaultValue);

// Stores `value` under `valueName`, making the store as needed. A settings file is replaced whole (a
// temporary file, then a rename), so a failed save leaves the old file as it was and is said once.
void SaveRegistryValue(const std::string& valueName, const std::string& value);

}  // namespace kx6000::modRegistry
