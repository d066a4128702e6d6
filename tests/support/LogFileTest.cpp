#include <regex>

#include "TestEnvironment.h"
#include "manager/clsDLManager.h"
#include "ui/ConsoleForm.h"

namespace kx6000::test {
namespace {

class LogFileTest : public ComponentTest {
protected:
    // A manager after `settings` are written (none when nullptr).
    std::unique_ptr<clsDLManager> NewManager(const char* settings = "[KX6100_RLDC]\nDebug=True\n") {
        if (settings != nullptr) WriteSettings(settings);
        return std::make_unique<clsDLManager>(std::make_unique<ConsoleForm>(ConsoleOptions{}, out, in));
    }
    // One section with `text` in each log.
    static void WriteBoth(std::string text) {
        for (clsLogFile* log : {&DownloadLog, &ConfigLog}) {
            log->OpenLogFile();
            log->WriteToLogFile(text);
            log->CloseLogFile();
        }
    }
    std::ostringstream out;
    std::istringstream in;
};

TEST_F(LogFileTest, SectionHasHeadMessagesAndTail) {
    auto manager = NewManager();
    ConfigLog.OpenLogFile();
    ConfigLog.WriteToLogFile("Report Configurations...");
    ConfigLog.WriteToLogFile("");
    ConfigLog.CloseLogFile();
    // Message lines: the date and time, one blank, the text (an empty text still gives a line).
    const std::regex section(
        R"(\*{42}\r\nSTART LOG \(.+\)\r\nDownload Component Version : 1\.05\.01\r\n\r\n)"
        R"(\S.* Report Configurations\.\.\.\r\n\S.*\S \r\n\r\nEND LOG \(.+\)\r\n\*{42}\r\n)");
    const std::string log = ReadFile(root / "KX6000Config.log");
    EXPECT_TRUE(std::regex_match(log, section)) << log;
    EXPECT_EQ(out.str(), "");
}

TEST_F(LogFileTest, OnlyExactlyTrueSwitchesLoggingOn) {
    const std::pair<const char*, bool> cases[] = {
        {"[KX6100_RLDC]\nDebug=True\n", true},  {"[KX6100_RLDC]\nDebug=true\n", false},
        {"[KX6100_RLDC]\nDebug=TRUE\n", false}, {"[KX6100_RLDC]\nDebug=False\n", false},
        {"[Other]\nDebug=True\n", false},       {nullptr, false},
    };
    for (auto [content, logged] : cases) {
        std::filesystem::remove_all(folder);
        ResetProgramState();
        auto manager = NewManager(content);
        WriteBoth("message");
        EXPECT_EQ(std::filesystem::exists(root), logged) << (content ? content : "no file");
    }
}

TEST_F(LogFileTest, SecondManagerRotatesTheDownloadLogOnly) {
    auto first = NewManager();
    EXPECT_FALSE(std::filesystem::exists(root / "KX6000Download_Previous.log")) << "nothing to rotate";
    WriteBoth("first object");
    first.reset();
    auto second = NewManager();

    EXPECT_FALSE(std::filesystem::exists(root / "KX6000Download.log"));
    EXPECT_NE(ReadFile(root / "KX6000Download_Previous.log").find("first object"), std::string::npos);
    WriteBoth("second object");
    std::string download = ReadFile(root / "KX6000Download.log");
    EXPECT_EQ(download.find("first object"), std::string::npos);
    EXPECT_NE(download.find("second object"), std::string::npos);
    std::string config = ReadFile(root / "KX6000Config.log");
    EXPECT_NE(config.find("first object"), std::string::npos);
    EXPECT_NE(config.find("second object"), std::string::npos);
}

TEST_F(LogFileTest, WriteFlashDataLinesAreCutInTheCallersString) {
    const std::string frame = "Command (Write Flash Data) : 35FF" + std::string(27, '0');  // 60 characters
    const std::pair<std::string, std::string> cases[] = {
        {frame, frame.substr(0, 41) + "...."},
        {"Write Flash Data and 14 more", "Write Flash Data and 14 more...."},
        {"write flash data is not cut", "write flash data is not cut"},
    };
    Debug = true;
    ConfigLog.FileName((root / "log").string());
    ConfigLog.OpenLogFile();
    for (auto [text, logged] : cases) {
        ConfigLog.WriteToLogFile(text);
        EXPECT_EQ(text, logged);
    }
    ConfigLog.CloseLogFile();
    std::string log = ReadFile(root / "log");
    for (const auto& c : cases) EXPECT_NE(log.find(" " + c.second + "\r\n"), std::string::npos) << c.second;
}

TEST_F(LogFileTest, AFailingLogIsSaidOnceWithItsNameAndTheProgramGoesOn) {
    WriteFile(folder / "file", "a file where the root folder should be");
    setenv("KX6000_ROOT", (folder / "file" / "root").c_str(), 1);
    auto manager = NewManager();
    for (int i = 0; i < 2; ++i) {
        DownloadLog.OpenLogFile();
        DownloadLog.WriteToLogFile("lost");
        DownloadLog.CloseLogFile();
    }
    EXPECT_EQ(out.str(), "Error 20 " + (folder / "file" / "root" / "KX6000Download.log").string() +
                             ": Not a directory\n");
}

}  // namespace
}  // namespace kx6000::test
