#include "support/modRegistry.h"

#include "platform/Settings.h"
#include "support/Errors.h"
#include "support/Program.h"

namespace kx6000::modRegistry {

std::string GetRegistryValue(const std::string& valueName, const std::string& defaultValue) {
    std::error_code error;
    std::optional<std::string> value = ReadSetting(valueName, error);
    // Said once: the defaults taken instead (a port falling back to a device found) are not the settings'.
    if (error) ShowFileFailure(SettingsPlace(valueName), error, kSettingsKind);
    return value.value_or(defaultValue);
}

void SaveRegistryValue(const std::string& valueName, const std::string& value) {
    if (std::error_code error = WriteSetting(valueName, value)) {
        ShowFileFailure(SettingsPlace(), error, kSettingsKind);
    } else {
        FailedFiles.erase(SettingsPlace());
    }
}

}  // namespace kx6000::modRegistry
