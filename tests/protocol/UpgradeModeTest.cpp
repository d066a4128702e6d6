// Into upgrade mode and out of it, against the simulated radio.

#include "protocol/RadioTestBase.h"

namespace kx6000::test {
namespace {

class UpgradeModeTest : public RadioTestBase {};

TEST_F(UpgradeModeTest, TheUpgradeApplicationGoesOutByteByByte) {
    Start();
    protocol.LogRadioIntoUpgradeMode(Form(), port);
    protocol.SendUpgradeApplication(Form(), port, Image({{0, {"0102", "03"}}}, "ZMA1U"));
    EXPECT_EQ(LastError, 0);
    EXPECT_EQ(radio->ReceivedApplication(), (std::vector<uint8_t>{1, 2, 3}));
    std::vector<std::string> log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Using boot file : ZMA1U"), log.end());
    EXPECT_EQ(log.back(), "Response: AFAF");
    EXPECT_EQ(log[log.size() - 2], "Send Upgrade Application... ");
    EXPECT_NE(out.str().find("] 50% Upgrade Application - ZMA1U\033[K\r["), std::string::npos);
    EXPECT_NE(out.str().find("] 100% Upgrade Application - ZMA1U"), std::string::npos);
}

TEST_F(UpgradeModeTest, ARadioStillRunningAt115200IsResetByCommand) {
    Start(R"({"start": {"state": "running", "baud": 115200}})");
    protocol.LogRadioIntoUpgradeMode(Form(), port);
    EXPECT_EQ(LastError, 0);
    EXPECT_EQ(FrameTexts(1).front(), "3600C9FF");  // 36: Reset Radio, no data, checksum
    EXPECT_EQ(radio->Counters().logons, 1);
    EXPECT_EQ(radio->Baud(), 19200);
}

// A radio running an upgrade application at `rate`, as a port sees it: the reset byte means nothing to it,
// a "Reset Radio" reaches it only at its own speed, its restart signal only a port at 19200, and it answers
// the logon. (The simulated radio's pty cannot tell bytes written just after a speed change from those
// written just before it, so it reads a "Reset Radio" sent at 115200 at the speed of a radio at 19200.)
class RunningRadioPort : public IPort {
public:
    explicit RunningRadioPort(std::string rate) : rate(std::move(rate)) {}
    void OpenPort() override { LastError = 0; }
    std::string ReadBinary(int16_t, const std::string&, bool&) override { return LastError = 0, "2A"; }
    void WriteBinary(const std::string& data) override {
        LastError = 0;
        if (!data.starts_with("36")) return;
        resets.push_back(speed);
        restarted |= speed == rate;
    }
    void ClosePort() override { LastError = 0; }
    void SetPortParameters(const std::string& baud, int32_t) override { speed = baud, LastError = 0; }
    void WaitForReset() override {
        LastError = restarted && speed == "19200" ? 0 : 21;
        if (speed == "19200") restarted = false;  // the signal has passed
    }
    int16_t Step() const override { return 2; }
    void ResetRadio() override { LastError = 0; }
    void StopTimer() override {}

    std::string rate, speed;
    bool restarted = false;
    std::vector<std::string> resets;  // the speeds each "Reset Radio" went out at
};

TEST_F(UpgradeModeTest, TheResetFallsBackToEachRateInTurn) {
    // The rate the radio runs at, the error, and the rates each "Reset Radio" went out at.
    const std::tuple<const char*, int32_t, std::vector<std::string>> cases[] = {
        {"115200", 0, {"115200"}},
        {"19200", 0, {"115200", "19200"}},
        {"none", 21, {"115200", "19200", "9600"}}};
    Start();  // the form and its texts
    for (const auto& [rate, error, resets] : cases) {
        RunningRadioPort running(rate);
        protocol.LogRadioIntoUpgradeMode(Form(), running);
        EXPECT_EQ(LastError, error) << rate;
        EXPECT_EQ(running.resets, resets) << rate;
    }
}

// The special logon waits for the power cycle, found on the fourth wait of 2 seconds. (A wait given up ends
// with 21 and no logon: the window's download test.)
TEST_F(UpgradeModeTest, SpecialModeWaitsForThePowerCycle) {
    Start(R"({"specialMode": true, "powerCycleAfterSeconds": 7})");
    protocol.SetUpgradeMode(1);
    ConsoleForm form(ConsoleOptions{}, out, in);
    auto start = std::chrono::steady_clock::now();
    protocol.LogRadioIntoUpgradeMode(form, port);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(LastError, 0);
    EXPECT_EQ(radio->Counters().specialLogons, 1);
    EXPECT_TRUE(waited > std::chrono::seconds(6) && waited < std::chrono::seconds(8))
        << std::chrono::duration<double>(waited).count() << " s";
    EXPECT_NE(out.str().find("Please power cycle the radio to continue ..."), std::string::npos);
}

TEST_F(UpgradeModeTest, BaudNegotiation) {
    // The faults, the rate's index, the error, the rate confirmed and the frames sent.
    const std::tuple<const char*, int16_t, int32_t, std::string, std::vector<std::string>> cases[] = {
        {"{}", 0, 0, "115200", {"30010060CF9E"}},
        {"{}", 3, 0, "9600", {"30010008CFF6"}},
        // The radio stays at 19200 but answers "38" there: no other code is tried. The first "38" goes out
        // at 115200 the moment the port has switched, so the radio may read it at either speed ("").
        {R"({"refusedBaudCodes": ["0060"]})", 0, 0, "19200", {"30010060CF9E", "", "3800C7FF"}},
        {"{}", 4, 56, "19200", {}},
    };
    for (const auto& [faults, index, error, rate, sent] : cases) {
        SCOPED_TRACE(std::string(faults) + " " + std::to_string(index));
        StartRunning(faults);
        protocol.NegotiateBaud(Form(), port, index);
        EXPECT_EQ(LastError, error);
        EXPECT_EQ(protocol.PreviousBaudRate(), rate);
        std::vector<std::string> frames = FrameTexts(sent.size());
        for (size_t i = 0; i < std::min(frames.size(), sent.size()); ++i)
            if (sent[i].empty()) frames[i] = "";  // read at either speed
        EXPECT_EQ(frames, sent);
    }
    // After a restart the radio is at 19200, but the last confirmed rate stays.
    protocol.PreviousBaudRate("19200");
    protocol.NegotiateBaud(Form(), port, 1);
    EXPECT_EQ(LastError, 0);
    protocol.RestartRadio(Form(), port);
    EXPECT_EQ(LastError, 0);
    EXPECT_EQ(protocol.PreviousBaudRate(), "115200");
    EXPECT_EQ(radio->Baud(), 19200);
}

}  // namespace
}  // namespace kx6000::test
