// The simulated radio driven over its pseudo-terminal with hand-built frames, as the component would.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "Peer.h"
#include "sim/SimulatedRadio.h"

namespace kx6000::sim::test {
namespace {

// One exchange: the peer may change its speed, writes `send`, may change speed 10 ms later (as the
// component does after "30" and "36"), then expects exactly `expect` ("" means silence).
struct Step {
    std::string send;
    std::string expect;
    int baudAfter = 0;
    int baudBefore = 0;
};

void Converse(SimulatedRadio& radio, const std::vector<Step>& steps) {
    Peer peer(radio.DevicePath());
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        if (step.baudBefore) peer.SetBaud(step.baudBefore);
        if (!step.send.empty()) peer.Write(step.send);
        if (step.baudAfter) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            peer.SetBaud(step.baudAfter);
        }
        if (step.expect.empty())
            EXPECT_EQ(peer.Read(0, 120), "") << "step " << i << " sent " << step.send;
        else
            EXPECT_EQ(peer.Read(step.expect.size() / 2), step.expect)
                << "step " << i << " sent " << step.send;
    }
    EXPECT_EQ(peer.Read(0, 60), "") << "bytes after the last step";
}

const std::string kSmallFlash =
    R"("flash": [{"start": 0, "length": "0x100"}, {"start": "0x100", "length": "0x100"}],
    "configurations": [{"productId": "AB", "address": "0x10", "status": 3}])";

Scenario Running(const std::string& fields = "", int baud = 19200) {
    return ParseScenario(R"({"start": {"state": "running", "baud": )" + std::to_string(baud) + "}, " +
                         kSmallFlash + (fields.empty() ? "" : ", " + fields) + "}");
}

TEST(SimulatedRadioTest, AnswersEveryCommandOfTheTable) {
    SimulatedRadio radio(Running());
    // The first two frames are the protocol's own examples, byte for byte.
    const std::vector<Step> steps = {
        {"3700C8FF",
         "4608"      // flash structure reply, 8 words
         "00000000"  // block 0: start 0
         "00000100"  //          length 0x100
         "00000100"  // block 1: start 0x100
         "00000100"  //          length 0x100
         "B6F7"      // checksum
         "AFAF"},
        {"32010003CDFB", "8106AFAF"},  // unlock of an unknown block 3
        {Frame(0x31),
         "4306"      // data reply, 6 words
         "00410042"  // "AB"
         "0000"      // blank word
         "00000010"  // address 0x10
         "0003"      // status 3
         "BC63"      // checksum
         "AFAF"},
        {Frame(0x38), "AFAF"},
        {Frame(0x70),
         "4902"      // flash information reply, 2 words
         "00898818"  // maker and part
         "2E5C"      // checksum
         "AFAF"},
        {Frame(0x3A, {0x0000}), "AFAF"},        // the radio's own memory
        {Frame(0x3A, {0x0102}), "810AAFAF"},    // a KX6100 has no attached devices
        {Frame(0x33, {0}), "8104AFAF"},         // erase of a locked block
        {Frame(0x35, {0x1234}), "8109AFAF"},    // write without an address
        {Frame(0x34, {0, 0x200}), "8106AFAF"},  // address beyond the blocks
        {Frame(0x32, {0, 1}), "AEAEAEAEAFAF"},
        {Frame(0x33, {0}), "AEAEAFAF"},
        {Frame(0x34, {0, 0x20}), "AFAF"},
        {Frame(0x35, {0x1234, 0x5678}), "AFAF"},
        {Frame(0x35, {0x9ABC}), "AFAF"},  // continues where the last write ended
        {Frame(0x34, {0, 0x20}), "AFAF"},
        {Frame(0x35, {0xFFFF}), "8105AFAF"},  // not erased
        {Frame(0x34, {0, 0x1FF}), "AFAF"},
        {Frame(0x35, {0, 0}), "8106AFAF"},  // runs off the end of the last block
        {Frame(0x39, {1}), "AEAEAFAF"},
        {Frame(0x34, {0, 0x100}), "AFAF"},
        {Frame(0x35, {0}), "8104AFAF"},       // locked again
        {Frame(0x40), "8001AFAF"},            // unknown code
        {Frame(0x30), "8108AFAF"},            // "Set Baud Rate" without its word
        {Frame(0x30, {0x0001}), "8101AFAF"},  // unknown baud code
        {"3800C7FE", "8002AFAF"},             // checksum off by one
        {"3101", "8003AFAF"},                 // half a frame, then silence
    };
    Converse(radio, steps);
    EXPECT_EQ(radio.Flash(0x20, 8), Bytes("123456789ABCFFFF"));
    auto blocks = radio.Blocks();
    EXPECT_FALSE(blocks[0].locked);
    EXPECT_EQ(blocks[0].erasures, 1);
    EXPECT_TRUE(blocks[1].locked);
    EXPECT_TRUE(radio.Configurations().empty()) << "the erase of block 0 takes \"AB\" at 0x10 with it";
    auto frames = radio.Frames();
    ASSERT_EQ(frames.size(), 26u) << "the half frame is not one";
    EXPECT_EQ(frames[0].hex, "3700C8FF");
    EXPECT_EQ(frames[1].data, "0003");
    EXPECT_FALSE(frames.back().checksumOk);
    EXPECT_EQ(radio.Counters().logons, 0);
}

