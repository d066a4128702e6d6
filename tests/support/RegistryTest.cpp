#include <sys/stat.h>

#include <regex>

#include "TestEnvironment.h"
#include "support/modRegistry.h"

namespace kx6000::test {
namespace {

using modRegistry::GetRegistryValue;
using modRegistry::SaveRegistryValue;

class RegistryTest : public ComponentTest {};

TEST_F(RegistryTest, ReadsTheValueOrGivesTheDefault) {
    const std::pair<const char*, const char*> cases[] = {
        // the content, nullptr for no file, and the value
        {nullptr, "default"},
        {"", "default"},
        {"[Other]\nLastFile=/elsewhere\n", "default"},
        {"[KX6100_RLDC]\nDebug=True\n", "default"},
        {"[KX6100_RLDC]\nLastFile=/data/a.srec\n", "/data/a.srec"},
        {"[KX6100_RLDC]\r\nLastFile=/data/a.srec\r\n", "/data/a.srec"},
        {"[ kx6100_rldc ]\n  lastfile = /data/a.srec  \n", "/data/a.srec"},
        {"[KX6100_RLDC]\nLastFile=\n", ""},
        {"[KX6100_RLDC]\nLastFile=a=b\n", "a=b"},
        {"garbage\n\x01\x02\n[broken\n=\n[KX6100_RLDC]\nnoise\nLastFile=/x\n[Other]\nLastFile=/y\n", "/x"},
        {"[Other]\nLastFile=/y\n[KX6100_RLDC]\nLastFile=/x\n", "/x"},
    };
    for (auto [content, expected] : cases) {
        std::filesystem::remove_all(settings.parent_path());
        if (content != nullptr) WriteSettings(content);
        EXPECT_EQ(GetRegistryValue("LastFile", "default"), expected) << (content ? content : "no file");
    }
}

TEST_F(RegistryTest, SaveCreatesTheFileOrReplacesTheValueAndKeepsEverythingElse) {
    SaveRegistryValue("LastFile", "/data/radio.s19");
    EXPECT_EQ(ReadFile(settings), "[KX6100_RLDC]\nLastFile=/data/radio.s19\n") << "folder, file and section";
    WriteSettings("; kept\n[KX6100_RLDC]\nDebug=True\nLastFile=/old\nnoise\n\n[Other]\nLastFile=/other\n");
    SaveRegistryValue("LastFile", "/new");
    SaveRegistryValue("Port1", "/dev/ttyUSB0");
    EXPECT_EQ(ReadFile(settings),
              "; kept\n[KX6100_RLDC]\nDebug=True\nLastFile=/new\nnoise\nPort1=/dev/ttyUSB0\n\n"
              "[Other]\nLastFile=/other\n");
    // A settings file reached through a link is written where the link points, and the link stays.
    std::filesystem::rename(settings, folder / "real.ini");
    std::filesystem::create_symlink(folder / "real.ini", settings);
    SaveRegistryValue("Port1", "/dev/ttyUSB1");
    EXPECT_TRUE(std::filesystem::is_symlink(settings));
    EXPECT_NE(ReadFile(folder / "real.ini").find("Port1=/dev/ttyUSB1\n"), std::string::npos);
}

TEST_F(RegistryTest, UnusableSettingsAreSaidOnceWithTheirPathAndKeepNoValue) {
    const std::string fifo = (folder / "fifo.ini").string();
    mkfifo(fifo.c_str(), 0644);
    const std::pair<std::string, std::string> cases[] = {
        // /proc takes no new files, not even from root: the save cannot replace the file.
        // Said as the system's tools say it: no number to be taken for one of the component's.
        {"/proc/version", "settings file /proc/version: [^\n]*\n"},
        {fifo, "settings file " + fifo + ": not a regular file\n"},      // not waited on
        {"/dev/zero", "settings file /dev/zero: not a regular file\n"},  // not read for ever
    };
    for (const auto& [path, said] : cases) {
        ResetProgramState();
        SetEnvironment("KX6000_SETTINGS", path);
        testing::internal::CaptureStderr();
        SaveRegistryValue("LastFile", "/data/a.srec");
        SaveRegistryValue("LastFile", "/data/b.srec");
        EXPECT_EQ(GetRegistryValue("LastFile", "default"), "default") << path;
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(std::regex_match(text, std::regex(said))) << text;
    }
}

}  // namespace
}  // namespace kx6000::test
