// The command transaction against the simulated radio, over its line.

#include "protocol/RadioTestBase.h"

namespace kx6000::test {
namespace {

class TransactionTest : public RadioTestBase {};

TEST_F(TransactionTest, FramesGoOutByteForByte) {
    StartRunning();
    clsRadio model;
    protocol.GetFlashBlocks(port, model);
    protocol.SendCommand(port, 2000, "32", "0003");
    size_t logged = Log().size();
    protocol.SendCommand(port, 2000, "3A", "000102");  // not whole words: nothing logged or sent
    EXPECT_EQ(LastError, 54);
    protocol.SendCommand(port, 0, "4B", "");  // outside the table: an empty name; no reply read
    EXPECT_EQ(LastError, 0);
    protocol.SendCommand(port, 2000, "3A", "00ZZ");  // logged, then refused by the port
    EXPECT_EQ(LastError, 15);
    protocol.SendCommand(port, 0, "30", "0060");
    const std::vector<std::string> frames = {
        "3700C8FF",      // 37: Report Flash Structure, 00: no data words, C8FF: checksum
        "32010003CDFB",  // 32: Unlock Flash, 01: one word, 0003: block 3, CDFB: checksum
        "4B00B4FF",      // 4B: no such command, 00, B4FF
        "30010060CF9E",  // 30: Set Baud Rate, 01: one word, 0060: 115200 / 1200, CF9E: checksum
    };
    EXPECT_EQ(FrameTexts(4), frames);
    std::vector<std::string> log = Log();
    const std::vector<std::string> expected = {"Command () : 4B00B4FF",
                                               "Command (Set Memory Target) : 3A0100ZZ",
                                               "Command (Set Baud Rate) : 30010060CF9E"};
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<long>(logged), log.end()), expected);
}

TEST_F(TransactionTest, RepliesBecomeErrorNumbers) {
    // The error word, the error, whether the flash is locked, and how often the frame went out.
    const std::tuple<const char*, int32_t, bool, size_t> cases[] = {
        {"8105", 8105, false, 1}, {"810B", 8111, false, 1}, {"8104", 8104, true, 1},
        {"8001", 58, false, 3},   {"8002", 58, false, 3},   {"8003", 58, false, 3}};
    for (auto [word, error, flashLocked, frames] : cases) {
        StartRunning(R"({"errorWords": [{"command": "3A", "word": ")" + std::string(word) + R"("}]})");
        protocol.SetDeviceID(port, "0000");
        EXPECT_EQ(LastError, error) << word;
        EXPECT_EQ(protocol.FlashLocked(), flashLocked) << word;
        EXPECT_EQ(radio->Frames().size(), frames) << word;
        EXPECT_EQ(Log().back(), std::string("Response : ") + word + "AFAF");
    }
}

TEST_F(TransactionTest, BlockListsNameTheFailingBlock) {
    StartRunning(R"({"errorWords": [{"command": "33", "word": "8105", "block": 1}]})");
    protocol.SendCommand(port, 2000, "32", "000000010002");
    EXPECT_EQ(LastError, 0);
    EXPECT_EQ(protocol.LastResponse(), "AEAEAEAEAEAEAFAF");
    protocol.SendCommand(port, 2000, "33", "000000010002");
    EXPECT_EQ(LastError, 59);
    EXPECT_EQ(protocol.LastResponse(), "AEAE8105AEAEAFAF");
    EXPECT_EQ(Log().back(), "Error (Block id in position 01)");
    EXPECT_EQ(radio->Frames().size(), 2u) << "a block list's error is not sent again";
}

TEST_F(TransactionTest, ConfigurationsAreReadOneReplyAtATime) {
    StartRunning();
    clsRadio model;
    protocol.GetConfiguration(Form(), port, model, nullptr);
    EXPECT_EQ(LastError, 0);
    EXPECT_EQ(std::ranges::count_if(Log(), [](auto& line) { return line.starts_with("Response : "); }), 4)
        << "three records and the terminator";
    ConfigLog.CloseLogFile();
    const std::vector<std::string> configurations = {"Configuration: ZMA1B_01.00|Status: 0",
                                                     "Configuration: ZMA1F_01.02.03.04|Status: 0",
                                                     "Configuration: KXA61_HW01|Status: 0"};
    EXPECT_EQ(Log("KX6000Config.log"), configurations);
    EXPECT_EQ(StatusLines(), std::vector<std::string>{"Reading current configuration..."});
}

TEST_F(TransactionTest, BrokenRepliesOfTheReadsAreRefused) {
    // The faults, the error and the configurations read first (-1: the flash structure is read instead).
    const std::tuple<const char*, int32_t, int32_t> cases[] = {
        {R"({"keepAlive": {"words": 1}})", 54, -1},                // a keep-alive word before the structure
        {R"({"corruptChecksums": [{"command": "37"}]})", 55, -1},  // a structure with a wrong checksum
        {R"({"corruptChecksums": [{"command": "31", "reply": 2}]})", 55, 1},  // the second record
    };
    for (auto [faults, error, configurations] : cases) {
        StartRunning(faults);
        clsRadio model;
        if (configurations < 0) {
            protocol.GetFlashBlocks(port, model);
            EXPECT_EQ(model.FlashBlocks->Count(), 0) << faults;
        } else {
            protocol.GetConfiguration(Form(), port, model, nullptr);
            EXPECT_EQ(model.Configurations->Count(), configurations) << faults;
        }
        EXPECT_EQ(LastError, error) << faults;
    }
}

}  // namespace
}  // namespace kx6000::test
