// `kx6000-download validate` of a 2 GiB file of one line without a line end: refused at line 1 with 34 in
// bounded memory, however long the line.
//
// The file is sparse (a comment's start, then zeros), so writing it costs nothing.

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

int main() {
    constexpr double kTargetMB = 64;
    Scratch scratch;
    std::filesystem::path file = scratch.folder / "one-line.s19", errors = scratch.folder / "errors.txt";
    std::ofstream(file) << "// ";
    std::filesystem::resize_file(file, uintmax_t{2} << 30);
    Run run = Measure({kx6000::ProgramFolder() + "/kx6000-download", "validate", file.string()}, errors);
    std::stringstream said;
    said << std::ifstream(errors).rdbuf();
    bool refused = WIFEXITED(run.status) && WEXITSTATUS(run.status) == 1 &&
                   said.str().find(":1: error: line 1 is longer than") != std::string::npos;
    double peak = run.peakKiB * 1024.0 / 1e6;
    std::printf(
        "validate of a 2 GiB file of one line: %s in %.3f s; peak memory %.1f MB (target < %.0f MB)\n",
        refused ? "refused at line 1" : "NOT refused at line 1", run.wall, peak, kTargetMB);
    if (!refused) std::printf("it said:\n%s", said.str().c_str());
    return refused && peak < kTargetMB ? 0 : 1;
}
