#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <csignal>
#include <thread>

#include <nlohmann/json.hpp>

#include "TestEnvironment.h"
#include "files/SRecords.h"
#include "sim/SimulatedRadio.h"

namespace kx6000::test {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

// Every JSON document a test sees is kept for the schema check, under the schema it must match.
void KeepJson(const std::string& arguments, int status, const std::string& out) {
    static int count = 0;
    std::string schema = "usage", word;
    for (std::istringstream words(arguments); status != 2 && words >> word;) {
        if (word == "report" || word == "download" || word == "erase" || word == "validate" ||
            word == "error") {
            schema = word;
            break;
        }
    }
    WriteFile(std::filesystem::path(KX6000_JSON_SAMPLES) / schema /
                  (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                   std::to_string(++count) + ".json"),
              out);
}

class CliTest : public ComponentTest {
protected:
    Outcome Download(const std::string& arguments) {
        std::string command = std::string(KX6000_BIN_DIR) + "/kx6000-download " + arguments + " >" +
                              (folder / "out").string() + " 2>" + (folder / "err").string();
        int status = std::system(command.c_str());
        Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder / "out"),
                        ReadFile(folder / "err")};
        if (arguments.find("--json") != std::string::npos) KeepJson(arguments, outcome.status, outcome.out);
        return outcome;
    }
};

TEST_F(CliTest, VersionAndErrorTable) {
    Outcome version = Download("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "1.05.01\n");

    Outcome all = Download("error");
    EXPECT_EQ(all.status, 0);
    std::istringstream lines(all.out);
    std::vector<std::string> table;
    for (std::string line; std::getline(lines, line);) table.push_back(line);
    ASSERT_EQ(table.size(), 47u);
    EXPECT_EQ(table.front(), "0 - Success");
    EXPECT_EQ(table.back(),
              "8112 - Response - radio neck message operations for command exceeded specified timeouts");

    Outcome one = Download("error 8109");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out,
              "8109 - Response - trying to write to the FLASH when the addess has not been specified\n");
    Outcome json = Download("error --json 21");
    EXPECT_EQ(nlohmann::json::parse(json.out),
              nlohmann::json::parse(R"({"errors": [{"number": 21, "message": "Radio did not reset"}]})"));
}

TEST_F(CliTest, ValidateDescribesEveryImage) {
    const std::string file = (folder / "two.s28").string();
    WriteFile(file,
              "S0030000FC\r\nS1050000AABB95\r\nS9030000FC\r\nS0030000FC\r\nS20800010011223344FF\r\nS804000000"
              "FB\r\n");
    // Options stand before or after the command word; the data blocks only with --data.
    for (const std::string arguments : {"--json --quiet validate ", "validate --data --json "}) {
        Outcome two = Download(arguments + file);
        EXPECT_EQ(two.status, 0) << arguments;
        nlohmann::json document = nlohmann::json::parse(two.out);
        EXPECT_EQ(document["result"], 0);
        ASSERT_EQ(document["images"].size(), 2u);
        EXPECT_EQ(document["images"][1]["name"], file);
        EXPECT_EQ(document["images"][1]["image"], 2);
        EXPECT_EQ(document["images"][1]["networkId"], nullptr);
        const nlohmann::json& table = document["images"][1]["tables"][0];
        EXPECT_EQ(table["bytes"], 4);
        EXPECT_EQ(table.contains("blocks"), arguments.find("--data") != std::string::npos) << arguments;
        if (table.contains("blocks")) {
            EXPECT_EQ(table["blocks"][0], "11223344");
        }
    }

    EXPECT_NE(Download("validate " + file).out.find(file + " (image 2)\n  tag"), std::string::npos);

    Outcome missing = Download("--quiet validate " + file + "x");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, file +
                               "x: error: cannot be read: No such file or directory\n"
                               "Error 33 - File does not exist\n");
}

