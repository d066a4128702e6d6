// Logs under test: a manager that reads the settings, sections written, and rotations checked.
#pragma once

#include <functional>

#include "TestEnvironment.h"

namespace kx6000::test {

class LogFileTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        current = NameOf(root / "KX6000Download.log");
        previous = NameOf(root / "KX6000Download_Previous.log");
    }
    // A manager after `settings` are written.
    std::unique_ptr<clsDLManager> NewManager(const std::string& settings = "[KX6100_RLDC]\nDebug=True\n") {
        WriteSettings(settings);
        return std::make_unique<clsDLManager>(std::make_unique<ConsoleForm>(ConsoleOptions{}, out, in));
    }
    // `sections` sections in `log` of `lines` lines of `text` each.
    static void Write(clsLogFile& log, const std::string& text, int sections = 1, int lines = 1) {
        for (int i = 0; i < sections; ++i) {
            log.OpenLogFile();
            for (int line = 0; line < lines; ++line) log.WriteToLogFile(std::string(text));
            log.CloseLogFile();
        }
    }
    struct Rotation {
        const char* name;
        std::function<std::string()> action;  // what it said
        bool rotated;
        std::string said;
    };
    // Each case from a download log, a previous one and a configuration log, with logging on.
    void CheckRotations(const std::vector<Rotation>& cases) {
        const std::filesystem::path config = root / "KX6000Config.log";
        const std::string lastDownload = std::string(100, 'd') + "\r\n";
        for (const auto& c : cases) {
            ResetProgramState();
            out.str("");
            std::filesystem::remove_all(root);
            WriteFile(PathOf(current), lastDownload);
            WriteFile(PathOf(previous), "older\r\n");
            WriteFile(config, "config\r\n");
            WriteSettings("[KX6100_RLDC]\nDebug=True\n");
            EXPECT_EQ(c.action(), c.said) << c.name;
            if (!std::filesystem::is_directory(PathOf(previous))) {
                EXPECT_EQ(ReadFile(PathOf(previous)), c.rotated ? lastDownload : "older\r\n") << c.name;
            }
            if (c.rotated) {
                EXPECT_FALSE(std::filesystem::exists(PathOf(current))) << c.name;
            }
            if (std::filesystem::is_regular_file(PathOf(current))) {
                EXPECT_EQ(ReadFile(PathOf(current)).substr(0, lastDownload.size()), lastDownload) << c.name;
            }
            EXPECT_TRUE(ReadFile(config).starts_with("config\r\n"))
                << c.name << ": the configuration log stays";
            EXPECT_LE(std::distance(std::filesystem::directory_iterator(root), {}), 3)
                << c.name << ": no copy left";
        }
    }

    std::string current, previous;
};

}  // namespace kx6000::test