TEST(SimulatedRadioTest, ResetLogonAndStartOfTheUpgradeApplication) {
    const std::string healthy = kSmallFlash;
    struct Case {
        const char* what;
        std::string scenario;
        std::vector<Step> steps;
    } cases[] = {
        {"normal logon, then its own upgrade application",
         healthy,
         {{"5E", "56"}, {"21", "2A"}, {"", "3F"}, {"", "AFAF"}, {Frame(0x38), "AFAF"}}},
        {"special logon on a normal radio", healthy, {{"5E", "56"}, {"3B1D5C", "2A"}, {"", "3FAFAF"}}},
        {"restart signal 0x76", healthy + R"(, "restartSignal": "76")", {{"5E", "76"}}},
        {"special mode: no reset byte, no normal logon, a power cycle",
         healthy + R"(, "specialMode": true, "powerCycleAfterSeconds": 0.4)",
         {{"5E", ""}, {"", "56"}, {"21", ""}, {"3B1D5C", "2A"}}},
        {"no logon reply", healthy + R"(, "faults": {"noLogonReply": true})", {{"5E", "56"}, {"21", ""}}},
        {"silent", healthy + R"(, "faults": {"silent": true})", {{"5E", ""}, {"21", ""}}},
        {"keep-alive storm before the restart signal",
         healthy + R"(, "faults": {"keepAliveStorm": {"words": 3, "intervalMs": 5}})",
         {{"5E", "AEAEAEAEAEAE56"}}},
        {"in its upgrade application at 115200: the reset byte is garbled, then a bad frame",
         R"("start": {"state": "running", "baud": 115200}, )" + healthy,
         {{"5E", "00000000"},                    // "8003" + "AFAF" sent at 115200 to a port at 19200
          {Frame(0x36), "56", 19200, 115200}}},  // "36" at 115200, the restart signal at 19200
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedRadio radio(ParseScenario("{" + c.scenario + "}"));
        Converse(radio, c.steps);
    }
}

TEST(SimulatedRadioTest, SwitchesSpeedAndGarblesWhileTheEndsDisagree) {
    std::string tracePath = ::testing::TempDir() + "sim-baud-trace.jsonl";
    {
        SimulatedRadio radio(Running(R"("faults": {"refusedBaudCodes": ["0008"]})"), {false, tracePath});
        const std::vector<Step> steps = {
            {Frame(0x30, {0x0008}), "8101AFAF"},  // 9600 refused: answered at 19200
            {"30010060CF9E", "AFAF", 115200},     // 115200: the answer comes at the new speed
            // Sent at 19200: the radio reads nulls, its "8002" + "AFAF" arrives as nulls.
            {Frame(0x38), "00000000", 0, 19200},
            {Frame(0x38), "AFAF", 0, 115200},
            {Frame(0x30, {0x0010}), "0000"},  // to 19200, but the port stays at 115200
            {Frame(0x38), "AFAF", 0, 19200},
        };
        Converse(radio, steps);
        EXPECT_EQ(radio.Baud(), 19200);
    }
    std::ifstream trace(tracePath);
    int garbledIn = 0, garbledOut = 0, frames = 0;
    for (std::string line; std::getline(trace, line);) {
        auto event = nlohmann::json::parse(line);
        garbledIn += event.value("dir", "") == "rx" && event["garbled"] == true;
        garbledOut += event.value("dir", "") == "tx" && event["garbled"] == true;
        frames += event.value("event", "") == "frame" && event["code"] == "30" && event["checksumOk"] == true;
    }
    EXPECT_EQ(garbledIn, 1);   // the "38" sent at 19200
    EXPECT_EQ(garbledOut, 2);  // its "8002" + "AFAF", and the "AFAF" at 19200 to a port at 115200
    EXPECT_EQ(frames, 3);
    std::filesystem::remove(tracePath);
}

