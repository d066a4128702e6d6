// `kx6000-download validate` as users run it, the whole process, against srec_cat reading the same data
// into nothing; and its peak memory against the file's size.
//
// The file: 8 MiB of random data as S2 records with CR LF line ends (20 MB), made by srec_cat. Ours reads
// it with a "DW 8" line in front (srec_cat addresses bytes); srec_cat reads it as it made it.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

namespace {

constexpr int kRuns = 7;

// The best wall time and the largest peak memory of each program over `kRuns` rounds, the two run in
// turn so that both see the same load of a shared machine; false when a run fails.
bool Best(const std::vector<std::string>& ours, const std::vector<std::string>& theirs, Run& bestOurs,
          Run& bestTheirs) {
    bestOurs = bestTheirs = {1e9, 0, 0, 0};
    for (int i = 0; i < kRuns; ++i) {
        for (auto [arguments, best] : {std::pair{&ours, &bestOurs}, std::pair{&theirs, &bestTheirs}}) {
            Run run = Measure(*arguments);
            if (run.status != 0) return false;
            best->wall = std::min(best->wall, run.wall);
            best->peakKiB = std::max(best->peakKiB, run.peakKiB);
        }
    }
    return true;
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
        std::fprintf(stderr, "bench-parse: srec_cat could not make the file\n");
        return 1;
    }
    std::ofstream(file, std::ios::binary) << "DW 8\r\n" << std::ifstream(made, std::ios::binary).rdbuf();
    double megabytes = static_cast<double>(std::filesystem::file_size(file)) / 1e6;

    Run ours{}, srecCat{};
    if (!Best({kx6000::ProgramFolder() + "/kx6000-download", "validate", file},
              {"srec_cat", made, "-o", "/dev/null", "-binary"}, ours, srecCat)) {
        std::fprintf(stderr, "bench-parse: a run failed\n");
        return 1;
    }

    double ratio = srecCat.wall / ours.wall, memory = ours.peakKiB * 1024.0 / 1e6 / megabytes;
    std::printf(
        "file: %.1f MB of S2 records, CR LF; best wall time of %d runs of each whole process, in turn\n",
        megabytes, kRuns);
    std::printf("kx6000-download validate: %.3f s (%.0f MB/s); srec_cat -o /dev/null: %.3f s (%.0f MB/s)\n",
                ours.wall, megabytes / ours.wall, srecCat.wall, megabytes / srecCat.wall);
    std::printf("validate: %.1f x srec_cat's speed (target >= 5)\n", ratio);
    std::printf("peak memory: %.1f MB = %.2f x the file's size (target <= 1.5)\n",
                ours.peakKiB * 1024.0 / 1e6, memory);
    return ratio >= 5 && memory <= 1.5 ? 0 : 1;
}
