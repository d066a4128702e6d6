#include <regex>

#include "TestEnvironment.h"
#include "manager/clsDLManager.h"
#include "ui/ConsoleForm.h"

namespace kx6000::test {
namespace {

class LogFileTest : public ComponentTest {
protected:
    std::unique_ptr<clsDLManager> NewManager() {
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
    WriteSettings("[KX6100_RLDC]\nDebug=True\n");
    auto manager = NewManager();
    ConfigLog.OpenLogFile();
    ConfigLog.WriteToLogFile("Report Configurations...");
    ConfigLog.WriteToLogFile("");
    ConfigLog.CloseLogFile();
    // Message lines: the date and time, one blank, the text (an empty text still gives a line).
    const std::regex section(
        "\\*{42}\r\n"
        "START LOG \\(.+\\)\r\n"
        "Download Component Version : 1\\.05\\.01\r\n"
        "\r\n"
        "\\S.* Report Configurations\\.\\.\\.\r\n"
        "\\S.*\\S \r\n"
        "\r\n"
        "END LOG \\(.+\\)\r\n"
        "\\*{42}\r\n");
    const std::string log = ReadFile(root / "KX6000Config.log");
    EXPECT_TRUE(std::regex_match(log, section)) << log;
    EXPECT_EQ(out.str(), "");
}

TEST_F(LogFileTest, OnlyExactlyTrueSwitchesLoggingOn) {
    struct Case {
        const char* settings;
        bool logged;
    };
    const Case cases[] = {
        {"[KX6100_RLDC]\nDebug=True\n", true},  {"[KX6100_RLDC]\nDebug=true\n", false},
        {"[KX6100_RLDC]\nDebug=TRUE\n", false}, {"[KX6100_RLDC]\nDebug=False\n", false},
        {"[Other]\nDebug=True\n", false},       {nullptr, false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder);
        ResetProgramState();
        if (c.settings != nullptr) WriteSettings(c.settings);
        auto manager = NewManager();
        WriteBoth("message");
        EXPECT_EQ(std::filesystem::exists(root), c.logged) << (c.settings ? c.settings : "no file");
    }
}

TEST_F(LogFileTest, SecondManagerRotatesTheDownloadLogOnly) {
    WriteSettings("[KX6100_RLDC]\nDebug=True\n");
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
    struct Case {
        std::string text, logged;
    };
    const Case cases[] = {
        {frame, frame.substr(0, 41) + "...."},
        {"Write Flash Data and 14 more", "Write Flash Data and 14 more...."},
        {"write flash data is not cut", "write flash data is not cut"},
    };
    Debug = true;
    ConfigLog.FileName((root / "log").string());
    ConfigLog.OpenLogFile();
    for (const Case& c : cases) {
        std::string text = c.text;
        ConfigLog.WriteToLogFile(text);
        EXPECT_EQ(text, c.logged);
    }
    ConfigLog.CloseLogFile();
    std::string log = ReadFile(root / "log");
    for (const Case& c : cases) EXPECT_NE(log.find(" " + c.logged + "\r\n"), std::string::npos) << c.logged;
}

TEST_F(LogFileTest, AFailingLogIsSaidOnceWithItsNameAndTheProgramGoesOn) {
    WriteFile(folder / "file", "a file where the root folder should be");
    setenv("KX6000_ROOT", (folder / "file" / "root").c_str(), 1);
    WriteSettings("[KX6100_RLDC]\nDebug=True\n");
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