// A file is explained line by line, and nothing is sent for data the radio would refuse after erasing.
TEST_F(CliTest, FilesAreExplainedBeforeTheRadioIsTouched) {
    const std::string good = (folder / "good.s19").string(), odd = (folder / "odd.s19").string();
    WriteFile(good, Header("A") + "S1070100AAAAAAAA00\r\n" + Rec("S9", 0, ""));
    WriteFile(odd, "DW 8\r\n" + Header("B") + Rec("S1", 0, "AABBCC") + Rec("S9", 0, ""));
    const std::string refusal = odd +
                                ":3: error: the table at address 0x00000000 holds 6 data digits, not whole "
                                "4-digit words: the radio refuses it (error 54) after erasing its flash\n";
    Outcome validate = Download("--quiet validate " + good + " " + odd);
    EXPECT_EQ(validate.status, 1);
    EXPECT_EQ(validate.err, good + ":2: warning: checksum is 00, the record's bytes give 4F\n" + refusal);

    sim::SimulatedRadio radio;
    Outcome download =
        Download("--quiet --json --device " + radio.DevicePath() + " download " + good + " " + odd);
    EXPECT_EQ(download.status, 1);
    EXPECT_EQ(download.err, refusal + "kx6000-download: nothing sent: the files are refused (above)\n");
    nlohmann::json document = nlohmann::json::parse(download.out);
    EXPECT_EQ(document["result"], 34);
    EXPECT_EQ(document["refused"][0]["name"], odd);
    EXPECT_EQ(document["refused"][0]["line"], 3);
    EXPECT_TRUE(radio.Frames().empty());
}

