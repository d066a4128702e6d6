// Log failures a POSIX system can be made to give: a file size limit, a FIFO, a folder that is refused.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/LogFileTest.h"

namespace kx6000::test {
namespace {

class LogFilePosixTest : public LogFileTest {
protected:
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
};

TEST_F(LogFilePosixTest, RotationKeepsBothLogsWhenItFails) {
    const std::string cli = std::string(KX6000_BIN_DIR) + "/kx6000-download";
    CheckRotations({
        {"commands that talk to no radio",
         [&] {
             return std::to_string(std::system(
                 ("(" + cli + " validate x; " + cli + " validate x; " + cli + " error) >/dev/null 2>&1")
                     .c_str()));
         },
         false, "0"},
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
    });
}

// A log that fills up: said once per operation, and it ends with a whole line.
TEST_F(LogFilePosixTest, AFullLogIsSaidOnceAndTheProgramGoesOn) {
    std::string said = WithFileLimit(300, [&] {
        auto manager = NewManager();
        Write(DownloadLog, "a line that does not fit", 2, 20);
    });
    const std::string full = "Error 27 " + current + ": File too large\n";
    EXPECT_EQ(said, full + full);
    EXPECT_TRUE(ReadFile(root / "KX6000Download.log").ends_with(" a line that does not fit\r\n"));
}

}  // namespace
}  // namespace kx6000::test
