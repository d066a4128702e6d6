// A whole download through the command line against the simulated radio in
// real time at 115200 baud: the data rate against the line's own limit, the
// CPU time against the wall time, and the peak memory against the file's size;
// and its dry run's estimate against the time the download took.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

// The estimated time of the plan `download --dry-run` prints; 0 when there is none.
double DryRunEstimate(const std::string& bin, const std::string& link, const std::string& file) {
    const std::string command = bin + "/kx6000-download --json --quiet --device '" + link +
                                "' --baud 115200 download --dry-run '" + file + "' 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    std::smatch found;
    if (!std::regex_search(out, found, std::regex(R"("measuredSeconds": [^,]+,\s*"seconds": ([0-9.e+-]+))")))
        return 0;
    return std::stod(found[1]);
}

int main() {
    Scratch scratch;
    const std::filesystem::path& folder = scratch.folder;
    std::string bin = kx6000::ProgramFolder(), file = (folder / "image.s28").string(),
                link = (folder / "radio").string();
    size_t dataBytes = WriteImage(file, 512 * 1024);
    double fileBytes = static_cast<double>(std::filesystem::file_size(file));

    pid_t radio = StartRadio(link);
    const double estimate = DryRunEstimate(bin, link, file);
    Run baseline = Measure({bin + "/kx6000-download", "--version"});
    Run download = Measure(
        {bin + "/kx6000-download", "--device", link, "--baud", "115200", "--quiet", "download", file});
    kill(radio, SIGTERM);
    waitpid(radio, nullptr, 0);
    if (download.status != 0) return std::fprintf(stderr, "bench-download: the download failed\n"), 1;

    // The line carries ten bits a byte: 11520 bytes a second at 115200 baud.
    double rate = static_cast<double>(dataBytes) / download.wall, ideal = 115200.0 / 10;
    double cpu = download.cpu / download.wall;
    double above = static_cast<double>(download.peakKiB - baseline.peakKiB) * 1024 / fileBytes;
    std::printf(
        "download: %zu KiB of data in a %.0f KiB file, %.1f s through kx6000-download at 115200 baud\n",
        dataBytes / 1024, fileBytes / 1024, download.wall);
    std::printf("data rate %.0f B/s = %.1f%% of the line-limited %.0f B/s (target >= 95%%)\n", rate,
                100 * rate / ideal, ideal);
    std::printf("CPU time %.2f s = %.1f%% of the wall time (target < 5%%)\n", download.cpu, 100 * cpu);
    std::printf(
        "peak memory %.1f MB; %.1f MB above the program's start = %.2f x the file's size (target < 2)\n",
        download.peakKiB / 1024.0, (download.peakKiB - baseline.peakKiB) / 1024.0, above);
    const double off = estimate / download.wall - 1;
    std::printf("dry run's estimate %.2f s against the download's %.2f s: %+.1f%% (target within 10%%)\n",
                estimate, download.wall, 100 * off);
    return rate / ideal >= 0.95 && cpu < 0.05 && above < 2 && std::abs(off) <= 0.10 ? 0 : 1;
}
