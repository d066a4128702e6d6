#include <sys/file.h>
#include <sys/wait.h>

#include <thread>

#include "TestEnvironment.h"
#include "platform/posix/SerialLine.h"
#include "port/LockFile.h"
#include "port/PtyPeer.h"
#include "port/clsSerial.h"

namespace kx6000::test {
namespace {

class SerialTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        port.CommPort(peer.Path());
        port.SetPortParameters("19200", 1);
        ASSERT_EQ(LastError, 0);
    }
    std::string Read(int16_t timeout, const std::string& wanted) {
        return port.ReadBinary(timeout, wanted, terminatorFound);
    }
    static std::string KeepAlive(int words) { return words > 0 ? "AEAE" + KeepAlive(words - 1) : ""; }
    PtyPeer peer;
    clsSerial port;
    bool terminatorFound = false;
};

TEST_F(SerialTest, FramedReadsEndAfterOneReply) {
    // What one read gets, what stays behind it, and whether the terminator was found (else the next read
    // gets the rest).
    // A long run of keep-alive words keeps its count of blocks in two digits: 250 words read as 150.
    const std::tuple<const char*, std::string, std::string, bool> cases[] = {
        // 43: data reply, 00: no data words, BCFF: checksum; the terminator stays
        {"empty data reply", "4300BCFF", "AFAF", false},
        // 43, 02 data words (the first is the terminator word, counted, not inspected), checksum
        {"data holding AFAF", "4302AFAF1234FB1A", "AFAF", false},
        {"error word then terminator", "8001AFAF", "", true},
        {"keep-alive words first", "AEAEAEAEAFAF", "", true},
        // 46: an uncounted frame type, read on to the terminator
        {"uncounted frame", "460200010002B9FAAFAF", "4300", true},
        {"long run of keep-alive words", KeepAlive(250) + "8105AFAF", "", true},
    };
    for (const auto& [what, reply, rest, terminator] : cases) {
        peer.Send(reply + rest);
        EXPECT_EQ(Read(500, "AFAF"), reply.starts_with(KeepAlive(250)) ? reply.substr(400) : reply) << what;
        EXPECT_EQ(terminatorFound, terminator) << what;
        EXPECT_EQ(LastError, 0) << what;
        if (!terminator) {
            EXPECT_EQ(Read(500, "AFAF"), rest) << what;
        }
        port.WriteBinary("38");  // empties what is left
        peer.Received();
    }
}

TEST_F(SerialTest, TextReadsSearchTheHexText) {
    const std::tuple<const char*, std::string, const char*, int32_t> cases[] = {
        {"digits of two bytes", "02A0", "2A", 0},
        {"fifty keep-alive words", KeepAlive(50) + "2A", "2A", 0},
        {"the 51st keep-alive word", KeepAlive(51) + "2A", "2A", 44},
        {"silence", "", "3F", 42},
    };
    for (const auto& [what, sent, wanted, error] : cases) {
        port.WriteBinary("21");
        peer.Send(sent);
        EXPECT_EQ(Read(200, wanted), error == 0 ? sent : "") << what;  // all that came, once found
        EXPECT_EQ(LastError, error) << what;
    }
}

TEST_F(SerialTest, KeepAliveWordsEverySecondKeepAReadAlive) {
    std::jthread sender([this] {
        auto start = std::chrono::steady_clock::now();
        for (auto [at, hex] : {std::pair{1000, "AEAE"}, {2000, "AEAE"}, {3000, "AEAE"}, {3100, "AFAF"}}) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(at));
            peer.Send(hex);
        }
    });
    EXPECT_EQ(Read(2000, "AFAF"), "AEAEAEAEAEAEAFAF");
    EXPECT_EQ(LastError, 0);
}

TEST_F(SerialTest, ResetSignalsEndTheResetWait) {
    const std::pair<std::string, int32_t> cases[] = {
        {"76", 0}, {"56", 0}, {"0560", 0}, {KeepAlive(50) + "56", 0}, {KeepAlive(51), 21}};
    for (const auto& [sent, error] : cases) {
        port.ResetRadio();
        EXPECT_EQ(peer.Received(), "5E");
        peer.Send(sent);
        port.WaitForReset();
        EXPECT_EQ(LastError, error) << sent;
    }
}

