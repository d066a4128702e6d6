#include <regex>

#include "support/LogFileTest.h"

namespace kx6000::test {
namespace {

// Long Write Flash Data lines are cut, in the caller's own string too.
TEST_F(LogFileTest, SectionHasHeadMessagesAndTail) {
    auto manager = NewManager();
    const std::string frame = "Command (Write Flash Data) : 35FF" + std::string(27, '0');  // 60 characters
    std::string texts[] = {"Report Configurations...",
                           "",
                           frame,
                           "Write Flash Data and 14 more",
                           "write flash data is not cut",
                           "KXA\x1b[2J\nforged\xc2\x9b\xff"};
    ConfigLog.OpenLogFile();
    for (std::string& text : texts) ConfigLog.WriteToLogFile(text);
    ConfigLog.CloseLogFile();
    EXPECT_EQ(texts[2], frame.substr(0, 41) + "....");
    EXPECT_EQ(texts[3], "Write Flash Data and 14 more....");
    EXPECT_EQ(texts[4], "write flash data is not cut");
    // Message lines: the date and time, one blank, the text (an empty text still gives a line).
    std::string section = R"(\*{42}\r\nSTART LOG \(.+\)\r\nDownload Component Version : 1\.05\.01\r\n\r\n)";
    // Controls (C0, DEL, C1) and bytes that are no UTF-8 are shown escaped: one entry, one line.
    texts[5] = R"(KXA\x1b[2J\x0aforged\xc2\x9b\xff)";
    for (const std::string& text : texts)
        section += R"(\S.*\S )" + std::regex_replace(text, std::regex(R"([.()\[\\])"), R"(\$&)") + "\r\n";
    const std::string log = ReadFile(root / "KX6000Config.log");
    EXPECT_TRUE(std::regex_match(log, std::regex(section + R"(\r\nEND LOG \(.+\)\r\n\*{42}\r\n)"))) << log;
    EXPECT_EQ(out.str(), "");
}

TEST_F(LogFileTest, OnlyExactlyTrueSwitchesLoggingOn) {
    const std::pair<const char*, bool> cases[] = {
        {"[KX6100_RLDC]\nDebug=True\n", true},  {"[KX6100_RLDC]\nDebug=true\n", false},
        {"[KX6100_RLDC]\nDebug=TRUE\n", false}, {"[KX6100_RLDC]\nDebug=False\n", false},
        {"[Other]\nDebug=True\n", false},       {"", false},
    };
    for (auto [content, logged] : cases) {
        std::filesystem::remove_all(folder);
        ResetProgramState();
        auto manager = NewManager(content);
        for (clsLogFile* log : {&DownloadLog, &ConfigLog}) Write(*log, "message");
        EXPECT_EQ(std::filesystem::exists(root), logged) << content;
    }
}

TEST_F(LogFileTest, RotationReplacesThePreviousLogOnlyByAWholeCopy) {
    clsLogFile other;  // another process's open log: flock locks belong to the open file, not the process
    CheckRotations({
        {"a manager rotates", [&] { return NewManager(), out.str(); }, true, ""},
        {"no log to rotate",
         [&] { return std::filesystem::remove(PathOf(current)), NewManager(), out.str(); }, false, ""},
        {"the log open in another process",
         [&] {
             Debug = true;
             other.FileName(current);
             other.OpenLogFile();
             NewManager();
             other.Discard();
             return out.str();
         },
         false, ""},
        {"a folder named as the log",
         [&] {
             std::filesystem::remove(PathOf(current));
             std::filesystem::create_directory(PathOf(current));
             return NewManager(), out.str();
         },
         false, "Error 22 " + current + ": not a regular file\n"},
        {"a file where the root folder should be: said once",
         [&] {
             WriteFile(folder / "file", "");
             SetEnvironment("KX6000_ROOT", NameOf(folder / "file" / "root"));
             auto manager = NewManager();
             Write(DownloadLog, "lost", 2);
             SetEnvironment("KX6000_ROOT", NameOf(root));
             return out.str();
         },
         false,
         "Error 20 " + NameOf(folder / "file" / "root" / "KX6000Download.log") + ": Not a directory\n"},
    });
}

}  // namespace
}  // namespace kx6000::test
