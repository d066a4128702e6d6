// The simulated radio behind a USB serial adapter: its replies reach the component in packets, each let go
// when it is full or when the latency timer started by its first byte runs out.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "../port/PtyPeer.h"
#include "sim/SimulatedRadio.h"

namespace kx6000::sim::test {
namespace {

using Peer = kx6000::test::PtyPeer;
using std::chrono::milliseconds;

// Only lower bounds on times: a loaded machine makes everything later, never earlier.
TEST(SimulatedAdapterTest, HoldsRepliesUntilAPacketIsFullOrItsTimerRunsOut) {
    struct Case {
        const char* request;
        std::vector<size_t> packets;  // the reply's bytes as the adapter hands them over
    };
    const Case cases[] = {
        {"3800C7FF", {2}},      // "AFAF", held for the timer
        {"3700C8FF", {62, 8}},  // the structure of a KX6100: one full packet at once, the rest held
    };
    constexpr milliseconds kLatency(16);
    std::string tracePath = ::testing::TempDir() + "sim-adapter-trace";
    {
        SimulatedRadio radio(ParseScenario(R"({"start": {"state": "running"}})"),
                             {.tracePath = tracePath, .adapterLatency = kLatency});
        Peer peer(radio.DevicePath());
        for (const Case& test : cases) {
            size_t bytes = 0;
            for (size_t packet : test.packets) bytes += packet;
            auto sent = std::chrono::steady_clock::now();
            peer.Send(test.request);
            EXPECT_EQ(peer.Received(2000, bytes).size(), 2 * bytes) << test.request;
            EXPECT_GE(std::chrono::steady_clock::now() - sent, kLatency) << test.request;
        }
    }
    // The trace: when each request had arrived (in one read or more), then the writes of its reply.
    std::vector<std::pair<double, std::vector<nlohmann::json>>> exchanges;
    std::ifstream trace(tracePath);
    for (std::string line; std::getline(trace, line);) {
        auto event = nlohmann::json::parse(line);
        std::string direction = event.value("dir", "");
        if (direction == "rx" && (exchanges.empty() || !exchanges.back().second.empty()))
            exchanges.emplace_back();
        if (direction == "rx") exchanges.back().first = event["t"].get<double>();
        if (direction == "tx" && !exchanges.empty()) exchanges.back().second.push_back(event);
    }
    ASSERT_EQ(exchanges.size(), std::size(cases));
    for (size_t i = 0; i < exchanges.size(); ++i) {
        const auto& [arrived, writes] = exchanges[i];
        std::vector<size_t> packets;
        for (const auto& write : writes) packets.push_back(write["hex"].get<std::string>().size() / 2);
        EXPECT_EQ(packets, cases[i].packets) << cases[i].request;
        EXPECT_GE(writes.back()["t"].get<double>(), arrived + 0.016 - 1e-6) << cases[i].request;
    }
}

}  // namespace
}  // namespace kx6000::sim::test
