// `kx6000-download validate` of a 1 GB download file, plain and as JSON with every data block: the whole
// process's time and its peak memory against the file's size.
//
// The file: random 16-bit words from address 0 as S3 records of 32 data bytes with CR LF line ends, a
// usual line length, in one address run.

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Processes.h"
#include "Scratch.h"
#include "support/Paths.h"

namespace {

constexpr size_t kFileBytes = size_t{1} << 30;
constexpr int kDataBytes = 32;
constexpr size_t kLineBytes = 2 + 2 * (1 + 4 + kDataBytes + 1) + 2;

// Records until the file holds about `bytes`, written a few megabytes at a time.
bool WriteFile(const std::string& path, size_t bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fputs("S006000044495319\r\n", file);
    std::mt19937_64 random(6000);
    std::string chunk;
    uint32_t address = 0;
    for (size_t written = 0; written < bytes; written += kLineBytes, address += kDataBytes / 2) {
        uint8_t body[1 + 4 + kDataBytes] = {
            4 + kDataBytes + 1, static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        for (int i = 0; i < kDataBytes; i += 8) {
            uint64_t word = random();
            for (int b = 0; b < 8; ++b) body[5 + i + b] = static_cast<uint8_t>(word >> (8 * b));
        }
        unsigned sum = 0;
        chunk += "S3";
        auto hex = [&](uint8_t byte) {
            chunk += "0123456789ABCDEF"[byte >> 4];
            chunk += "0123456789ABCDEF"[byte & 15];
        };
        for (uint8_t byte : body) {
            hex(byte);
            sum += byte;
        }
        hex(static_cast<uint8_t>(0xFF - (sum & 0xFF)));
        chunk += "\r\n";
        if (chunk.size() >= (4 << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
            chunk.clear();
        }
    }
    chunk += "S70500000000FA\r\n";
    bool written = std::fwrite(chunk.data(), 1, chunk.size(), file) == chunk.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main() {
    Scratch scratch;
    std::string file = (scratch.folder / "big.s3").string();
    if (!WriteFile(file, kFileBytes)) {
        std::fprintf(stderr, "bench-big-file: could not write %s\n", file.c_str());
        return 1;
    }
    double megabytes = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    std::printf("file: %.0f MB of S3 records of %d data bytes, CR LF; one run of each whole process\n",
                megabytes, kDataBytes);

    std::string program = kx6000::ProgramFolder() + "/kx6000-download";
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        double target;  // peak memory / file size
    };
    bool met = true;
    for (const Case& test :
         {Case{"validate", {program, "validate", file}, 1.2},
          Case{"validate --json --data", {program, "validate", "--json", "--data", file}, 1.5}}) {
        Run run = Measure(test.arguments);
        double peak = run.peakKiB * 1024.0 / 1e6, memory = peak / megabytes;
        if (run.status != 0) {
            std::printf("%s: failed, as it says above\n", test.name);
            met = false;
            continue;
        }
        std::printf("%s: %.2f s (%.0f MB/s); peak memory %.0f MB = %.2f x the file's size (target <= %.1f)\n",
                    test.name, run.wall, megabytes / run.wall, peak, memory, test.target);
        met = met && memory <= test.target;
    }
    return met ? 0 : 1;
}
