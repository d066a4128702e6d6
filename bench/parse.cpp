// The parser's throughput against srec_cat reading the same data, and its peak
// memory against the file's size.
//
// The file: 8 MiB of random data as S2 records with CR LF line ends, made by
// srec_cat. Ours reads it with a "DW 8" line in front (srec_cat addresses
// bytes); srec_cat reads it as it made it.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "Scratch.h"
#include "manager/clsDLManager.h"
#include "support/Program.h"
#include "ui/ConsoleForm.h"

namespace {

using namespace kx6000;
using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The best wall time of srec_cat reading `file` into nothing.
double SrecCatSeconds(const std::string& file) {
    double best = 1e9;
    std::string command = "srec_cat " + file + " -o /dev/null -binary";
    for (int i = 0; i < kRuns; ++i) {
        auto start = Clock::now();
        if (std::system(command.c_str()) != 0) throw std::runtime_error("srec_cat failed");
        best = std::min(best, Seconds(Clock::now() - start));
    }
    return best;
}

struct Parse {
    double seconds;
    long peakKiB;
};

// One ValidFile in a child process, so its peak memory is its own.
Parse ParseInChild(const std::string& file) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
    pid_t child = fork();
    if (child == 0) {
        std::ostringstream out;
        std::istringstream in;
        clsDLManager manager(std::make_unique<ConsoleForm>(ConsoleOptions{.quiet = true}, out, in));
        auto start = Clock::now();
        manager.ValidFile(file);
        double seconds = Seconds(Clock::now() - start);
        if (LastError != 0 || write(pipeFds[1], &seconds, sizeof seconds) != sizeof seconds) _exit(1);
        _exit(0);
    }
    close(pipeFds[1]);
    Parse parse{};
    bool got = read(pipeFds[0], &parse.seconds, sizeof parse.seconds) == sizeof parse.seconds;
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!got || status != 0) throw std::runtime_error("the parse failed");
    parse.peakKiB = usage.ru_maxrss;
    return parse;
}

}  // namespace

int main() {
    Scratch scratch;
    const std::filesystem::path& folder = scratch.folder;
    std::string made = (folder / "made.s28").string(), file = (folder / "file.s28").string();
    std::string command =
        "srec_cat -generate 0 0x800000 -random -o " + made +
        " -address-length=3 -disable=data-count -execution-start-address=0 -line-termination=crlf";
    if (std::system(command.c_str()) != 0) {
        std::cerr << "bench-parse: srec_cat could not make the file\n";
        return 1;
    }
    std::ofstream(file, std::ios::binary) << "DW 8\r\n" << std::ifstream(made, std::ios::binary).rdbuf();
    double megabytes = static_cast<double>(std::filesystem::file_size(file)) / 1e6;

    double srecCat = SrecCatSeconds(made);
    Parse best{1e9, 0};
    for (int i = 0; i < kRuns; ++i) {
        Parse parse = ParseInChild(file);
        best.seconds = std::min(best.seconds, parse.seconds);
        best.peakKiB = std::max(best.peakKiB, parse.peakKiB);
    }

    double ratio = srecCat / best.seconds, memory = best.peakKiB * 1024.0 / 1e6 / megabytes;
    std::printf("file: %.1f MB of S2 records, CR LF\n", megabytes);
    std::printf("ValidFile: %.0f MB/s; srec_cat: %.0f MB/s (best of %d)\n", megabytes / best.seconds,
                megabytes / srecCat, kRuns);
    std::printf("throughput: %.1f x srec_cat's (target >= 3)\n", ratio);
    std::printf("peak memory: %.1f MB = %.2f x the file's size (target <= 1.5)\n",
                best.peakKiB * 1024.0 / 1e6, memory);
    return ratio >= 3 && memory <= 1.5 ? 0 : 1;
}
