// The program on a real terminal: the progress bar never wraps, Ctrl-C leaves a clean line, and a terminal
// or reader that goes away does not stop it.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>

#include <algorithm>
#include <csignal>
#include <regex>
#include <string>
#include <vector>

#include "cli/ProgramTest.h"

namespace kx6000::test {
namespace {

// What a terminal of `width` columns shows of the bytes written to it; the lines that ran past the width
// are kept as wrapped.
struct Screen {
    void Put(char c) {
        if (!sequence.empty()) {  // ESC [ parameters, ended by a final byte
            sequence += c;
            if (sequence.size() > 2 && c >= '@' && c <= '~') {
                if (c == 'K') lines[row].resize(std::min(lines[row].size(), column));
                sequence.clear();
            }
        } else if (c == '\033') {
            sequence = c;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            if (++row == lines.size()) lines.emplace_back();
        } else if (c >= ' ') {
            if (column == width) {  // the terminal wraps
                wrapped.push_back(lines[row]);
                column = 0;
                Put('\n');
            }
            lines[row].resize(std::max(lines[row].size(), column + 1), ' ');
            lines[row][column++] = c;
        }
    }

    size_t width;
    std::vector<std::string> lines{""}, wrapped{};
    size_t row = 0, column = 0;
    std::string sequence{};
};

class TerminalTest : public ProgramTest {};

TEST_F(TerminalTest, TheBarFitsTheTerminalAndCtrlCLeavesACleanLine) {
    sim::SimulatedRadio radio({}, {.realtime = true, .tracePath = ""});
    const std::string file = (folder / "app.s28").string();
    WriteFile(file, ImageText("ZMA1F_TTY", "S2", {{0x20000, RandomHex(2 * 16 * 1024, 3)}}));
    const std::regex imageBar(R"((\d+)% 1/1 ZMA1F_TTY)"), anyBar(R"(\d% )");
    for (unsigned short width : {50, 120}) {
        int terminal = -1, side = -1;
        winsize size{.ws_row = 24, .ws_col = width, .ws_xpixel = 0, .ws_ypixel = 0};
        ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, &size), 0);
        pid_t child = Start("--device " + radio.DevicePath() + " --baud 115200 download " + file, side);
        close(side);
        Screen screen{.width = width};
        std::string stopLine;
        char buffer[4096];
        for (pollfd ready{terminal, POLLIN, 0};;) {
            if (poll(&ready, 1, 10'000) <= 0) {
                kill(child, SIGKILL);  // a program that hangs fails the test instead of holding it
                break;
            }
            ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) break;  // the program has ended
            for (ssize_t i = 0; i < n; ++i) screen.Put(buffer[i]);
            std::smatch percent;
            const std::string& line = screen.lines[screen.row];
            if (stopLine.empty() && std::regex_search(line, percent, imageBar) &&
                std::stoi(percent[1]) >= 30) {
                stopLine = line;
                ASSERT_EQ(write(terminal, "\x03", 1), 1);
            }
        }
        const int status = Ended(child);
        close(terminal);
        std::string shown;
        for (const std::string& line : screen.lines) shown += line + "\n";
        SCOPED_TRACE(std::to_string(width) + " columns:\n" + shown);
        // Texts may wrap; the bar never does, however narrow the terminal.
        for (const std::string& line : screen.wrapped) EXPECT_FALSE(std::regex_search(line, anyBar)) << line;
        std::smatch rate;
        ASSERT_TRUE(std::regex_search(stopLine, rate, std::regex(R"(([\d.]+) (K?)B/s)"))) << stopLine;
        // At 115200 baud the line carries 11.25 KB a second: a rate far above it is not the recent one.
        EXPECT_LT(std::stod(rate[1]) * (rate[2] == "K" ? 1024 : 1), 20 * 1024) << stopLine;
        EXPECT_EQ(status, 130);
        EXPECT_EQ(shown.find("^C"), std::string::npos);
        EXPECT_NE(shown.find("\nkx6000-download: stopped during ZMA1F_TTY at "), std::string::npos)
            << "at the start of its own line";
        EXPECT_EQ(screen.column, 0u);
        EXPECT_EQ(screen.lines[screen.row], "");
    }
}

