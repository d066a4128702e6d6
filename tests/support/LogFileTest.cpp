#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
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
    // `sections` sections in `log` of `lines` lines of `text` each.
    static void Write(clsLogFile& log, const std::string& text, int sections = 1, int lines = 1) {
        for (int i = 0; i < sections; ++i) {
            log.OpenLogFile();
            for (int line = 0; line < lines; ++line) log.WriteToLogFile(std::string(text));
            log.CloseLogFile();
        }
    }
    // What `action` said, run in a child process whose files cannot grow beyond `limit` bytes.
    std::string WithFileLimit(rlim_t limit, const std::function<void()>& action) {
        if (fork() == 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit was{};
            getrlimit(RLIMIT_FSIZE, &was);
            const rlimit small{limit, was.rlim_max};
            setrlimit(RLIMIT_FSIZE, &small);
            action();
            setrlimit(RLIMIT_FSIZE, &was);
            WriteFile(folder / "said", out.str());
            _exit(0);
        }
        wait(nullptr);
        return ReadFile(folder / "said");
    }
    std::ostringstream out;
    std::istringstream in;
};

// Long Write Flash Data lines are cut, in the caller's own string too.
TEST_F(LogFileTest, SectionHasHeadMessagesAndTail) {
    auto manager = NewManager();
    const std::string frame = "Command (Write Flash Data) : 35FF" + std::string(27, '0');  // 60 characters
    std::string texts[] = {"Report Configurations...", "", frame, "Write Flash Data and 14 more",
                           "write flash data is not cut"};
    ConfigLog.OpenLogFile();
    for (std::string& text : texts) ConfigLog.WriteToLogFile(text);
    ConfigLog.CloseLogFile();
    EXPECT_EQ(texts[2], frame.substr(0, 41) + "....");
    EXPECT_EQ(texts[3], "Write Flash Data and 14 more....");
    EXPECT_EQ(texts[4], "write flash data is not cut");
    // Message lines: the date and time, one blank, the text (an empty text still gives a line).
    std::string section = R"(\*{42}\r\nSTART LOG \(.+\)\r\nDownload Component Version : 1\.05\.01\r\n\r\n)";
    for (const std::string& text : texts)
        section += R"(\S.*\S )" + std::regex_replace(text, std::regex(R"([.()])"), R"(\$&)") + "\r\n";
    const std::string log = ReadFile(root / "KX6000Config.log");
    EXPECT_TRUE(std::regex_match(log, std::regex(section + R"(\r\nEND LOG \(.+\)\r\n\*{42}\r\n)"))) << log;
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
        for (clsLogFile* log : {&DownloadLog, &ConfigLog}) Write(*log, "message");
        EXPECT_EQ(std::filesystem::exists(root), logged) << (content ? content : "no file");
    }
}

TEST_F(LogFileTest, RotationReplacesThePreviousLogOnlyByAWholeCopy) {
    const std::string current = (root / "KX6000Download.log").string();
    const std::string previous = (root / "KX6000Download_Previous.log").string();
    const std::filesystem::path config = root / "KX6000Config.log";
    const std::string lastDownload = std::string(100, 'd') + "\r\n";
    const std::string cli = std::string(KX6000_BIN_DIR) + "/kx6000-download";
    clsLogFile other;  // another process's open log: flock locks belong to the open file, not the process
    const struct {
        const char* name;
        std::function<std::string()> action;  // what it said
        bool rotated;
        std::string said;
    } cases[] = {
        {"a manager rotates", [&] { return NewManager(), out.str(); }, true, ""},
        {"no log to rotate", [&] { return std::filesystem::remove(current), NewManager(), out.str(); }, false,
         ""},
        {"commands that talk to no radio",
         [&] {
             return std::to_string(std::system(
                 ("(" + cli + " validate x; " + cli + " validate x; " + cli + " error) >/dev/null 2>&1")
                     .c_str()));
         },
         false, "0"},
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
        {"the copy fails", [&] { return WithFileLimit(50, [&] { NewManager(); }); }, false,
         "Error 27 " + previous + ": File too large\n"},
        {"a folder named as the previous log",
         [&] {
             std::filesystem::remove(previous);
             std::filesystem::create_directory(previous);
             return NewManager(), out.str();
         },
         false, "Error 21 " + previous + ": Is a directory\n"},
        {"a FIFO named as the log",
         [&] {
             std::filesystem::remove(current);
             mkfifo(current.c_str(), 0644);
             return NewManager(), out.str();
         },
         false, "Error 22 " + current + ": not a regular file\n"},
    };
    for (const auto& c : cases) {
        ResetProgramState();
        out.str("");
        std::filesystem::remove_all(root);
        WriteFile(current, lastDownload);
        WriteFile(previous, "older\r\n");
        WriteFile(config, "config\r\n");
        WriteSettings("[KX6100_RLDC]\nDebug=True\n");
        EXPECT_EQ(c.action(), c.said) << c.name;
        if (!std::filesystem::is_directory(previous)) {
            EXPECT_EQ(ReadFile(previous), c.rotated ? lastDownload : "older\r\n") << c.name;
        }
        if (c.rotated) {
            EXPECT_FALSE(std::filesystem::exists(current)) << c.name;
        }
        if (std::filesystem::is_regular_file(current)) {
            EXPECT_EQ(ReadFile(current).substr(0, lastDownload.size()), lastDownload) << c.name;
        }
        EXPECT_TRUE(ReadFile(config).starts_with("config\r\n")) << c.name << ": the configuration log stays";
        EXPECT_LE(std::distance(std::filesystem::directory_iterator(root), {}), 3)
            << c.name << ": no copy left";
    }
}

TEST_F(LogFileTest, AFailingLogIsSaidOnceWithItsNameAndTheProgramGoesOn) {
    WriteFile(folder / "file", "a file where the root folder should be");
    setenv("KX6000_ROOT", (folder / "file" / "root").c_str(), 1);
    auto manager = NewManager();
    Write(DownloadLog, "lost", 2);
    EXPECT_EQ(out.str(), "Error 20 " + (folder / "file" / "root" / "KX6000Download.log").string() +
                             ": Not a directory\n");

    // A log that fills up: said once per operation, and it ends with a whole line.
    setenv("KX6000_ROOT", root.c_str(), 1);
    out.str("");
    std::string said = WithFileLimit(300, [&] {
        auto second = NewManager();
        Write(DownloadLog, "a line that does not fit", 2, 20);
    });
    const std::string full = "Error 27 " + (root / "KX6000Download.log").string() + ": File too large\n";
    EXPECT_EQ(said, full + full);
    EXPECT_TRUE(ReadFile(root / "KX6000Download.log").ends_with(" a line that does not fit\r\n"));
}

}  // namespace
}  // namespace kx6000::test
