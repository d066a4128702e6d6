// A fresh root folder and settings for each test, and the program-wide state put back to its start before
// and after it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "manager/clsDLManager.h"
#include "platform/Files.h"
#include "platform/Runtime.h"
#include "port/clsSerial.h"
#include "support/Errors.h"
#include "support/Program.h"
#include "ui/ConsoleForm.h"

namespace kx6000::test {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// True while some program holds the device for itself.
inline bool Held(const std::string& device) {
    clsSerial probe;
    probe.CommPort(device);
    probe.OpenPort();
    bool held = LastError == kPortInUse;
    probe.ClosePort();
    return held;
}

#ifdef _WIN32
// The settings are the machine's registry key here: emptied, then given the values of the [KX6100_RLDC]
// section of `ini`.
void ReplaceSettingsKey(const std::string& ini);
#endif

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        do folder = std::filesystem::temp_directory_path() / ("kx6000-test-" + std::to_string(random()));
        while (!std::filesystem::create_directory(folder));
        root = folder / "root";
        settings = folder / "config" / "settings.ini";
        SetEnvironment("KX6000_ROOT", NameOf(root));
        SetEnvironment("KX6000_SETTINGS", NameOf(settings));
        SetEnvironment("LC_ALL", "C");  // log time stamps of one known shape
        // No serial device of the machine's: a test that wants some makes them there (DeviceTree.h).
        SetEnvironment("KX6000_DEVICE_ROOT", NameOf(folder / "devices"));
        WriteSettings("");
        ResetProgramState();
    }
    void TearDown() override {
        for (const char* port : {"KX6000_PORT1", "KX6000_PORT2", "KX6000_PORT3"}) SetEnvironment(port, "");
        WriteSettings("");
        ResetProgramState();
        std::filesystem::remove_all(folder);
    }

    // Settings as the INI text `content` gives them; "" for none.
    void WriteSettings(const std::string& content) {
#ifdef _WIN32
        ReplaceSettingsKey(content);
#else
        if (content.empty())
            std::filesystem::remove(settings);
        else
            WriteFile(settings, content);
#endif
    }

    // A manager on a console form that writes to `out` and reads `in`.
    clsDLManager& NewManager(ConsoleOptions options = {}) {
        manager = std::make_unique<clsDLManager>(std::make_unique<ConsoleForm>(options, out, in));
        return *manager;
    }

    std::filesystem::path folder, root, settings;
    std::ostringstream out;
    std::istringstream in;
    std::unique_ptr<clsDLManager> manager;
};

}  // namespace kx6000::test