// A configuration the erases would take is asked about on the terminal; No there erases nothing.
TEST_F(TerminalTest, ALossIsAskedAboutAndNoErasesNothing) {
    sim::SimulatedRadio radio(sim::ParseScenario(R"({"configurations": [
        {"productId": "KXC61_SITE_B", "address": "0x48000"}]})"));
    const std::string file = (folder / "site.s28").string();
    WriteFile(file, ImageText("KXC61_SITE_A", "S2", {{0x40000, "5555"}}));
    int terminal = -1, side = -1;
    ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
    pid_t child = Start("--quiet --device " + radio.DevicePath() + " download " + file, side);
    close(side);
    std::string shown;
    char buffer[4096];
    for (pollfd ready{terminal, POLLIN, 0}; poll(&ready, 1, 10'000) > 0;) {
        ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0) break;
        shown.append(buffer, static_cast<size_t>(n));
        if (shown.ends_with("Continue? [y/N] ")) {
            ASSERT_EQ(write(terminal, "n\n", 2), 2);
        }
    }
    EXPECT_EQ(Ended(child), 1);
    close(terminal);
    EXPECT_NE(
        shown.find("warning: KXC61_SITE_B lies in block 4, which KXC61_SITE_A erases: it will be lost\r\n"
                   "Continue? [y/N] "),
        std::string::npos)
        << shown;
    for (const sim::ReceivedFrame& frame : radio.Frames()) EXPECT_NE(frame.code, 0x33) << "no erase";
}

// The terminal closed, or the reader of the output gone, at about 30 %: the download still ends whole, with
// the radio restarted and the log ended.
TEST_F(TerminalTest, ALostTerminalOrReaderDoesNotCutTheDownload) {
    WriteSettings("[KX6100_RLDC]\nDebug=True\n");
    sim::SimulatedRadio radio({}, {.realtime = true, .tracePath = ""});
    const std::string data = RandomHex(4 * 0x1000, 8), file = (folder / "lost.s28").string();
    WriteFile(file, ImageText("ZMA1F_LOST", "S2", {{0x20000, data}}));
    for (bool terminal : {true, false}) {
        SCOPED_TRACE(terminal ? "terminal closed" : "pipe closed");
        int ends[2];
        ASSERT_EQ(terminal ? openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) : pipe(ends), 0);
        fcntl(ends[0], F_SETFD, FD_CLOEXEC);  // the reader's end is the test's alone: closing it is seen
        pid_t child = Start("--device " + radio.DevicePath() + " --baud 115200 download " + file, ends[1]);
        close(ends[1]);
        // Read as a terminal or `head` would, then go away.
        WaitForThirtyPercent(radio, data, [&] {
            char buffer[4096];
            for (pollfd ready{ends[0], POLLIN, 0};
                 poll(&ready, 1, 0) > 0 && read(ends[0], buffer, 4096) > 0;) {
            }
        });
        close(ends[0]);
        const int restarts = radio.Counters().restarts;
        EXPECT_EQ(Ended(child), 0);
        EXPECT_EQ(radio.Flash(0x20000, data.size() / 2), HexBytes(data));
        EXPECT_GT(radio.Counters().restarts, restarts) << "the radio is restarted after the download";
        const std::string log = ReadFile(root / "KX6000Download.log");
        EXPECT_TRUE(std::regex_search(log, std::regex(R"(\r\nEND LOG \(.+\)\r\n\*{42}\r\n$)")))
            << log.substr(log.size() - std::min<size_t>(log.size(), 300));
    }
}

}  // namespace
}  // namespace kx6000::test
