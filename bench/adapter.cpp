// A download through a USB serial adapter: the share of the line the command line's download uses when the
// adapter's latency timer holds each short reply for up to 16 ms (its usual default), and for up to 1 ms
// (the low latency the port asks for), beside a plain line. The simulated radio runs in real time at
// 115200 baud.

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

namespace {

// The share of the line the image's data used, as the download's own line for the image says it; -1 when
// it says none.
int ShareOfTheLine(const std::string& statusLines) {
    std::ifstream file(statusLines);
    std::smatch found;
    static const std::regex kShare(R"(, (\d+)% of the line at 115200 baud)");
    for (std::string line; std::getline(file, line);)
        if (std::regex_search(line, found, kShare)) return std::stoi(found[1]);
    return -1;
}

}  // namespace

int main() {
    Scratch scratch;
    std::string bin = kx6000::ProgramFolder(), file = (scratch.folder / "image.s28").string(),
                link = (scratch.folder / "radio").string(), errors = (scratch.folder / "errors").string();
    size_t dataBytes = WriteImage(file, 64 * 1024);

    struct Case {
        const char* name;
        std::vector<std::string> options;
        int share = -1;
    };
    Case lines[] = {{"plain line", {}},
                    {"adapter, 16 ms", {"--adapter-latency", "16"}},
                    {"adapter, 1 ms", {"--adapter-latency", "1"}}};
    for (Case& line : lines) {
        pid_t radio = StartRadio(link, line.options);
        Run download = Measure(
            {bin + "/kx6000-download", "--device", link, "--baud", "115200", "download", file}, errors);
        kill(radio, SIGTERM);
        waitpid(radio, nullptr, 0);
        line.share = download.status == 0 ? ShareOfTheLine(errors) : -1;
    }
    auto& [plain, slow, low] = lines;
    std::printf("adapter: %zu KiB of data through kx6000-download at 115200 baud, share of the line:\n",
                dataBytes / 1024);
    for (const Case& line : lines) std::printf("  %-16s %3d%%\n", line.name, line.share);
    std::printf("target: the 1 ms timer within 5 points of the plain line, the 16 ms one below it\n");
    bool measured = plain.share > 0 && slow.share > 0 && low.share > 0;
    return measured && low.share >= plain.share - 5 && slow.share < low.share ? 0 : 1;
}