TEST(SimulatedRadioTest, EachFaultOfTheScenario) {
    const std::vector<uint16_t> block0{0};
    struct Case {
        const char* what;
        std::string faults;
        std::vector<Step> steps;
    } cases[] = {
        {"keep-alive words before each reply and each data reply",
         R"("keepAlive": {"words": 2})",
         {{Frame(0x38), "AEAEAEAEAFAF"},
          {Frame(0x31), "AEAEAEAE4306004100420000000000100003BC63AEAEAEAEAFAF"}}},
        {"an error word for a command",
         R"("errorWords": [{"command": "38", "word": "810C"}])",
         {{Frame(0x38), "810CAFAF"}}},
        {"an error word for one block",
         R"("errorWords": [{"command": "32", "word": "8103", "block": 1}])",
         {{Frame(0x32, {0, 1}), "AEAE8103AFAF"}}},
        {"an error word for the second occurrence only",
         R"("errorWords": [{"command": "38", "word": "8107", "occurrence": 2}])",
         {{Frame(0x38), "AFAF"}, {Frame(0x38), "8107AFAF"}, {Frame(0x38), "AFAF"}}},
        {"flash locked for the first two writes",
         R"("lockedWrites": 2)",
         {{Frame(0x32, block0), "AEAEAFAF"},
          {Frame(0x34, {0, 0x80}), "AFAF"},
          {Frame(0x35, {1}), "8104AFAF"},
          {Frame(0x35, {1}), "8104AFAF"},
          {Frame(0x35, {1}), "AFAF"}}},
        {"corrupted checksum of the second flash structure reply",
         R"("corruptChecksums": [{"command": "37", "reply": 2}])",
         {{Frame(0x37),
           "4608"
           "00000000"
           "00000100"
           "00000100"
           "00000100"
           "B6F7"
           "AFAF"},
          {Frame(0x37),
           "4608"
           "00000000"
           "00000100"
           "00000100"
           "00000100"
           "B6F6"
           "AFAF"}}},
        {"every third frame garbled",
         R"("garbleEveryNthFrame": 3)",
         {{Frame(0x38), "AFAF"}, {Frame(0x38), "AFAF"}, {Frame(0x38), "8002AFAF"}, {Frame(0x38), "AFAF"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedRadio radio(Running(R"("faults": {)" + c.faults + "}"));
        Converse(radio, c.steps);
    }
}

TEST(SimulatedRadioTest, RealtimeBytesTakeTheirTimeOnTheLine) {
    SimulatedRadio radio(ParseScenario(R"({"start": {"state": "running", "baud": 19200}})"), {true, ""});
    Peer peer(radio.DevicePath());
    auto start = std::chrono::steady_clock::now();
    peer.Write(Frame(0x37));
    // 4 bytes in; 70 out: 0x46, 32 words for 8 blocks, checksum, terminator; 10 bits each at 19200.
    ASSERT_EQ(peer.Read(70).size(), 140u);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double ideal = 74 * 10 / 19200.0;
    EXPECT_GE(seconds, ideal * 0.99);
    EXPECT_LE(seconds, ideal * 1.2);  // generous for a loaded machine; the benchmark holds it to 5 %
}

TEST(SimulatedRadioTest, ProgramLinksThePortAndEndsOnSigterm) {
    std::string link = ::testing::TempDir() + "sim-radio-link";
    std::string program = std::string(KX6000_BIN_DIR) + "/kx6000-radio-sim";
    std::vector<std::string> args{program, "--max-seconds", "20", "--link", link};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    FILE* stdoutOfProgram = fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, stdoutOfProgram), nullptr);
    std::string path(line);
    path.pop_back();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
    {
        Peer peer(link);
        peer.Write("5E");
        EXPECT_EQ(peer.Read(1), "56");
    }
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    fclose(stdoutOfProgram);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

}  // namespace
}  // namespace kx6000::sim::test
