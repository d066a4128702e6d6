// A manager's form, its logs on, a port and a protocol against the simulated radio.
#pragma once

#include <algorithm>
#include <ranges>
#include <sstream>
#include <thread>

#include "TestEnvironment.h"
#include "port/clsSerial.h"
#include "protocol/clsProtocol.h"
#include "sim/SimulatedRadio.h"
#include "support/Errors.h"

namespace kx6000::test {

using Tables = std::vector<std::pair<int32_t, std::vector<std::string>>>;

// An image of 16-bit words: each table's start address and its data blocks.
inline clsFile Image(const Tables& tables, const std::string& tag = "ZMA1F_TEST") {
    clsFile file;
    file.TagName = tag;
    for (const auto& [address, blocks] : tables) {
        file.Definitiontables().Add(address);
        size_t digits = 0;
        for (const std::string& block : blocks) {
            file.Definitiontables().Item(file.Definitiontables().Count() - 1).DataBlocks->Add(block);
            digits += block.size();
        }
        file.Definitiontables().SetLength(static_cast<int32_t>(digits / 4));
    }
    return file;
}

class RadioTestBase : public ComponentTest {
protected:
    void Start(const std::string& scenario = "{}") {
        WriteSettings("[KX6100_RLDC]\nDebug=True\n");
        NewManager({.terminal = 2});
        radio = std::make_unique<sim::SimulatedRadio>(sim::ParseScenario(scenario));
        port.CommPort(radio->DevicePath());
        port.SetPortParameters("19200", 1);
        protocol.PreviousBaudRate("19200");
        DownloadLog.OpenLogFile();
        ConfigLog.OpenLogFile();
    }
    // A radio in normal operation, with `faults`; the program as a test starts it, for each case of a table.
    void StartRunning(const std::string& faults = "{}") {
        ResetProgramState();
        Start(R"({"start": {"state": "running"}, "faults": )" + faults + "}");
    }
    UIForm& Form() { return manager->Form(); }

    // The messages of a log, without their time stamps.
    std::vector<std::string> Log(const char* name = "KX6000Download.log") {
        std::vector<std::string> messages;
        std::istringstream log(ReadFile(root / name));
        for (std::string line; std::getline(log, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            size_t date = line.find(' '), time = date == std::string::npos ? date : line.find(' ', date + 1);
            if (line.size() > 2 && line[2] == '/' && time != std::string::npos)
                messages.push_back(line.substr(time + 1));
        }
        return messages;
    }
    // The status lines shown so far, the progress bar left out.
    std::vector<std::string> StatusLines() {
        std::vector<std::string> lines;
        std::istringstream shown(out.str());
        for (std::string line; std::getline(shown, line);)
            if (line.find('\r') == std::string::npos) lines.push_back(line);
        return lines;
    }
    // The frames the radio has taken, once it has taken at least `count` (or a second has passed).
    std::vector<std::string> FrameTexts(size_t count = 0) {
        for (int i = 0; i < 100 && radio->Frames().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::vector<std::string> frames;
        for (const auto& frame : radio->Frames()) frames.push_back(frame.hex);
        return frames;
    }
    // The command codes of the frames the radio has taken after the first `skip`, joined by blanks.
    std::string Commands(size_t skip) {
        std::string codes;
        for (const std::string& frame : FrameTexts() | std::views::drop(skip))
            codes += (codes.empty() ? "" : " ") + frame.substr(0, 2);
        return codes;
    }

    std::unique_ptr<sim::SimulatedRadio> radio;
    clsSerial port;
    clsProtocol protocol;
};

}  // namespace kx6000::test
