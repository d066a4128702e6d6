// A fresh root folder and settings file for each test, and the program-wide
// state put back to its start before and after it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "support/Program.h"

namespace kx6000::test {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kx6000-test-XXXXXX").string();
        folder = mkdtemp(pattern.data());
        root = folder / "root";
        settings = folder / "config" / "settings.ini";
        setenv("KX6000_ROOT", root.c_str(), 1);
        setenv("KX6000_SETTINGS", settings.c_str(), 1);
        setenv("LC_ALL", "C", 1);  // log time stamps of one known shape
        ResetProgramState();
    }
    void TearDown() override {
        for (const char* port : {"KX6000_PORT1", "KX6000_PORT2", "KX6000_PORT3"}) unsetenv(port);
        ResetProgramState();
        std::filesystem::remove_all(folder);
    }

    void WriteSettings(const std::string& content) { WriteFile(settings, content); }

    std::filesystem::path folder, root, settings;
};

}  // namespace kx6000::test
