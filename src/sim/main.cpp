// kx6000-radio-sim: a simulated KX6100/KX6200 radio behind a pseudo-terminal. Prints the device path (and the
// link) on stdout, then runs until SIGINT, SIGTERM or --max-seconds.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include <CLI/CLI.hpp>
#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/Console.h"
#include "sim/SimulatedRadio.h"

namespace {

// Returns at the first Ctrl-C or request to end from `notices`, or after `seconds`. The thread reading the
// notices is left behind at the time limit; it shares the state it uses, and the program ends anyway.
void WaitForStop(int notices, double seconds) {
    using Clock = std::chrono::steady_clock;
    auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    struct Stop {
        std::mutex mutex;
        std::condition_variable requested;
        bool done = false;
    };
    auto stop = std::make_shared<Stop>();
    std::thread([stop, notices] {
        kx6000::TakeStopNotice(notices);
        std::lock_guard lock(stop->mutex);
        stop->done = true;
        stop->requested.notify_one();
    }).detach();
    std::unique_lock lock(stop->mutex);
    stop->requested.wait_until(lock, deadline, [&] { return stop->done; });
}

// The radio as it ends: every configuration, and the bytes of the radio's own flash block by block (start in
// address units), for a test to hold against what it downloaded.
void WriteState(const kx6000::sim::SimulatedRadio& radio, int unitBytes, const std::string& path) {
    nlohmann::json state{{"configurations", nlohmann::json::array()}, {"flash", nlohmann::json::array()}};
    for (const auto& configuration : radio.Configurations())
        state["configurations"].push_back({{"networkId", configuration.networkId},
                                           {"deviceId", configuration.deviceId},
                                           {"productId", configuration.productId},
                                           {"address", configuration.address},
                                           {"status", configuration.status}});
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const auto& block : radio.Blocks()) {
        std::string hex;
        for (uint8_t byte : radio.Flash(block.start, size_t{block.length} * unitBytes))
            hex += {kDigits[byte >> 4], kDigits[byte & 15]};
        state["flash"].push_back({{"start", block.start}, {"hex", hex}});
    }
    std::ofstream(path) << state.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Simulated KX6100/KX6200 radio behind a pseudo-terminal"};
    std::string scenarioPath, tracePath, linkPath, statePath;
    bool realtime = false;
    double maxSeconds = 600;
    int adapterLatency = 0;
    app.add_option("--scenario", scenarioPath, "scenario file (JSON); a healthy KX6100 without it")
        ->check(CLI::ExistingFile);
    app.add_flag("--realtime", realtime, "every byte takes 10 bit times at the radio's line speed");
    app.add_option("--adapter-latency", adapterLatency,
                   "hand the radio's bytes over as a USB serial adapter with this latency timer (ms) does")
        ->check(CLI::Range(1, 255));
    app.add_option("--trace", tracePath, "write every byte, frame and reply as JSON lines to this file");
    app.add_option("--link", linkPath, "make a symbolic link to the pseudo-terminal at this path");
    app.add_option("--state-out", statePath,
                   "at the end, write the configurations and the radio's flash as JSON to this file");
    app.add_option("--max-seconds", maxSeconds, "end after this many seconds (default 600)")
        ->check(CLI::Range(0.1, 7.0 * 24 * 3600));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    namespace fs = std::filesystem;
    try {
        // Caught before the path is printed: whoever reads it may ask the radio to end at once.
        int notices = kx6000::StopNotices();
        if (notices < 0) throw std::runtime_error("cannot catch Ctrl-C");
        kx6000::sim::Scenario scenario;
        if (!scenarioPath.empty()) scenario = kx6000::sim::LoadScenario(scenarioPath);
        kx6000::sim::Options options{realtime, tracePath};
        if (adapterLatency > 0) options.adapterLatency = std::chrono::milliseconds(adapterLatency);
        kx6000::sim::SimulatedRadio radio(scenario, options);
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

        WaitForStop(notices, maxSeconds);
        if (!statePath.empty()) WriteState(radio, scenario.addressUnitBytes, statePath);
        if (!linkPath.empty()) fs::remove(linkPath);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "kx6000-radio-sim: " << error.what() << std::endl;
        return 2;
    }
}
