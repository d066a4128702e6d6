// The component's settings store: text values under names compared without letter case, kept in the
// system's registry or, where there is none, in a settings file.
#pragma once

#include <optional>
#include <string>
#include <system_error>

namespace kx6000 {

// The value `name` as text; nothing when the store or the value is not there or not text. `error` is set
// only when a store that is there, or a registry value that is there, cannot be read.
std::optional<std::string> ReadSetting(const std::string& name, std::error_code& error);

// Stores `value` under `name`, making the store as needed; the error a store that could not be written
// gives (a registry refusing the write says nothing).
std::error_code WriteSetting(const std::string& name, const std::string& value);

// The store for messages: the settings file's path, or the registry key's; given a value's name, where a
// failure to read it lies: the whole settings file, or that registry value.
std::string SettingsPlace(const std::string& name = {});

// What the store is called in messages: "settings file" or "registry value".
extern const char* const kSettingsKind;

}  // namespace kx6000
