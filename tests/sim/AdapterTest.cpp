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
    // The request, and its reply's bytes in the packets the adapter hands over.
    const std::pair<const char*, std::vector<size_t>> cases[] = {
        {"3800C7FF", {2}},      // "AFAF", held for the timer
        {"3700C8FF", {62, 8}},  // the structure of a KX6100: one full packet at once, the rest held
    };
    constexpr milliseconds kLatency(16);
    std::string tracePath = ::testing::TempDir() + "sim-adapter-trace";
    {
        SimulatedRadio radio(ParseScenario(R"({"start": {"state": "running"}})"),
                             {.tracePath = tracePath, .adapterLatency = kLatency});
        Peer peer(radio.DevicePath());
        for (const auto& [request, packets] : cases) {
            SCOPED_TRACE(request);
            size_t bytes = 0;
            for (size_t packet : packets) bytes += packet;
            auto sent = std::chrono::steady_clock::now();
            peer.Send(request);
            EXPECT_EQ(peer.Received(2000, bytes).size(), 2 * bytes);
            EXPECT_GE(std::chrono::steady_clock::now() - sent, kLatency);
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
        SCOPED_TRACE(cases[i].first);
        const auto& [arrived, writes] = exchanges[i];
        std::vector<size_t> packets;
        for (const auto& write : writes) packets.push_back(write["hex"].get<std::string>().size() / 2);
        ASSERT_EQ(packets, cases[i].second);
        EXPECT_GE(writes.back()["t"].get<double>(),
                  arrived + std::chrono::duration<double>(kLatency).count() - 1e-6);
    }
}

}  // namespace
}  // namespace kx6000::sim::test
