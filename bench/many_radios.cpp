// A production bench: four radios written at once through one command, each a simulated radio in real
// time at 115200 baud, against one radio alone: the wall time of the four against the one, and the CPU
// time of all workers together against the wall time.

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

int main() {
    constexpr int kRadios = 4;
    Scratch scratch;
    std::string bin = kx6000::ProgramFolder(), file = (scratch.folder / "image.s28").string();
    size_t dataBytes = WriteImage(file, 256 * 1024);
    std::vector<std::string> links;
    std::vector<pid_t> radios;
    for (int i = 0; i < kRadios; ++i) {
        links.push_back((scratch.folder / ("radio" + std::to_string(i))).string());
        radios.push_back(StartRadio(links.back()));
    }
    auto command = [&](int count) {
        std::vector<std::string> arguments = {bin + "/kx6000-download", "--baud", "115200", "--quiet"};
        for (int i = 0; i < count; ++i) arguments.insert(arguments.end(), {"--device", links[i]});
        arguments.insert(arguments.end(), {"download", file});
        return arguments;
    };
    Run one = Measure(command(1));
    Run four = Measure(command(kRadios));
    for (pid_t radio : radios) kill(radio, SIGTERM);
    for (pid_t radio : radios) waitpid(radio, nullptr, 0);
    if (one.status != 0 || four.status != 0)
        return std::fprintf(stderr, "bench-many-radios: a download failed\n"), 1;

    double ratio = four.wall / one.wall, cpu = four.cpu / four.wall / kRadios;
    std::printf(
        "many radios: %zu KiB of data to each of %d radios at 115200 baud: %.1f s; one alone: %.1f s\n",
        dataBytes / 1024, kRadios, four.wall, one.wall);
    std::printf("wall time of the %d against one alone: %.3f (target <= 1.10)\n", kRadios, ratio);
    std::printf("CPU time of all workers %.2f s = %.2f%% of one core per radio (target < 5%%)\n", four.cpu,
                100 * cpu);
    return ratio <= 1.10 && cpu < 0.05 ? 0 : 1;
}
