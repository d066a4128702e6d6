// The simulated radio driven over its pseudo-terminal with hand-built frames, as the component would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "../port/PtyPeer.h"
#include "port/clsSerial.h"
#include "sim/SimulatedRadio.h"
#include "support/Program.h"

namespace kx6000::sim::test {
namespace {

using kx6000::test::HexBytes;
using Peer = kx6000::test::PtyPeer;

// A command frame: code, word count, data words, then the complement of the 16-bit sum of the words.
std::string Frame(uint8_t code, const std::vector<uint16_t>& words = {}) {
    uint16_t sum = static_cast<uint16_t>(code << 8 | words.size());
    std::string hex = ToHex(code, 2) + ToHex(static_cast<uint32_t>(words.size()), 2);
    for (uint16_t word : words) sum = static_cast<uint16_t>(sum + word), hex += ToHex(word, 4);
    return hex + ToHex(static_cast<uint16_t>(~sum), 4);
}

// One exchange: the peer may change its speed (and waits 10 ms), writes `send`, may change speed 10 ms
// later (as the component does after "30" and "36"), then expects exactly `expect` ("" means silence).
struct Step {
    std::string send;
    std::string expect;
    speed_t speedAfter = 0;
    speed_t speedBefore = 0;
};

void Converse(SimulatedRadio& radio, const std::vector<Step>& steps) {
    Peer peer(radio.DevicePath());
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        if (step.speedBefore) {
            // Settled first: bytes written right at a change may be read at either speed.
            peer.SetSpeed(step.speedBefore);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!step.send.empty()) peer.Send(step.send);
        if (step.speedAfter) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            peer.SetSpeed(step.speedAfter);
        }
        EXPECT_EQ(peer.Received(step.expect.empty() ? 120 : 1000, step.expect.size() / 2), step.expect)
            << "step " << i << " sent " << step.send;
    }
    EXPECT_EQ(peer.Received(60), "") << "bytes after the last step";
}

const std::string kSmallFlash =
    R"("flash": [{"start": 0, "length": "0x100"}, {"start": "0x100", "length": "0x100"}],
    "configurations": [{"productId": "AB", "address": "0x10", "status": 3}])";
const std::string kRunning = R"("start": {"state": "running"}, )" + kSmallFlash;

// kSmallFlash's structure reply up to its checksum: 8 words, two blocks of start and length.
const std::string kStructure = std::string("4608") + "00000000" + "00000100" + "00000100" + "00000100";
// Its configuration's data reply up to its terminator: 6 words, "AB", a blank, address 0x10, status 3, sum.
const std::string kConfiguration = std::string("4306") + "00410042" + "0000" + "00000010" + "0003" + "BC63";

TEST(SimulatedRadioTest, AnswersEveryCommandOfTheTable) {
    SimulatedRadio radio(ParseScenario("{" + kRunning + "}"));
    // The first two frames are the protocol's own examples, byte for byte.
    const std::vector<Step> steps = {
        {"3700C8FF", kStructure + "B6F7AFAF"},  // its checksum, the terminator
        {"32010003CDFB", "8106AFAF"},           // unlock of an unknown block 3
        {Frame(0x31), kConfiguration + "AFAF"},
        {Frame(0x38), "AFAF"},
        {Frame(0x70), "4902008988182E5CAFAF"},  // flash information: maker 0089, part 8818, checksum
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
        {"3101", "8003AFAF"}                  // half a frame, then silence
    };
    Converse(radio, steps);
    EXPECT_EQ(radio.Flash(0x20, 8), HexBytes("123456789ABCFFFF"));
    auto blocks = radio.Blocks();
    EXPECT_EQ(std::tuple(blocks[0].locked, blocks[0].erasures, blocks[1].locked), std::tuple(false, 1, true));
    EXPECT_TRUE(radio.Configurations().empty()) << "the erase of block 0 takes \"AB\" at 0x10 with it";
    auto frames = radio.Frames();
    ASSERT_EQ(frames.size(), 26u) << "the half frame is not one";
    EXPECT_EQ(frames[0].hex, "3700C8FF");
    EXPECT_EQ(frames[1].data, "0003");
    EXPECT_FALSE(frames.back().checksumOk);
    EXPECT_EQ(radio.Counters().logons, 0);
}

