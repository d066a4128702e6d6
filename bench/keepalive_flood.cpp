// A radio that answers a command with keep-alive words for ever, as fast as the pty takes them: the
// command line's memory over 30 s against its memory when the flood began, and a Ctrl-C that ends it.

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

namespace {

// A figure of /proc/<pid>/status, in kB.
long StatusKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
    return -1;
}

}  // namespace

int main() {
    Scratch scratch;
    std::string bin = kx6000::ProgramFolder(), link = (scratch.folder / "radio").string(),
                scenario = (scratch.folder / "flood.json").string();
    std::ofstream(scenario) << R"({"faults": {"keepAliveFlood": true}})";
    pid_t radio =
        Start({bin + "/kx6000-radio-sim", "--scenario", scenario, "--link", link, "--max-seconds", "120"});
    for (int i = 0; i < 100 && !std::filesystem::exists(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pid_t command = Start({bin + "/kx6000-download", "--device", link, "report"});

    // Logged on and flooded within the first two seconds; the peak counts from there.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::ofstream("/proc/" + std::to_string(command) + "/clear_refs") << "5";
    long start = StatusKiB(command, "VmRSS");
    std::this_thread::sleep_for(std::chrono::seconds(30));
    long peak = StatusKiB(command, "VmHWM");

    auto stopped = std::chrono::steady_clock::now();
    kill(command, SIGINT);
    int status = -1;
    waitpid(command, &status, 0);
    double ending = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    kill(radio, SIGTERM);
    waitpid(radio, nullptr, 0);

    bool flat = start > 0 && peak - start <= 5 * 1024;
    bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT;
    std::printf(
        "keep-alive flood: report's memory %ld KiB when it began, peak %ld KiB over 30 s (target: within "
        "5120 KiB)\n",
        start, peak);
    std::printf("Ctrl-C: exit status %d after %.2f s (target %d)\n",
                WIFEXITED(status) ? WEXITSTATUS(status) : -1, ending, 128 + SIGINT);
    return flat && clean ? 0 : 1;
}
