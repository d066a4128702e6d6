// kx6000-radio-sim: a simulated KX6100/KX6200 radio behind a pseudo-terminal. Prints the device path (and the
// link) on stdout, then runs until SIGINT, SIGTERM or --max-seconds.
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <iostream>

#include <CLI/CLI.hpp>

#include "sim/SimulatedRadio.h"

int main(int argc, char** argv) {
    CLI::App app{"Simulated KX6100/KX6200 radio behind a pseudo-terminal"};
    std::string scenarioPath, tracePath, linkPath;
    bool realtime = false;
    double maxSeconds = 600;
    app.add_option("--scenario", scenarioPath, "scenario file (JSON); a healthy KX6100 without it")
        ->check(CLI::ExistingFile);
    app.add_flag("--realtime", realtime, "every byte takes 10 bit times at the radio's line speed");
    app.add_option("--trace", tracePath, "write every byte, frame and reply as JSON lines to this file");
    app.add_option("--link", linkPath, "make a symbolic link to the pseudo-terminal at this path");
    app.add_option("--max-seconds", maxSeconds, "end after this many seconds (default 600)")
        ->check(CLI::Range(0.1, 7.0 * 24 * 3600));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    // Signals are taken by sigtimedwait below; the radio's thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    namespace fs = std::filesystem;
    try {
        kx6000::sim::Scenario scenario;
        if (!scenarioPath.empty()) scenario = kx6000::sim::LoadScenario(scenarioPath);
        kx6000::sim::SimulatedRadio radio(scenario, {realtime, tracePath});
        if (!linkPath.empty()) {
            if (fs::exists(fs::symlink_status(linkPath))) {
                if (!fs::is_symlink(fs::symlink_status(linkPath)))
                    throw std::runtime_error(linkPath + " exists and is not a symbolic link");
                fs::remove(linkPath);
            }
            fs::create_symlink(radio.DevicePath(), linkPath);
        }
        std::cout << radio.DevicePath() << std::endl;
        if (!linkPath.empty()) std::cout << linkPath << " -> " << radio.DevicePath() << std::endl;

        double whole;
        double fraction = std::modf(maxSeconds, &whole);
        timespec limit{static_cast<time_t>(whole), static_cast<long>(fraction * 1e9)};
        int signal = sigtimedwait(&signals, nullptr, &limit);
        while (signal < 0 && errno == EINTR) signal = sigtimedwait(&signals, nullptr, &limit);
        if (!linkPath.empty()) fs::remove(linkPath);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "kx6000-radio-sim: " << error.what() << std::endl;
        return 2;
    }
}