// Each scenario's start and faults, from the reset byte on. The faults whose replies the protocol's tests
// pin down (no logon reply, silence, error words, locked writes, corrupted checksums) are theirs to show.
TEST(SimulatedRadioTest, EachStartAndFaultOfTheScenario) {
    const std::tuple<const char*, std::string, std::vector<Step>> cases[] = {
        {"normal logon, then its own upgrade application",
         kSmallFlash,
         {{"5E", "56"}, {"21", "2A"}, {"", "3F"}, {"", "AFAF"}, {Frame(0x38), "AFAF"}}},
        {"special logon on a normal radio", kSmallFlash, {{"5E", "56"}, {"3B1D5C", "2A"}, {"", "3FAFAF"}}},
        {"restart signal 0x76", kSmallFlash + R"(, "restartSignal": "76")", {{"5E", "76"}}},
        {"special mode: no reset byte, no normal logon, a power cycle",
         kSmallFlash + R"(, "specialMode": true, "powerCycleAfterSeconds": 0.4)",
         {{"5E", ""}, {"", "56"}, {"21", ""}, {"3B1D5C", "2A"}}},
        {"keep-alive storm before the restart signal",
         kSmallFlash + R"(, "faults": {"keepAliveStorm": {"words": 3, "intervalMs": 5}})",
         {{"5E", "AEAEAEAEAEAE56"}}},
        {"in its upgrade application at 115200: the reset byte is garbled, then a bad frame",
         R"("start": {"state": "running", "baud": 115200}, )" + kSmallFlash,
         {{"5E", "00000000"},                      // "8003" + "AFAF" sent at 115200 to a port at 19200
          {Frame(0x36), "56", B19200, B115200}}},  // "36" at 115200, the restart signal at 19200
        {"keep-alive words before each reply and each data reply",
         kRunning + R"(, "faults": {"keepAlive": {"words": 2}})",
         {{Frame(0x38), "AEAEAEAEAFAF"}, {Frame(0x31), "AEAEAEAE" + kConfiguration + "AEAEAEAEAFAF"}}},
        {"an error word for the second occurrence only",
         kRunning + R"(, "faults": {"errorWords": [{"command": "38", "word": "8107", "occurrence": 2}]})",
         {{Frame(0x38), "AFAF"}, {Frame(0x38), "8107AFAF"}, {Frame(0x38), "AFAF"}}},
        {"every third frame garbled",
         kRunning + R"(, "faults": {"garbleEveryNthFrame": 3})",
         {{Frame(0x38), "AFAF"}, {Frame(0x38), "AFAF"}, {Frame(0x38), "8002AFAF"}, {Frame(0x38), "AFAF"}}},
    };
    for (const auto& [what, scenario, steps] : cases) {
        SCOPED_TRACE(what);
        SimulatedRadio radio(ParseScenario("{" + scenario + "}"));
        Converse(radio, steps);
    }
}

