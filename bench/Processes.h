// The benchmarks' helpers: programs started beside them, download files to write, CPU time.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/Paths.h"

// The CPU time this process has used so far, user and system.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Their own output (the radio's device, the configuration table) is not the benchmark's; their errors and
// status lines go to `errors` when it is given, for the benchmark to read afterwards.
inline pid_t Start(const std::vector<std::string>& arguments, const std::string& errors = "") {
    pid_t child = fork();
    if (child == 0) {
        if (int null = open("/dev/null", O_WRONLY); null >= 0) dup2(null, STDOUT_FILENO);
        if (int file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644); file >= 0)
            dup2(file, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());  // a name without a folder is looked up in PATH
        _exit(127);
    }
    return child;
}

struct Run {
    double wall = 0, cpu = 0;  // seconds; the CPU time includes the program's own workers
    long peakKiB = 0;
    int status = -1;
};

// Runs a program to its end.
inline Run Measure(const std::vector<std::string>& arguments, const std::string& errors = "") {
    auto start = std::chrono::steady_clock::now();
    pid_t child = Start(arguments, errors);
    Run run;
    rusage usage{};
    wait4(child, &run.status, 0, &usage);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    run.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peakKiB = usage.ru_maxrss;
    return run;
}

// Starts the simulated radio in real time behind the link, with `more` options; it is there when this
// returns.
inline pid_t StartRadio(const std::string& link, const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {
        kx6000::ProgramFolder() + "/kx6000-radio-sim", "--realtime", "--link", link, "--max-seconds", "300"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    pid_t radio = Start(arguments);
    for (int i = 0; i < 100 && !std::filesystem::exists(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return radio;
}

// `bytes` of random 16-bit words from word address 0x20000, as S2 records of
// sixteen words with CR LF line ends.
inline size_t WriteImage(const std::string& path, size_t bytes) {
    std::ofstream file(path, std::ios::binary);
    file << "S00600004449534B\r\n";
    std::mt19937 random(6200);
    for (size_t offset = 0; offset < bytes; offset += 32) {
        uint32_t address = 0x20000 + static_cast<uint32_t>(offset / 2);
        std::vector<uint8_t> body = {36, static_cast<uint8_t>(address >> 16),
                                     static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        for (int i = 0; i < 32; ++i) body.push_back(static_cast<uint8_t>(random()));
        unsigned sum = 0;
        char hex[3];
        file << "S2";
        for (uint8_t byte : body) {
            std::snprintf(hex, sizeof hex, "%02X", byte);
            file << hex;
            sum += byte;
        }
        std::snprintf(hex, sizeof hex, "%02X", 0xFF - (sum & 0xFF));
        file << hex << "\r\n";
    }
    file << "S804000000FB\r\n";
    return bytes;
}
