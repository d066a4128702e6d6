// The test settings on Windows: the component's registry key, written directly, not through the code tested.
#include <windows.h>

#include <sstream>
#include <string>

#include "TestEnvironment.h"

namespace kx6000::test {

void ReplaceSettingsKey(const std::string& ini) {
    constexpr const char* kKey = "Software\\Veltrane Systems Ltd\\Radio Software Components\\KX6100_RLDC";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    std::istringstream lines(ini);
    bool inSection = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with('[')) inSection = line == "[KX6100_RLDC]";
        size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos) continue;
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        std::string value = line.substr(equals + 1);
        RegSetValueExA(key, line.substr(0, equals).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
}

}  // namespace kx6000::test
