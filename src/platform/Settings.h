// The component's settings store: text values under names compared without letter case, kept in the
// system's registry or, where there is none, in a settings file.
#pragma once

#include <optional>
#include <string>
#include <system_error>

namespace kx6000 {

// The value `name` as text; nothing when the store or the value is not there or not text. `error` is set
// only when a store that is there cannot be read.
std::optional<std::string> ReadSetting(const std::string& name, std::error_code& error);

// Stores `value` under `name`, making the store as needed; the error a store that could not be written
// gives (a registry refusing the write says nothing).
std::error_code WriteSetting(const std::string& name, const std::string& value);

// The store for messages: the settings file's path, or the registry key's.
std::string SettingsPlace();

}  // namespace kx6000