TEST_F(SerialTest, WritesDiscardWhatCameBeforeAndRefuseBrokenHex) {
    peer.Send("1234");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port.WriteBinary("3700C8FF");
    EXPECT_EQ(peer.Received(), "3700C8FF");
    peer.Send("AFAF");
    EXPECT_EQ(Read(500, "AFAF"), "AFAF");

    for (const char* broken : {"5", "ZZ", "5E5", "5G"}) {
        port.WriteBinary(broken);
        EXPECT_EQ(LastError, 15) << broken;
    }
    EXPECT_EQ(peer.Received(), "") << "nothing written";
    port.ClosePort();
    port.ClosePort();
    EXPECT_EQ(LastError, 0) << "closing a closed port is no failure";
    port.WriteBinary("5E");
    EXPECT_EQ(LastError, 12);
}

TEST_F(SerialTest, OpeningFailsByKind) {
    WriteFile(folder / "file", "");
    const std::tuple<const char*, std::string, int32_t> cases[] = {
        {"no such device", (folder / "ttyNone").string(), 11},
        {"a file", (folder / "file").string(), 11},
        {"not a serial device", "/dev/null", 11},
        {"held by another program", peer.Path(), 12},
    };
    port.ClosePort();
    int holder = open(peer.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    for (const auto& [what, device, error] : cases) {
        clsSerial other;
        other.CommPort(device);
        other.OpenPort();
        EXPECT_EQ(LastError, error) << what;
    }
    close(holder);
    port.OpenPort();
    port.OpenPort();
    EXPECT_EQ(LastError, 12) << "already open";
}

TEST_F(SerialTest, SpeedChangesReachTheLineAndAnUnpluggedPeerIsAnError) {
    port.SetPortParameters("115200", 1);
    EXPECT_EQ(peer.Speed(), B115200);
    port.SetPortParameters("9600", 1);
    EXPECT_EQ(peer.Speed(), B9600);

    peer.Unplug();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Read(2000, "AFAF"), "");
    EXPECT_EQ(LastError, 15);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    port.WriteBinary("5E");
    EXPECT_EQ(LastError, 15);
}

TEST_F(SerialTest, LockFilesKeepOtherProgramsOffTheLine) {
    const std::string lockFile = LockPath(peer.Path());
    EXPECT_EQ(ReadFile(lockFile), LockText(getpid())) << "ours while the port is open";
    port.ClosePort();
    EXPECT_FALSE(std::filesystem::exists(lockFile)) << "gone once it closes";

    // A lock left by a run that is gone is taken over, and so is one that names no process. (A live holder is
    // the command line's test.)
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    // A run killed and not yet reaped: its PID still answers kill(pid, 0).
    pid_t unreaped = fork();
    if (unreaped == 0) _exit(0);
    siginfo_t ended{};
    waitid(P_PID, static_cast<id_t>(unreaped), &ended, WEXITED | WNOWAIT);
    for (const std::string& stale : {LockText(gone), LockText(unreaped), std::string("not a process\n")}) {
        WriteFile(lockFile, stale);
        port.OpenPort();
        EXPECT_EQ(LastError, 0) << stale;
        EXPECT_EQ(ReadFile(lockFile), LockText(getpid())) << stale;
        port.ClosePort();
    }
    waitpid(unreaped, nullptr, 0);

    // An adapter pulled out takes its device away before the port closes.
    port.OpenPort();
    peer.Unplug();
    port.ClosePort();
    EXPECT_FALSE(std::filesystem::exists(lockFile)) << "gone with an unplugged device too";
}

TEST_F(SerialTest, LowLatencyIsAskedOfTheDriver) {
    // The requests made and the flags they carried; the flags an adapter's driver has, or -1 where the
    // pty answers.
    static std::vector<std::pair<unsigned long, int>> asked;
    static int driver;
    static const SerialControl real = serialControl;
    serialControl = [](int fd, unsigned long request, serial_struct* settings) {
        if (driver < 0) return asked.emplace_back(request, 0), real(fd, request, settings);
        if (request == TIOCGSERIAL) settings->flags = driver;
        asked.emplace_back(request, settings->flags);
        return 0;
    };
    const std::tuple<const char*, int, std::vector<std::pair<unsigned long, int>>> cases[] = {
        {"a pty refuses", -1, {{TIOCGSERIAL, 0}}},
        {"an adapter",
         ASYNC_SKIP_TEST,
         {{TIOCGSERIAL, ASYNC_SKIP_TEST}, {TIOCSSERIAL, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY}}},
    };
    for (const auto& [what, flags, requests] : cases) {
        port.ClosePort();
        asked.clear();
        driver = flags;
        port.OpenPort();
        EXPECT_EQ(LastError, 0) << what;
        EXPECT_EQ(asked, requests) << what;
    }
    serialControl = real;
}

}  // namespace
}  // namespace kx6000::test