TEST_F(CliTest, TheWholeJobAgainstTheRadio) {
    sim::SimulatedRadio radio;
    const std::string device = " --device " + radio.DevicePath() + " ";
    const std::string file = (folder / "app.s28").string();
    WriteFile(file, ImageText("ZMA1F_09", "S2", {{0x20000, "2A2F69426262456C2F2A0000005A00390000"}}));

    Outcome download = Download(device + "--baud 115200 download " + file);
    EXPECT_EQ(download.status, 0) << download.err;
    EXPECT_NE(download.out.find("Z9 "), std::string::npos) << "the tag the radio found, in the table:\n"
                                                           << download.out;
    EXPECT_NE(download.err.find("Download successful"), std::string::npos);
    // The simulated line takes no time: no share of it above 100 % is claimed.
    EXPECT_EQ(download.err.find("% of the line"), std::string::npos) << download.err;

    Outcome erase = Download(device + "--json --quiet erase --force Z9 0000:ZMA1B_01.00");
    EXPECT_EQ(erase.status, 0) << erase.err;
    nlohmann::json document = nlohmann::json::parse(erase.out);
    EXPECT_EQ(document["message"], "Success");
    ASSERT_EQ(document["configurations"].size(), 2u);
    EXPECT_EQ(document["configurations"][0]["productId"], "ZMA1F_01.02.03.04");
    EXPECT_EQ(document["configurations"][1]["address"], 0x70000);

    // Without a terminal to ask on, the FPGA warning is answered no, and the way on is said.
    const std::string fpga = (folder / "fpga.s28").string();
    WriteFile(fpga, ImageText("ZMA1G_02", "S2", {{0x20000, "1111"}}));
    Outcome unasked = Download(device + "download " + fpga + " </dev/null");
    EXPECT_EQ(unasked.status, 1);
    EXPECT_NE(unasked.err.find("the answer is no: rerun with --yes to answer yes\nError 1 - User cancelled"),
              std::string::npos)
        << unasked.err;

    Outcome missing = Download("--quiet --device " + (folder / "ttyNone").string() + " report");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "Error 11 - Serial port does not exist\nkx6000-download: " + (folder / "ttyNone").string() +
                  ": No such file or directory; choose the device with --device PATH\n");

    // A port another program holds is said with that program's whole name (its "comm" keeps 15 characters).
    const std::filesystem::path holder = folder / "a-holder-with-a-long-name";
    std::filesystem::create_symlink("/usr/bin/flock", holder);
    pid_t child = fork();
    if (child == 0) {
        execl(holder.c_str(), holder.c_str(), radio.DevicePath().c_str(), "sleep", "30",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (bool free = true; free; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        int fd = open(radio.DevicePath().c_str(), O_RDWR | O_NOCTTY);
        free = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
    }
    Outcome held = Download("--quiet" + device + "report");
    EXPECT_NE(held.err.find("a-holder-with-a-long-name (pid " + std::to_string(child) + ")"),
              std::string::npos)
        << held.err;
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
}

// The command line erases only what the radio listed and the window would let a technician tick.
TEST_F(CliTest, EraseRefusesWhatTheWindowWouldNotOffer) {
    struct Case {
        const char* arguments;
        const char* why;  // empty: erased
        bool testMode = false;
    };
    const Case cases[] = {
        {"erase ZMA1F_NOT_THERE", "the radio lists no such configuration"},
        {"erase 0102:ZMA1F_01.02.03.04", "the radio lists no such configuration"},
        {"erase KXA61_HW01", "it is the radio's hardware configuration"},
        {"erase ZMA1F_01.02.03.04 ZMA1B_01.00", "it is boot code"},
        {"erase --force KXA61_HW01", ""},
        {"erase --force ZMA1B_01.00", ""},
        {"erase ZMA1B_01.00", "", true},
    };
    for (const Case& c : cases) {
        WriteSettings(c.testMode ? "[KX6100_RLDC]\nDebug=True\n" : "");
        sim::SimulatedRadio radio;
        Outcome run = Download("--device " + radio.DevicePath() + " " + c.arguments);
        int erasures = 0;
        for (const auto& frame : radio.Frames()) erasures += frame.code == 0x33;
        EXPECT_EQ(run.status, *c.why ? 1 : 0) << c.arguments << run.err;
        EXPECT_EQ(erasures, *c.why ? 0 : 1) << c.arguments;
        EXPECT_EQ(run.err.find("kx6000-download: test mode (Debug=True in " + settings.string() +
                               "): logs are") != std::string::npos,
                  c.testMode)
            << run.err;
        if (*c.why) {
            EXPECT_NE(run.err.find(c.why), std::string::npos) << c.arguments << run.err;
            EXPECT_NE(run.out.find("KXA61_HW01"), std::string::npos) << "the radio's list is shown";
        }
    }
}

// A real-time download stopped at about 30 %: the port is free at once, nothing is left behind, and the
// next download writes the image whole.
TEST_F(CliTest, AStoppedDownloadClosesEverything) {
    sim::SimulatedRadio radio({}, {.realtime = true, .tracePath = ""});
    const std::string data = RandomHex(4 * 0x1000, 8), file = (folder / "big.s28").string();
    WriteFile(file, ImageText("ZMA1F_BIG", "S2", {{0x20000, data}}));
    const std::string arguments = "--device " + radio.DevicePath() + " --baud 115200 download " + file;
    // Stopped in the special logon's wait for the power cycle, the radio was never logged on.
    const std::string waiting =
        "--radio 6200 --unprotected --device " + radio.DevicePath() + " download " + file;
    for (auto [signal, logon] : {std::pair{SIGINT, true}, {SIGTERM, true}, {SIGINT, false}}) {
        const std::string& run = logon ? arguments : waiting;
        pid_t child = fork();
        if (child == 0) {
            freopen((folder / "err").c_str(), "w", stderr);
            freopen((folder / "out").c_str(), "w", stdout);
            execl("/bin/sh", "sh", "-c",
                  ("exec " + std::string(KX6000_BIN_DIR) + "/kx6000-download --json " + run).c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // About 30 % of the image is in the flash (after the block was erased again, from the second run on).
        const uint32_t mark = 0x20000 + static_cast<uint32_t>(data.size() / 4 * 3 / 10 / 2);
        auto waitFor = [&](bool written) {
            for (int i = 0; i < 2000 && (radio.Flash(mark, 2) != HexBytes("FFFF")) != written; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        if (logon) {
            waitFor(false);
            waitFor(true);
        }
        for (int i = 0;
             !logon && i < 2000 && ReadFile(folder / "err").find("Please power cycle") == std::string::npos;
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        int fd = open(radio.DevicePath().c_str(), O_RDWR | O_NOCTTY);
        EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "the port is free at once";
        close(fd);
        // Said as a stop, not as the port's failure it ends with.
        const std::string err = ReadFile(folder / "err"), out = ReadFile(folder / "out");
        EXPECT_NE(
            err.find(logon ? "kx6000-download: stopped during ZMA1F_BIG at " : "kx6000-download: stopped\n"),
            std::string::npos)
            << err;
        EXPECT_EQ(err.find("; the radio stays in upgrade mode until") != std::string::npos, logon) << err;
        EXPECT_EQ(err.find("Error "), std::string::npos) << err;
        KeepJson("--json " + run, WEXITSTATUS(status), out);
        nlohmann::json stopped = nlohmann::json::parse(out)["stopped"];
        EXPECT_EQ(stopped["signal"], signal == SIGINT ? "SIGINT" : "SIGTERM");
        EXPECT_EQ(stopped["radioInUpgradeMode"], logon);
        EXPECT_FALSE(std::filesystem::exists(root / "temp.int"));
        EXPECT_FALSE(std::filesystem::exists(root / "temp.ua"));
        EXPECT_NE(radio.Flash(0x20000 + data.size() / 2 - 2, 2), HexBytes(data.substr(data.size() - 4)));
    }
    Outcome again = Download(arguments);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(radio.Flash(0x20000, data.size() / 2), HexBytes(data));
}

// Three radios at once, one of them silent: the other two are written whole, the silent one ends with 21.
TEST_F(CliTest, ManyRadiosAtOnceEachWithItsResult) {
    sim::SimulatedRadio first, silent(sim::ParseScenario(R"({"faults": {"silent": true}})")), second;
    const std::string data = RandomHex(4 * 0x400, 9), file = (folder / "app.s28").string();
    WriteFile(file, ImageText("ZMA1F_APP", "S2", {{0x20000, data}}));
    Outcome run = Download("--json --device " + first.DevicePath() + " --device " + silent.DevicePath() +
                           " --device " + second.DevicePath() + " --baud 115200 download " + file);
    EXPECT_EQ(run.status, 1);
    nlohmann::json radios = nlohmann::json::parse(run.out)["radios"];
    ASSERT_EQ(radios.size(), 3u);
    const std::pair<std::string, int> expected[] = {
        {first.DevicePath(), 0}, {silent.DevicePath(), 21}, {second.DevicePath(), 0}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(radios[i]["device"], expected[i].first);
        EXPECT_EQ(radios[i]["result"], expected[i].second) << radios[i].dump();
        EXPECT_GT(radios[i]["seconds"], 0.0);
    }
    EXPECT_EQ(first.Flash(0x20000, data.size() / 2), HexBytes(data));
    EXPECT_EQ(second.Flash(0x20000, data.size() / 2), HexBytes(data));
    EXPECT_NE(run.err.find(silent.DevicePath() + ": Error 21 - Radio did not reset\n"), std::string::npos)
        << "status lines name their radio:\n"
        << run.err;
}

// Every path of a radio command prints its command's one shape (the schema check holds every document
// kept here to it); the table names what tells the paths apart.
TEST_F(CliTest, EveryPathPrintsTheOneShape) {
    const std::string file = (folder / "app.s28").string(), fpga = (folder / "fpga.s28").string();
    WriteFile(file, ImageText("APP", "S2", {{0x20000, "2A2F69426262456C2F2A0000005A00390000"}}));
    WriteFile(fpga, ImageText("ZMA1G_02", "S2", {{0x20000, "1111"}}));
    struct Case {
        const char* scenario;
        std::string arguments;  // DEV and DEV2: the radios' devices
        int status;
        std::vector<std::pair<const char*, nlohmann::json>> fields;  // JSON pointer, value
        const char* said = "";  // on stdout without --json, on stderr with it
    } cases[] = {
        {"{}",
         "--json --device DEV report",
         0,
         {{"/result", 0}, {"/radios/0/device", "DEV"}, {"/stopped", nullptr}}},
        {"{}",
         "--json --device DEV --device DEV2 report",
         0,
         {{"/result", 0},
          {"/radios/1/device", "DEV2"},
          {"/radios/1/configurations/0/productId", "ZMA1B_01.00"}}},
        {"{}", "--device DEV --device DEV2 report", 0, {}, "\nDEV2:\nProduct ID"},
        {"{}",
         "--json --device DEV download " + file + "x",
         1,
         {{"/result", 33}, {"/radios", nlohmann::json::array()}, {"/files/0/failure/line", nullptr}}},
        {"{}",
         "--json --device DEV erase ZMA1F_NOT_THERE",
         1,
         {{"/result", 1}, {"/refused/0/name", "0000:ZMA1F_NOT_THERE"}, {"/refused/0/line", nullptr}}},
        {"{}",
         "--json --device DEV --device DEV2 erase ZMA1B_01.00",
         1,
         {{"/radios/1/result", 1}, {"/refused/1/name", "0000:ZMA1B_01.00"}}},
        {"{}",
         "download --json --device DEV --verify " + file,
         0,
         {{"/verified", true}, {"/radios/0/verify/0/tag", "Z9"}}},
        {R"({"faults": {"unlistedTags": true}})",
         "download --json --device DEV --verify " + file,
         1,
         {{"/result", 0}, {"/verified", false}, {"/radios/0/verify/0/status", nullptr}},
         "kx6000-download: verify: Z9: the radio does not list it after the download\n"},
        {R"({"faults": {"tagStatus": 2}})",
         "download --json --device DEV --device DEV2 --verify " + file,
         1,
         {{"/verified", false}, {"/radios/1/verify/0/status", 2}},
         "kx6000-download: verify: Z9: the radio lists it with status 2 (Checksum invalid)\n"},
        {R"({"faults": {"tagStatus": 2}})",
         "download --device DEV --device DEV2 --verify " + file,
         1,
         {},
         "verify failed: Z9 status 2"},
        {"{}",
         "--json --device DEV --device DEV2 download " + fpga,
         1,
         {{"/result", 1}, {"/radios", nlohmann::json::array()}, {"/refused/0/name", fpga}}},
        {"{}",
         "--json report --device DEV --baud 9600",
         2,
         {{"/command", "report"},
          {"/usageError",
           "kx6000-download: report takes no --baud; 'kx6000-download report --help' lists its options"}}},
    };
    for (const Case& c : cases) {
        sim::SimulatedRadio radio(sim::ParseScenario(c.scenario)), radio2(sim::ParseScenario(c.scenario));
        auto devices = [&](std::string text) {
            for (auto [name, device] :
                 {std::pair{"DEV2", radio2.DevicePath()}, {"DEV", radio.DevicePath()}}) {
                for (size_t at; (at = text.find(name)) != std::string::npos;)
                    text.replace(at, strlen(name), device);
            }
            return text;
        };
        Outcome run = Download(devices(c.arguments));
        SCOPED_TRACE(c.arguments + "\n" + run.out + run.err);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE((c.fields.empty() ? run.out : run.err).find(devices(c.said)), std::string::npos);
        if (c.fields.empty()) continue;
        nlohmann::json document = nlohmann::json::parse(run.out);
        for (const auto& [pointer, value] : c.fields) {
            EXPECT_EQ(document[nlohmann::json::json_pointer(pointer)],
                      value.is_string() ? nlohmann::json(devices(value)) : value)
                << pointer;
        }
    }
}

// Options stand on either side of the command word and are checked against the command on either side.
TEST_F(CliTest, OptionsAnywhereCheckedAnywhere) {
    const std::string good = (folder / "good.s19").string(), none = (folder / "ttyNone").string();
    WriteFile(good, Header("A") + Rec("S1", 0x100, "AAAA") + Rec("S9", 0, ""));
    const std::pair<std::string, int> taken[] = {
        {"--force --device " + none + " erase X", 1},
        {"erase --device " + none + " X --unprotected --power-cycle-wait 5", 1},
        {"--json --data validate " + good, 0},
        {"--radio 6200 validate --quiet " + good, 0},
    };
    for (const auto& [arguments, status] : taken) {
        Outcome run = Download(arguments);
        EXPECT_EQ(run.status, status) << arguments << run.err;
        EXPECT_EQ(run.err.find("Error 11 - Serial port does not exist") != std::string::npos, status == 1)
            << run.err;
    }
    const std::pair<std::string, const char*> refused[] = {
        {"--baud 9600 report",
         "kx6000-download: report takes no --baud; 'kx6000-download report --help' lists"},
        {"report --baud 9600", "kx6000-download: report takes no --baud; "},
        {"--yes report", "report takes no --yes"},
        {"--device /dev/null validate " + good, "validate takes no --device"},
        {"validate --force " + good, "validate takes no --force"},
        {"--verify erase X", "erase takes no --verify"},
        {"--frob report", "report takes no --frob"},
        {"--device /dev/null --device /dev/../dev/null report", "--device /dev/../dev/null is given twice"},
        {"erase 12:X", "'12:X': the device before ':' is four hex digits NNDD"},
        {"erase GGGG:X", "four hex digits NNDD"},
        {"erase 0102:", "'0102:' names no configuration: give [NNDD:]PRODUCTID"},
        {"--port 5 report", "--port 5: the ports are 1 to 4"},
        {"erase --power-cycle-wait 0 X", "--power-cycle-wait 0: give the seconds to wait, 1 to"},
        {"--radio 6300 validate x", "--radio 6300: the radio models are 6100 and 6200"},
        {"--baud 57600 download x", "--baud 57600: give auto, 115200, 19200 or 9600"},
        {"", "kx6000-download: give a command: report, download, erase, validate or error"},
        {"--port 2 frobnicate", "kx6000-download: unknown command 'frobnicate'; the commands are report"},
        {"validate --json", "validate needs FILE..."},
        {"erase", "erase needs [NNDD:]PRODUCTID..."},
        {"error 7", "'7' is not an error number of the component"},
        {"--json error ''", "is not an error number"},
    };
    for (const auto& [arguments, said] : refused) {
        Outcome run = Download(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.out.empty(), arguments.find("--json") == std::string::npos) << arguments;
        EXPECT_NE(run.err.find(said), std::string::npos) << arguments << ": " << run.err;
    }
}

}  // namespace
}  // namespace kx6000::test