TEST(SimulatedRadioTest, SwitchesSpeedAndGarblesWhileTheEndsDisagree) {
    std::string tracePath = ::testing::TempDir() + "sim-baud-trace.jsonl";
    {
        SimulatedRadio radio(ParseScenario("{" + kRunning + R"(, "faults": {"refusedBaudCodes": ["0008"]}})"),
                             {false, tracePath});
        const std::vector<Step> steps = {
            {Frame(0x30, {0x0008}), "8101AFAF"},  // 9600 refused: answered at 19200
            {"30010060CF9E", "AFAF", B115200},    // 115200: the answer comes at the new speed
            // Sent at 19200: the radio reads nulls, its "8002" + "AFAF" arrives as nulls.
            {Frame(0x38), "00000000", 0, B19200},
            {Frame(0x38), "AFAF", 0, B115200},
            {Frame(0x30, {0x0010}), "0000"},  // to 19200, but the port stays at 115200
            {Frame(0x38), "AFAF", 0, B19200},
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
    // In: the "38" sent at 19200; out: its "8002" + "AFAF", and the "AFAF" at 19200 to a port at 115200.
    EXPECT_EQ(std::tuple(garbledIn, garbledOut, frames), std::tuple(1, 2, 3));
    std::filesystem::remove(tracePath);
}

// A host that changes speed right after writing, without waiting for its bytes to leave, is read at the
// speed it wrote them at: "36" at 115200, then the restart signal at 19200.
TEST(SimulatedRadioTest, BytesKeepTheSpeedTheyWereWrittenAt) {
    int misread = 0;
    for (int i = 0; i < 50; ++i) {
        SimulatedRadio radio(ParseScenario(R"({"start": {"state": "running", "baud": 115200}})"));
        Peer peer(radio.DevicePath(), B115200);
        peer.Send(Frame(0x38));
        ASSERT_EQ(peer.Received(1000, 2), "AFAF");
        peer.Send(Frame(0x36));
        peer.SetSpeed(B19200);
        misread += peer.Received(1000, 1) != "56";
    }
    EXPECT_EQ(misread, 0);
}

TEST(SimulatedRadioTest, RealtimeBytesTakeTheirTimeOnTheLine) {
    SimulatedRadio radio(ParseScenario(R"({"start": {"state": "running", "baud": 19200}})"), {true, ""});
    Peer peer(radio.DevicePath());
    auto start = std::chrono::steady_clock::now();
    peer.Send(Frame(0x37));
    // 4 bytes in; 70 out: 0x46, 32 words for 8 blocks, checksum, terminator; 10 bits each at 19200.
    ASSERT_EQ(peer.Received(1000, 70).size(), 140u);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double ideal = 74 * 10 / 19200.0;
    EXPECT_GE(seconds, ideal * 0.99);  // how much more a loaded machine takes is the benchmark's to say
}

// A figure of this process's /proc/self/status, in kB.
long StatusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// AddressSanitizer keeps freed memory in quarantine, so a peak of resident memory says nothing there.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kPeakMeansSomething = false;
#else
constexpr bool kPeakMeansSomething = true;
#endif

TEST(SimulatedRadioTest, AKeepAliveFloodHoldsAReadInFlatMemoryUntilStopped) {
    for (LineKind line : {LineKind::Pty, LineKind::Loopback}) {
        SCOPED_TRACE(line == LineKind::Pty ? "pty" : "loopback");
        SimulatedRadio radio(ParseScenario("{" + kRunning + R"(, "faults": {"keepAliveFlood": true}})"),
                             {false, "", line});
        clsSerial port;
        port.CommPort(radio.DevicePath());
        port.SetPortParameters("19200", 1);
        ASSERT_EQ(LastError, 0);
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak counts from here
        long start = StatusKilobytes("VmRSS");
        // Two million words: kept as hex text they alone would take 8 MB.
        constexpr int64_t kWords = 2'000'000;
        std::jthread technician([&radio] {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (radio.Counters().floodedWords < kWords && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            StopRequested = SIGINT;
        });
        port.WriteBinary(Frame(0x38));
        bool terminator = false;
        EXPECT_EQ(port.ReadBinary(12000, "AFAF", terminator), "");
        EXPECT_EQ(LastError, 15) << "stopped";
        technician.join();
        StopRequested = 0;
        EXPECT_GE(radio.Counters().floodedWords, kWords);
        if (kPeakMeansSomething) {
            EXPECT_LT(StatusKilobytes("VmHWM") - start, 5 * 1024);
        }
    }
}

// The in-memory line as the component's port sees it: garbled while the speeds differ, held by one port
// at a time, and gone with its radio.
TEST(SimulatedRadioTest, TheLoopbackIsAPortLikeAnyOther) {
    auto radio = std::make_unique<SimulatedRadio>(ParseScenario("{" + kRunning + "}"),
                                                  Options{false, "", LineKind::Loopback});
    clsSerial port, other, none;
    port.CommPort(radio->DevicePath());
    const std::pair<const char*, std::string> replies[] = {
        {"19200", "AFAF"}, {"115200", ""}, {"19200", "AFAF"}};
    for (auto [rate, reply] : replies) {
        port.SetPortParameters(rate, 1);
        port.WriteBinary(Frame(0x38));
        bool terminator = false;
        EXPECT_EQ(port.ReadBinary(300, "AFAF", terminator), reply) << rate;
        EXPECT_EQ(LastError, reply.empty() ? 42 : 0) << rate;  // 42: no response
    }
    other.CommPort(radio->DevicePath());
    other.OpenPort();
    EXPECT_EQ(LastError, 12) << "in use";
    none.CommPort("loopback:0");
    none.OpenPort();
    EXPECT_EQ(LastError, 11) << "no such line";
    radio.reset();
    port.WriteBinary(Frame(0x38));
    EXPECT_EQ(LastError, 15) << "hung up";
}

TEST(SimulatedRadioTest, AClientKilledHoldingThePortLeavesItOpenToOthers) {
    SimulatedRadio radio;
    const char* path = radio.DevicePath().c_str();
    Peer peer(path);  // these open before the flag is set, as users who are not root must
    int watcher = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC),
        other = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    auto becomes = [watcher](int exclusive) {
        int flag = -1;
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             ioctl(watcher, TIOCGEXCL, &flag) == 0 && flag != exclusive &&
             std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return flag == exclusive;
    };
    pid_t client = fork();
    if (client == 0) {  // holds the port as the component does: its lock and the exclusive flag
        close(other);
        int fd = open(path, O_RDWR | O_NOCTTY);
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0) pause();
        _exit(1);
    }
    ASSERT_TRUE(becomes(1));
    close(other);  // let go while the port is held; the radio answers once it has seen that
    peer.Send("5E");
    EXPECT_EQ(peer.Received(1000, 1), "56");
    EXPECT_TRUE(becomes(1)) << "kept while the port is held";
    kill(client, SIGKILL);
    waitpid(client, nullptr, 0);
    EXPECT_TRUE(becomes(0));
    close(watcher);
}

TEST(SimulatedRadioTest, ProgramLinksThePortAndEndsOnSigterm) {
    std::string link = ::testing::TempDir() + "sim-radio-link", errors = ::testing::TempDir() + "sim-errors";
    // The shell gives its own process id, then becomes the program; a trace on a full disk stops, the radio
    // not.
    FILE* program =
        popen(("echo $$; exec " + std::string(KX6000_BIN_DIR) +
               "/kx6000-radio-sim --max-seconds 20 --trace /dev/full --link " + link + " 2>" + errors)
                  .c_str(),
              "r");
    char pid[32] = {}, line[256] = {};
    ASSERT_TRUE(fgets(pid, sizeof pid, program) && fgets(line, sizeof line, program));
    EXPECT_EQ(std::filesystem::read_symlink(link).string() + "\n", line);
    {
        Peer peer(link);
        peer.Send("5E");
        EXPECT_EQ(peer.Received(1000, 1), "56");
    }
    kill(std::stoi(pid), SIGTERM);
    int status = pclose(program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    std::stringstream said;
    said << std::ifstream(errors).rdbuf();
    EXPECT_EQ(said.str(), "kx6000-radio-sim: the trace /dev/full stops here: No space left on device\n");
}

}  // namespace
}  // namespace kx6000::sim::test
