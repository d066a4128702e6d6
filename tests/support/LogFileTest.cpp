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
    // One section with `text` in each log.
    static void WriteBoth(std::string text) {
        for (clsLogFile* log : {&DownloadLog, &ConfigLog}) {
            log->OpenLogFile();
            log->WriteToLogFile(text);
            log->CloseLogFile();
        }
    }
    // What `action` said, run in a child process whose files cannot grow beyond `limit` bytes.
    std::string WithFileLimit(rlim_t limit, const std::function<void()>& action) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return "no pipe";
        pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit small{limit, limit};
            setrlimit(RLIMIT_FSIZE, &small);
            action();
            std::string said = out.str();
            _exit(write(pipeEnds[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 1);
        }
        close(pipeEnds[1]);
        std::string said;
        char buffer[4096];
        for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) said.append(buffer, got);
        close(pipeEnds[0]);
        waitpid(child, nullptr, 0);
        return said;
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

TEST_F(LogFileTest, RotationReplacesThePreviousLogOnlyByAWholeCopy) {
    const std::string current = (root / "KX6000Download.log").string();
    const std::string previous = (root / "KX6000Download_Previous.log").string();
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
        {"commands that talk to no radio",
         [&] {
             return std::to_string(
                 std::system((cli + " validate none.s28 >/dev/null 2>&1; " + cli +
                              " validate none.s28 >/dev/null 2>&1; " + cli + " error >/dev/null")
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
        WriteSettings("[KX6100_RLDC]\nDebug=True\n");
        EXPECT_EQ(c.action(), c.said) << c.name;
        if (!std::filesystem::is_directory(previous)) {
            EXPECT_EQ(ReadFile(previous), c.rotated ? lastDownload : "older\r\n") << c.name;
        }
        if (std::filesystem::is_regular_file(current) || c.rotated) {
            EXPECT_EQ(ReadFile(current).substr(0, lastDownload.size()), c.rotated ? "" : lastDownload)
                << c.name;
        }
        EXPECT_LE(std::distance(std::filesystem::directory_iterator(root), {}), 2)
            << c.name << ": no copy left";
    }
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

    // A log that fills up: said once per operation, and it ends with a whole line.
    setenv("KX6000_ROOT", root.c_str(), 1);
    out.str("");
    std::string said = WithFileLimit(300, [&] {
        auto second = NewManager();
        for (int i = 0; i < 2; ++i) {
            DownloadLog.OpenLogFile();
            for (int line = 0; line < 20; ++line) DownloadLog.WriteToLogFile("a line that does not fit");
            DownloadLog.CloseLogFile();
        }
    });
    const std::string full = "Error 27 " + (root / "KX6000Download.log").string() + ": File too large\n";
    EXPECT_EQ(said, full + full);
    EXPECT_TRUE(ReadFile(root / "KX6000Download.log").ends_with(" a line that does not fit\r\n"));
}

}  // namespace
}  // namespace kx6000::test
