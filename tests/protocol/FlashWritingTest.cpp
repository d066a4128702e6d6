// Writing images and erasing configurations against the simulated radio.

#include "files/SRecords.h"
#include "protocol/RadioTestBase.h"

namespace kx6000::test {
namespace {

class FlashWritingTest : public RadioTestBase {
protected:
    void StartRunning(const std::string& faults = "{}") {
        RadioTestBase::StartRunning(faults);
        protocol.GetFlashBlocks(port, model);
        ASSERT_EQ(LastError, 0);
    }
    clsRadio model;
};

// Whole, though a frame is garbled on the line now and then: it is sent again.
TEST_F(FlashWritingTest, ATableAcrossTwoBlocksIsWrittenWhole) {
    StartRunning(R"({"garbleEveryNthFrame": 100})");
    // 0x18000 words from 0x10000, in blocks of 1020 digits: blocks 1 and 2 of 0x10000 words each.
    std::string data = RandomHex(0x18000 * 4, 1);
    std::vector<std::string> blocks;
    for (size_t at = 0; at < data.size(); at += 1020) blocks.push_back(data.substr(at, 1020));
    protocol.WriteDataToFlash(Form(), port, Image({{0x10000, blocks}}), *model.FlashBlocks);
    EXPECT_EQ(LastError, 0);
    std::vector<std::string> frames = FrameTexts();
    const std::vector<std::string> blockFrames = {
        "320200010002CDFA",  // 32: Unlock Flash, 02: two words, 0001 0002: blocks 1 and 2, CDFA: checksum
        "330200010002CCFA",  // 33: Erase Flash, 02, the same blocks, CCFA
        "390200010002C6FA",  // 39: Lock Flash, 02, the same blocks, C6FA
    };
    EXPECT_EQ((std::vector{frames.at(1), frames.at(2), frames.back()}), blockFrames);
    EXPECT_EQ(radio->Flash(0x10000, data.size() / 2), HexBytes(data));
    const std::vector<std::string> status = {"Checking file against flash information...",
                                             "Unlocking flash...", "Erasing flash...", "Downloading data...",
                                             "Locking flash..."};
    EXPECT_EQ(StatusLines(), status);
}

TEST_F(FlashWritingTest, ProgressAndAddressesFollowTheBlocks) {
    StartRunning();
    protocol.WriteDataToFlash(Form(), port, Image({{0x100, {"1111", "2222", "3333"}}, {0x200, {"4444"}}}),
                              *model.FlashBlocks);
    EXPECT_EQ(LastError, 0);
    std::vector<int> progress;
    for (size_t at = out.str().find("] "); at != std::string::npos; at = out.str().find("] ", at + 1))
        progress.push_back(std::stoi(out.str().substr(at + 2)));
    EXPECT_EQ(progress, (std::vector<int>{25, 50, 75, 100, 100}));
    std::vector<std::string> log = Log(), addresses;
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].starts_with("Address:")) addresses.push_back(log[i] + " then " + log[i + 1].substr(0, 26));
    EXPECT_EQ(addresses, (std::vector<std::string>{"Address:00000100 then Command (Write Flash Data)",
                                                   "Address:00000200 then Command (Write Flash Data)"}));
}

TEST_F(FlashWritingTest, RefusalsStopTheWrite) {
    // The faults, the image, the error and the command codes sent after the flash structure.
    const std::tuple<const char*, Tables, int32_t, const char*> cases[] = {
        {"{}", {{0x7FFFE, {"11112222333344445555"}}}, 52, ""},  // runs past the last block
        {R"({"lockedWrites": 2})", {{0x100, {"1111"}}}, 0, "32 33 34 35 33 34 35 33 34 35 39"},
        {R"({"lockedWrites": 3})", {{0x100, {"1111"}}}, 8104, "32 33 34 35 33 34 35 33 34 35"},
        {R"({"errorWords": [{"command": "33", "word": "8103"}]})", {{0x100, {"1111"}}}, 8103, "32 33"},
    };
    for (const auto& [faults, tables, error, sent] : cases) {
        StartRunning(faults);
        protocol.WriteDataToFlash(Form(), port, Image(tables), *model.FlashBlocks);
        EXPECT_EQ(LastError, error) << faults;
        EXPECT_EQ(Commands(1), sent) << faults << ", after the \"37\"";
    }
}

TEST_F(FlashWritingTest, ErasingAConfigurationsBlock) {
    // The faults, the configuration, the error, the command codes after the two reads, and if it went.
    const std::tuple<const char*, const char*, int32_t, const char*, bool> cases[] = {
        {"{}", "ZMA1F_01.02.03.04", 0, "32 33 39", true},
        {R"({"errorWords": [{"command": "32", "word": "8104"}]})", "ZMA1F_01.02.03.04", 8104, "32", false},
    };
    for (const auto& [faults, name, error, sent, erased] : cases) {
        StartRunning(faults);
        protocol.GetConfiguration(Form(), port, model, nullptr);
        protocol.EraseFlashBlock(Form(), port, model, name);
        EXPECT_EQ(LastError, error) << name;
        EXPECT_EQ(Commands(2), sent) << name;
        bool present = std::ranges::any_of(radio->Configurations(), [](const auto& entry) {
            return entry.productId == "ZMA1F_01.02.03.04";
        });
        EXPECT_EQ(present, !erased) << name;
    }
}

}  // namespace
}  // namespace kx6000::test
