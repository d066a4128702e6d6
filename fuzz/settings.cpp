// The settings file reader on arbitrary file contents, KX6000_SETTINGS pointing at a temporary file. What
// must hold: a value read is trimmed and lies on one line of the file; a value saved is read back as saved,
// and saving it leaves every other value as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/Program.h"
#include "support/modRegistry.h"

namespace {

using namespace kx6000;
using modRegistry::GetRegistryValue;
using modRegistry::SaveRegistryValue;

const std::string& SettingsFile() {
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string file = std::string(folder && *folder ? folder : "/tmp") + "/kx6000-fuzz-settings-" +
                           std::to_string(::getpid()) + ".ini";
        ::setenv("KX6000_SETTINGS", file.c_str(), 1);
        return file;
    }();
    return path;
}

constexpr const char* kDefault =
    "\x01"
    "default";

void CheckRead(const std::string& value, const std::string& content) {
    if (value == kDefault) return;
    if (value.find('\n') != std::string::npos || content.find(value) == std::string::npos) __builtin_trap();
    if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.front() == '\r' ||
                           value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetProgramState();
    std::string content(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream file(SettingsFile(), std::ios::binary | std::ios::trunc);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!file) std::abort();
    }
    std::string lastFile = GetRegistryValue("LastFile", kDefault);
    std::string debug = GetRegistryValue("Debug", kDefault);
    CheckRead(lastFile, content);
    CheckRead(debug, content);
    SaveRegistryValue("LastFile", "/data/radio.s19");
    if (GetRegistryValue("LastFile", kDefault) != "/data/radio.s19") __builtin_trap();
    if (GetRegistryValue("Debug", kDefault) != debug) __builtin_trap();
    return 0;
}
