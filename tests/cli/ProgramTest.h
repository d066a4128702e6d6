// The command-line program started from a test, on a terminal or pipe of the test's or with its output in
// files, and the waits that a stop or a lost terminal is timed by.
#pragma once

#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "TestEnvironment.h"
#include "files/SRecords.h"
#include "sim/SimulatedRadio.h"

namespace kx6000::test {

// Waits up to ten seconds for `done`.
inline void Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Waits until the block of `data` (written from 0x20000) is erased and then written again up to about 30 %;
// `meanwhile` runs at every look.
inline void WaitForThirtyPercent(
    const sim::SimulatedRadio& radio, const std::string& data,
    const std::function<void()>& meanwhile = [] {}) {
    const uint32_t mark = 0x20000 + static_cast<uint32_t>(data.size() / 4 * 3 / 10 / 2);
    for (bool erased : {true, false})
        Eventually([&] { return meanwhile(), (radio.Flash(mark, 2) == HexBytes("FFFF")) == erased; });
}

class ProgramTest : public ComponentTest {
protected:
    // Starts the program with `arguments` (shell words) on `fd`, a terminal it then owns or a pipe; without
    // one its output goes to the files "out" and "err" of the folder. `asNobody` runs it as user nobody.
    pid_t Start(const std::string& arguments, int fd = -1, bool asNobody = false) {
        std::string command =
            std::string(asNobody ? "exec setpriv --reuid nobody --regid nogroup --clear-groups " : "exec ") +
            KX6000_BIN_DIR + "/kx6000-download " + arguments;
        if (fd < 0) command += " >" + (folder / "out").string() + " 2>" + (folder / "err").string();
        pid_t child = fork();
        if (child == 0) {
            if (fd >= 0) {
                setsid();  // Ctrl-C or a hang-up on the terminal reaches the program as a user's would
                ioctl(fd, TIOCSCTTY, 0);
                for (int to : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(fd, to);
            }
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return child;
    }
    // The exit status of `child`, or minus the signal that killed it.
    static int Ended(pid_t child) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
};

}  // namespace kx6000::test
