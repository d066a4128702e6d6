#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <csignal>
#include <regex>

#include <nlohmann/json.hpp>

#include "DeviceTree.h"
#include "cli/ProgramTest.h"
#include "platform/Socket.h"
#include "port/LockFile.h"
#include "support/OutsideText.h"

namespace kx6000::test {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

// Every JSON document a test sees is kept for the schema check, under the schema it must match.
void KeepJson(const std::string& arguments, int status, const std::string& out) {
    static int count = 0;
    static const std::regex command("(^| )(report|download|erase|validate|error|ports)( |$)"),
        about("(^| )--(version|help)( |$)");
    std::smatch word;
    const std::string schema = status == 2                                   ? "usage"
                               : std::regex_search(arguments, word, about)   ? word[2].str()
                               : std::regex_search(arguments, word, command) ? word[2].str()
                                                                             : "usage";
    WriteFile(std::filesystem::path(KX6000_JSON_SAMPLES) / schema /
                  (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                   std::to_string(++count) + ".json"),
              out);
}

// Whether `part` is in `text` (or, with `wanted` false, is not); the text is shown when not as wanted.
::testing::AssertionResult Holds(const std::string& text, const std::string& part, bool wanted = true) {
    if ((text.find(part) != std::string::npos) == wanted) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (wanted ? "no \"" : "\"") << part << "\" in:\n" << text;
}

// Each JSON pointer of `fields` (an object, or its text) has its value in the document `out`; "-": the
// document has no such member.
void ExpectFields(const std::string& out, const nlohmann::json& fields) {
    const nlohmann::json document = nlohmann::json::parse(out),
                         wanted =
                             fields.is_string() ? nlohmann::json::parse(fields.get<std::string>()) : fields;
    for (const auto& [pointer, value] : wanted.items()) {
        const nlohmann::json::json_pointer at(pointer);
        EXPECT_EQ(document.contains(at) ? document[at] : "-", value) << pointer << " in " << out;
    }
}

class CliTest : public ProgramTest {
protected:
    Outcome Download(const std::string& arguments) {
        Outcome outcome{Ended(Start(arguments)), ReadFile(folder / "out"), ReadFile(folder / "err")};
        if (arguments.find("--json") != std::string::npos) KeepJson(arguments, outcome.status, outcome.out);
        return outcome;
    }
};

// A file is explained line by line (one that cannot be read too), and nothing is sent for data the radio
// would refuse after erasing.
TEST_F(CliTest, FilesAreExplainedBeforeTheRadioIsTouched) {
    const std::string good = (folder / "good.s19").string(), odd = (folder / "odd.s19").string();
    WriteFile(good, Header("A") + "S1070100AAAAAAAA00\r\n" + Rec("S9", 0, ""));
    WriteFile(odd, "DW 8\r\n" + Header("B") + Rec("S1", 0, "AABBCC") + Rec("S9", 0, ""));
    const std::string refusal = odd +
                                ":3: error: the table at address 0x00000000 holds 6 data digits, not whole "
                                "4-digit words: the radio refuses it (error 54) after erasing its flash\n";
    // A file cut short says why beside the number, and its image, never read whole, is not shown.
    const std::string cut = (folder / "cut.s19").string();
    WriteFile(cut, Header("C") + Rec("S1", 0, "AABB"));
    Outcome validate = Download("--quiet validate " + good + " " + odd + " " + cut + " " + good + "x");
    EXPECT_EQ(validate.status, 1);
    EXPECT_EQ(validate.err,
              good + ":2: warning: checksum is 00, the record's bytes give 4F\n" + refusal + cut +
                  ":1: error: no \"S9\" terminator for the image \"C\" begun at line 1\n" + good +
                  "x: error: cannot be read: No such file or directory\nError 33 - File does not exist\n");
    EXPECT_TRUE(Holds(validate.out, "tag \"B\""));
    EXPECT_TRUE(Holds(validate.out, cut, false));

    sim::SimulatedRadio radio;
    Outcome download =
        Download("--quiet --json --device " + radio.DevicePath() + " download " + good + " " + odd);
    EXPECT_EQ(download.status, 1);
    EXPECT_EQ(download.err, refusal + "kx6000-download: nothing sent: the files are refused (above)\n");
    ExpectFields(download.out, {{"/result", 34}, {"/refused/0/name", odd}, {"/refused/0/line", 3}});
    EXPECT_TRUE(radio.Frames().empty());

    // The file is rewritten the moment it is closed after its first reading: what is written is what
    // was checked.
    const std::string app = (folder / "app.s28").string(), swapped = (folder / "swapped.s28").string();
    WriteFile(app, ImageText("ZMA1F_A", "S2", {{0x20000, "1111222233334444"}}));
    WriteFile(swapped, ImageText("ZMA1F_A", "S2", {{0x20000, "5555666677778888"}}));
    setenv("KX6000_REWRITE_PATH", app.c_str(), 1);
    setenv("KX6000_REWRITE_WITH", swapped.c_str(), 1);
    setenv("LD_PRELOAD", KX6000_REWRITE_ON_CLOSE, 1);
    const char* asan = std::getenv("ASAN_OPTIONS");  // the seam comes before the sanitizer's runtime
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
    Outcome rewritten = Download("--quiet --device " + radio.DevicePath() + " download " + app);
    for (const char* name : {"KX6000_REWRITE_PATH", "KX6000_REWRITE_WITH", "LD_PRELOAD"}) unsetenv(name);
    asan ? setenv("ASAN_OPTIONS", asan, 1) : unsetenv("ASAN_OPTIONS");
    EXPECT_EQ(rewritten.status, 0) << rewritten.err;
    EXPECT_EQ(ReadFile(app), ReadFile(swapped)) << "the seam rewrote the file";
    EXPECT_EQ(radio.Flash(0x20000, 8), HexBytes("1111222233334444"));
}

// A radio holding KXC61_SITE_B in block 4 (0x40000 to 0x4FFFF), where the second image below writes.
constexpr const char* kSiteB = R"({"configurations": [
    {"productId": "ZMA1B_01.00", "address": "0x100"}, {"productId": "KXA61_HW01", "address": "0x70000"},
    {"productId": "KXC61_SITE_B", "address": "0x48000"}]})";

// A dry run goes as far as the first erase and plans: nothing erased or written, the radio restarted, the
// flash and configurations as they were; a refusal is the number the download would end with.
TEST_F(CliTest, ADryRunPlansWithoutWriting) {
    const std::string two = ImageText("ZMA1F_02", "S2", {{0x20000, "1111222233334444"}}) +
                            ImageText("KXC61_SITE_A", "S2", {{0x40000, "5555666677778888"}}),
                      other = ImageText("KXC_X", "S1", {{0x4000, "ABCD"}});
    const struct Case {
        const char *what, *scenario;
        std::string file;
        const char* options;
        int status;
        std::string fields;  // FILE: the file's path
    } cases[] = {
        {"two images on a KX6100", "{}", two, "", 0,
         R"({"/result": 0, "/radios/0/plan/images/0/blocks": [{"id": 2, "first": 131072, "last": 196607}],
             "/radios/0/plan/images/1/tag": "KXC61_SITE_A", "/radios/0/plan/images/1/words": 4,
             "/radios/0/plan/images/1/lineBytes": 54, "/radios/0/plan/lost": [],
             "/radios/0/plan/fpgaQuestion": false, "/radios/0/plan/baud": 115200})"},
        {"a configuration lost with block 4", kSiteB, two, "", 0,
         R"({"/radios/0/plan/lost/0/sentence":
                 "KXC61_SITE_B lies in block 4, which KXC61_SITE_A erases: it will be lost",
             "/radios/0/plan/lost/1": "-"})"},
        {"a KX6200 device's own flash",
         R"({"model": 6200, "devices": [{"networkId": 1, "deviceId": 2, "flash": [{"start": 0, "length": "0x8000"}],
             "configurations": [{"productId": "KXD62_UNIT", "address": "0x100"}]}]})",
         "MD  KXD62,02\r\n" + other, "--radio 6200", 0,
         R"({"/radios/0/plan/images/0/device": "0102", "/radios/0/plan/images/0/hardware": "KXD62",
             "/radios/0/plan/images/0/blocks": [{"id": 0, "first": 0, "last": 32767}],
             "/radios/0/plan/lost/0/productId": "KXD62_UNIT"})"},
        {"hardware the radio does not have", "{}", "MD  KXZ99,00\r\n" + other, "", 1,
         R"({"/result": 25, "/radios/0/plan/result": 25, "/radios/0/plan/images": [],
             "/radios/0/plan/refusedAt": "FILE [KXC_X]"})"},
        {"two images in one block", "{}",
         ImageText("ZMA1F_A", "S2", {{0x20000, "1111"}}) + ImageText("KXC61_B", "S2", {{0x28000, "2222"}}),
         "", 1, R"({"/result": 52, "/radios/0/plan/images": []})"},
        {"an FPGA image on a KX6100, asked of no one",
         R"({"specialMode": true, "powerCycleAfterSeconds": 0.5})",
         ImageText("ZMA1G_01", "S2", {{0x50000, "1111"}}), "", 0,
         R"({"/result": 0, "/radios/0/plan/fpgaQuestion": true})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimulatedRadio radio(sim::ParseScenario(c.scenario));
        const std::string file = (folder / "device.s28").string();
        WriteFile(file, c.file);
        const std::vector<sim::Configuration> before = radio.Configurations();
        const std::vector<uint8_t> flash = radio.Flash(0x20000, 8);
        Outcome run = Download("--json --quiet " + std::string(c.options) + " --device " +
                               radio.DevicePath() + " --baud 115200 download --dry-run " + file);
        EXPECT_EQ(run.status, c.status) << run.err;
        ExpectFields(run.out, std::regex_replace(c.fields, std::regex("FILE"), file));
        for (const sim::ReceivedFrame& frame : radio.Frames())
            EXPECT_TRUE(frame.code < 0x32 || frame.code > 0x35 || frame.code == 0x36) << frame.hex;
        ASSERT_FALSE(radio.Frames().empty());
        EXPECT_EQ(radio.Frames().back().code, 0x36) << "the radio is restarted";
        EXPECT_EQ(radio.Configurations(), before);
        EXPECT_EQ(radio.Flash(0x20000, 8), flash);
    }
}

// A download whose erases take a configuration with them says so first, and goes on only when told to:
// refused without a terminal, with the radio restarted and nothing erased; with --yes the configuration is
// gone from the next report.
TEST_F(CliTest, ALossIsSaidBeforeTheFirstErase) {
    WriteSettings("[KX6100_RLDC]\nDebug=True\n");  // the download log is kept
    sim::SimulatedRadio radio(sim::ParseScenario(kSiteB));
    const std::string file = (folder / "two.s28").string(), device = " --device " + radio.DevicePath() + " ";
    WriteFile(file, ImageText("ZMA1F_02", "S2", {{0x20000, "1111"}}) +
                        ImageText("KXC61_SITE_A", "S2", {{0x40000, "5555"}}));
    const std::string warning =
        "kx6000-download: warning: KXC61_SITE_B lies in block 4, which KXC61_SITE_A erases: it will be "
        "lost\n";
    Outcome refused = Download("--quiet --json" + device + "download " + file);
    EXPECT_EQ(refused.status, 1);
    ExpectFields(refused.out, {{"/result", 1}});
    EXPECT_TRUE(Holds(refused.err, warning + "Continue? \nkx6000-download: no terminal to answer on"));
    for (const sim::ReceivedFrame& frame : radio.Frames()) EXPECT_NE(frame.code, 0x32) << "no unlock";
    EXPECT_EQ(radio.Frames().back().code, 0x36) << "the radio is restarted";
    EXPECT_TRUE(Holds(ReadFile(root / "KX6000Download.log"), "KXC61_SITE_B lies in block 4"));

    Outcome written = Download("--quiet --yes" + device + "download " + file);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_TRUE(Holds(written.err, warning));
    EXPECT_TRUE(Holds(Download("--quiet" + device + "report").out, "KXC61_SITE_B", false));
}

// The command line erases only what the radio listed and the window would let a technician tick.
TEST_F(CliTest, EraseRefusesWhatTheWindowWouldNotOffer) {
    // The arguments; why it is refused (empty: erased); in test mode.
    for (auto [arguments, why, testMode] : {
             std::tuple{"erase 0102:ZMA1F_01.02.03.04", "the radio lists no such configuration", false},
             {"erase KXA61_HW01", "it is the radio's hardware configuration", false},
             {"erase ZMA1F_01.02.03.04 ZMA1B_01.00", "it is boot code", false},
             {"erase --force KXA61_HW01", "", false},
             {"erase --force ZMA1B_01.00", "", false},
             {"erase ZMA1B_01.00", "", true},
         }) {
        WriteSettings(testMode ? "[KX6100_RLDC]\nDebug=True\n" : "");
        sim::SimulatedRadio radio;
        Outcome run = Download("--device " + radio.DevicePath() + " " + arguments);
        int erasures = 0;
        for (const auto& frame : radio.Frames()) erasures += frame.code == 0x33;
        EXPECT_EQ(run.status, *why ? 1 : 0) << arguments << run.err;
        EXPECT_EQ(erasures, *why ? 0 : 1) << arguments;
        EXPECT_TRUE(Holds(run.err,
                          "kx6000-download: test mode (Debug=True in " + settings.string() + "): logs are",
                          testMode));
        if (*why) {
            EXPECT_TRUE(Holds(run.err, why)) << arguments;
            EXPECT_TRUE(Holds(run.out, "KXA61_HW01")) << "the radio's list is shown";
        }
    }
}

// A real-time download stopped at about 30 %: the port is free at once, nothing is left behind (our lock
// file, found through the link the device was given by, names the download while it runs), and the next
// download writes the image whole.
TEST_F(CliTest, AStoppedDownloadClosesEverything) {
    sim::SimulatedRadio radio({}, {.realtime = true, .tracePath = ""});
    const std::string data = RandomHex(4 * 0x1000, 8), file = (folder / "big.s28").string(),
                      link = (folder / "radio").string(), lockFile = LockPath(radio.DevicePath());
    WriteFile(file, ImageText("ZMA1F_BIG", "S2", {{0x20000, data}}));
    std::filesystem::create_symlink(radio.DevicePath(), link);
    const std::string arguments = "--device " + link + " --baud 115200 download " + file;
    // Stopped in the special logon's wait for the power cycle, the radio was never logged on.
    const std::string waiting = "--radio 6200 --unprotected --device " + link + " download " + file;
    for (auto [signal, logon] : {std::pair{SIGINT, true}, {SIGTERM, true}, {SIGINT, false}}) {
        const std::string run = "--json " + (logon ? arguments : waiting);
        pid_t child = Start(run);
        if (logon) {
            WaitForThirtyPercent(radio, data);
            EXPECT_EQ(ReadFile(lockFile), LockText(child));
        } else {
            Eventually([&] { return Holds(ReadFile(folder / "err"), "Please power cycle"); });
        }
        kill(child, signal);
        const int status = Ended(child);
        EXPECT_EQ(status, 128 + signal);
        EXPECT_FALSE(Held(radio.DevicePath())) << "the port is free at once";
        EXPECT_FALSE(std::filesystem::exists(lockFile));
        // Said as a stop, not as the port's failure it ends with.
        const std::string err = ReadFile(folder / "err"), out = ReadFile(folder / "out");
        EXPECT_TRUE(Holds(
            err, logon ? "kx6000-download: stopped during ZMA1F_BIG at " : "kx6000-download: stopped\n"));
        EXPECT_TRUE(Holds(err, "; the radio stays in upgrade mode until", logon));
        EXPECT_TRUE(Holds(err, "Error ", false));
        KeepJson(run, status, out);
        ExpectFields(out, {{"/stopped/signal", signal == SIGINT ? "SIGINT" : "SIGTERM"},
                           {"/stopped/radioInUpgradeMode", logon}});
        for (const char* name : {"temp.int", "temp.ua"}) EXPECT_FALSE(std::filesystem::exists(root / name));
        EXPECT_NE(radio.Flash(0x20000 + data.size() / 2 - 2, 2), HexBytes(data.substr(data.size() - 4)));
    }
    Outcome again = Download(arguments);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(radio.Flash(0x20000, data.size() / 2), HexBytes(data));
}

// A lock file naming a live program keeps the download off the line, and names that program; so does a
// program holding the port itself.
TEST_F(CliTest, LockFilesKeepOtherProgramsOffTheLine) {
    sim::SimulatedRadio radio;
    const std::string file = (folder / "app.s28").string(), lockFile = LockPath(radio.DevicePath());
    WriteFile(file, ImageText("ZMA1F_APP", "S2", {{0x20000, "1111"}}));
    const std::string arguments = "--device " + radio.DevicePath() + " download " + file;

    pid_t sleeper = Sleeper();
    WriteFile(lockFile, LockText(sleeper));
    Outcome held = Download("--json " + arguments);
    EXPECT_EQ(held.status, 1);
    ExpectFields(held.out, {{"/result", 12}});
    EXPECT_TRUE(Holds(held.err, "held by sleep (pid " + std::to_string(sleeper) + ")")) << held.err;
    EXPECT_TRUE(radio.Frames().empty()) << "nothing sent";
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);

    // Anything else at the lock file's name may be another user's trap (a FIFO would hang the reader, a
    // link to /dev/zero flood it): left alone and told, never read through. A user who cannot open what is
    // there cannot tell either.
    using Make = void (*)(const std::string&);
    const std::tuple<const char*, Make, bool> strangers[] = {
        {"a FIFO", [](const std::string& at) { mkfifo(at.c_str(), 0666); }, false},
        {"a link to /dev/zero",
         [](const std::string& at) { std::filesystem::create_symlink("/dev/zero", at); }, false},
        {"a directory", [](const std::string& at) { std::filesystem::create_directory(at); }, false},
        {"a 10 MB file", [](const std::string& at) { WriteFile(at, std::string(10 << 20, '1')); }, false},
        {"a FIFO, to nobody", [](const std::string& at) { mkfifo(at.c_str(), 0666); }, true},
        {"root's own FIFO, to nobody", [](const std::string& at) { mkfifo(at.c_str(), 0600); }, true},
    };
    std::filesystem::permissions(folder, std::filesystem::perms::all);
    std::filesystem::permissions(radio.DevicePath(), std::filesystem::perms::all);
    for (const auto& [what, make, asNobody] : strangers) {
        std::filesystem::remove(lockFile);
        make(lockFile);
        auto start = std::chrono::steady_clock::now();
        pid_t run = Start("--json " + arguments, -1, asNobody);
        EXPECT_EQ(Ended(run), 1) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << what;
        ExpectFields(ReadFile(folder / "out"), {{"/result", 12}});
        EXPECT_TRUE(Holds(ReadFile(folder / "err"), "held by something this program cannot identify (" +
                                                        lockFile + " is no lock file it can read)"))
            << what;
        EXPECT_TRUE(radio.Frames().empty()) << what << ": nothing sent";
        for (const auto& left :
             std::filesystem::directory_iterator(std::filesystem::path(lockFile).parent_path()))
            if (left.path().filename().string().starts_with("LTMP.")) {
                EXPECT_NE(ReadFile(left.path()), LockText(run)) << what << ": temporary file left";
            }
        std::filesystem::remove(lockFile);
    }

    // A port another program holds is said with that program's whole name (its "comm" keeps 15 characters),
    // escaped: a program names itself.
    const std::filesystem::path holder = folder / "a-holder-with-a-long-name\x1b]0;PWNED\a";
    std::filesystem::create_symlink("/usr/bin/flock", holder);
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);  // its sleep ends with it
        execl(holder.c_str(), holder.c_str(), radio.DevicePath().c_str(), "sleep", "30",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    Eventually([&] { return Held(radio.DevicePath()); });
    EXPECT_TRUE(Holds(Download("--quiet --device " + radio.DevicePath() + " report").err,
                      "a-holder-with-a-long-name\\x1b]0;PWNED\\x07 (pid " + std::to_string(child) + ")"));
    kill(-child, SIGTERM);
    waitpid(child, nullptr, 0);
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
    for (auto [i, radio, result] : {std::tuple{0, &first, 0}, {1, &silent, 21}, {2, &second, 0}}) {
        ExpectFields(radios[i].dump(), {{"/device", radio->DevicePath()}, {"/result", result}});
        EXPECT_GT(radios[i]["seconds"], 0.0);
    }
    EXPECT_EQ(first.Flash(0x20000, data.size() / 2), HexBytes(data));
    EXPECT_EQ(second.Flash(0x20000, data.size() / 2), HexBytes(data));
    EXPECT_TRUE(Holds(run.err, silent.DevicePath() + ": Error 21 - Radio did not reset\n"))
        << "status lines name their radio";
}

// Every path of a command prints the command's one shape (the schema check holds every document
// kept here to it); the table names what tells the paths apart. No output holds a control byte: product IDs
// from the radio and tags from a file are shown escaped, so none sets the terminal's title, clears it or
// forges a row.
TEST_F(CliTest, EveryPathPrintsTheOneShape) {
    WriteFile(folder / "app.s28",
              ImageText("APP", "S2", {{0x20000, "2A2F69426262456C2F2A0000005A00390000"}}));
    WriteFile(folder / "fpga.s28", ImageText("ZMA1G_02", "S2", {{0x20000, "1111"}}));
    WriteFile(folder / "two.s28",
              ImageText("", "S1", {{0, "AABB"}}) + ImageText("", "S2", {{0x100, "11223344"}}));
    // The image's tag is the one its data carries after the tag marker, a character a word.
    std::string tag = "2A2F69426262456C2F2A0000";
    for (char c : std::string("\x1b]0;pwned\a\x1b[2J\rZMA1F\nX\x7f"))
        tag += ToHex(static_cast<uint8_t>(c), 4);
    WriteFile(folder / "hostile.s28", ImageText("", "S2", {{0x20000, tag + "0000"}}));
    const char* hostile = R"({"configurations": [
        {"productId": "KXA\u001b[2J", "address": "0x70000", "status": 0},
        {"productId": "\u001b]0;pwned\u0007\u001b[2J", "address": "0x10000", "status": 0},
        {"productId": "ZMA1F_A\rKXA61_FORGED", "address": "0x30000", "status": 0},
        {"productId": "ZMA1F_B\nZMA1F_FORGED\u007f", "address": "0x40000", "status": 0},
        {"productId": "KXC\u009b2J", "address": "0x50000", "status": 0}]})";
    // Product IDs as text: a "|" and a "%" as they are, the radio's UTF-8 bytes once; the one holding "|"
    // erased by its name in the service's list.
    const char* productIds = R"({"model": 6200, "configurations": [
        {"productId": "KXA62_HW", "address": "0x00100", "status": 0},
        {"productId": "KXD62|A%B", "address": "0x10100", "status": 0},
        {"productId": "KXD62_\u00FF", "address": "0x20100", "status": 1}]})";
    const char* verify = "kx6000-download: verify: Z9: the radio ";
    struct Case {
        std::string arguments;  // DEV and DEV2: the radios' devices; APP, FPGA, TWO and HOSTILE: the files
        int status;
        const char* fields;     // JSON pointer: value
        std::string said = "";  // on stdout without --json, on stderr with it
        const char* scenario = "{}";
    } cases[] = {
        {"--version", 0, "", "1.05.01\n"},
        {"--json --version", 0, R"({"/version": "1.05.01"})"},
        {"error 8109", 0, "",
         "8109 - Response - trying to write to the FLASH when the addess has not been specified\n"},
        {"error --json 21", 0, R"({"/errors": [{"number": 21, "message": "Radio did not reset"}]})"},
        // Options stand before or after the command word; the data blocks only with --data.
        {"--json --quiet validate TWO", 0,
         R"({"/result": 0, "/images/1/image": 2, "/images/1/name": "TWO", "/images/1/networkId": null, )"
         R"("/images/1/tables/0/bytes": 4, "/images/1/tables/0/blocks": "-", "/images/2": "-"})"},
        {"validate --data --json TWO", 0, R"({"/images/1/tables/0/blocks": ["11223344"]})"},
        {"validate TWO", 0, "", "TWO (image 2)\n  tag"},
        {"--json --device DEV report", 0, R"({"/result": 0, "/radios/0/device": "DEV", "/stopped": null})"},
        {"--json --device DEV --device DEV2 report", 0,
         R"({"/result": 0, "/radios/1/device": "DEV2", )"
         R"("/radios/1/configurations/0/productId": "ZMA1B_01.00"})"},
        {"--device DEV --device DEV2 report", 0, "", "\nDEV2:\nProduct ID"},
        {"--json --device DEV download APPx", 1,
         R"({"/result": 33, "/radios": [], "/files/0/failure/line": null})"},
        {"--json --device DEV erase ZMA1F_NOT_THERE", 1,
         R"({"/result": 1, "/refused/0/name": "0000:ZMA1F_NOT_THERE", "/refused/0/line": null})"},
        {"--json --device DEV --device DEV2 erase ZMA1B_01.00", 1,
         R"({"/radios/1/result": 1, "/refused/1/name": "0000:ZMA1B_01.00"})"},
        {"--device DEV --baud 115200 download APP", 0, "", "Z9 "},  // the tag the radio found, in the table
        {"download --json --device DEV --verify APP", 0,
         R"({"/verified": true, "/radios/0/verify/0/tag": "Z9"})"},
        {"download --json --device DEV --verify APP", 1,
         R"({"/result": 0, "/verified": false, "/radios/0/verify/0/status": null})",
         verify + std::string("does not list it after the download\n"),
         R"({"faults": {"unlistedTags": true}})"},
        {"download --json --device DEV --device DEV2 --verify APP", 1,
         R"({"/verified": false, "/radios/1/verify/0/status": 2})",
         verify + std::string("lists it with status 2 (Checksum invalid)\n"),
         R"({"faults": {"tagStatus": 2}})"},
        {"download --device DEV --device DEV2 --verify APP", 1, "", "verify failed: Z9 status 2",
         R"({"faults": {"tagStatus": 2}})"},
        {"--json --device DEV --device DEV2 download FPGA", 1,
         R"({"/result": 1, "/radios": [], "/refused/0/name": "FPGA"})"},
        // Without a terminal to ask on, the FPGA warning is answered no, and the way on is said.
        {"--json --device DEV download FPGA </dev/null", 1, R"({"/result": 1, "/radios/0/result": 1})",
         "the answer is no: rerun with --yes to answer yes\nError 1 - User cancelled"},
        {"--json report --device DEV --baud 9600", 2,
         R"({"/command": "report", "/usageError": "kx6000-download: report takes no --baud; )"
         R"('kx6000-download report --help' lists its options"})"},
        {"--device DEV report", 0, "", "\n\\x1b]0;pwned\\x07\\x1b[2J ", hostile},
        {"--device DEV report", 0, "", "\nKXC\\xc2\\x9b2J ", hostile},  // a C1 control: CSI
        {"--json --device DEV report", 0,
         R"({"/radios/0/configurations/3/productId": "ZMA1F_B\nZMA1F_FORGED\u007f", )"
         R"("/radios/0/configurations/4/productId": "KXC\u009b2J"})",
         "", hostile},
        {"validate HOSTILE", 0, "", R"(tag "\x1b]0;pwned\x07\x1b[2J\x0dZMA1F\x0aX\x7f")"},
        {"--device DEV --baud 115200 download HOSTILE", 0, "", "\\x0aX\\x7f OK", hostile},
        {"--device DEV --device DEV2 download --verify HOSTILE", 0, "", "0 Success", hostile},
        {"--device DEV erase \"$(printf 'KXA\\033[2J')\"", 1, "", "\nKXA\\x1b[2J ", hostile},
        {"--json --quiet --radio 6200 --device DEV report", 0,
         R"({"/configurations/1/productId": "KXD62|A%B", "/configurations/2/productId": "KXD62_\u00FF"})", "",
         productIds},
        {"--json --quiet --radio 6200 --device DEV erase 0000:KXD62%7CA%25B", 0,
         R"({"/result": 0, "/configurations/1/productId": "KXD62_\u00FF", "/configurations/2": "-"})", "",
         productIds},
    };
    for (const Case& c : cases) {
        sim::SimulatedRadio radio(sim::ParseScenario(c.scenario)), radio2(sim::ParseScenario(c.scenario));
        auto named = [&](std::string text) {
            for (auto [name, is] : {std::pair{"DEV2", radio2.DevicePath()},
                                    {"DEV", radio.DevicePath()},
                                    {"APP", (folder / "app.s28").string()},
                                    {"FPGA", (folder / "fpga.s28").string()},
                                    {"TWO", (folder / "two.s28").string()},
                                    {"HOSTILE", (folder / "hostile.s28").string()}})
                text = std::regex_replace(text, std::regex(name), is);
            return text;
        };
        Outcome run = Download(named(c.arguments));
        SCOPED_TRACE(c.arguments + "\n" + run.out + run.err);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(Holds(*c.fields ? run.err : run.out, named(c.said)));
        if (*c.fields) ExpectFields(run.out, named(c.fields));
        EXPECT_TRUE(std::ranges::none_of(
            run.out + run.err, [](char c) { return (c >= 0 && c < ' ' && c != '\n') || c == 0x7F; }));
        EXPECT_EQ((run.out + run.err).find("\xc2\x9b"), std::string::npos) << "no C1 control";
        // The simulated line takes next to no time: no share of it above 100 % is claimed.
        std::smatch share;
        if (std::regex_search(run.err, share, std::regex("([0-9]+)% of the line"))) {
            EXPECT_LE(std::stoi(share[1]), 100);
        }
    }
    // The whole error table; a lone byte above 0x7F is its Latin-1 character; the help inside a document.
    const std::string all = Download("error").out;
    EXPECT_EQ(std::ranges::count(all, '\n'), 47);
    EXPECT_TRUE(all.starts_with("0 - Success\n") &&
                all.ends_with("\n8112 - Response - radio neck message operations for command exceeded "
                              "specified timeouts\n"))
        << all;
    EXPECT_EQ(Utf8OfBytes("A\xC3\xBF\xFF\xC0\x80\xED\xA0\x80|"),
              "A\u00FF\u00FF\u00C0\u0080\u00ED\u00A0\u0080|");
    Outcome help = Download("ports --help --json");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(
        Holds(nlohmann::json::parse(help.out).at("help").get<std::string>(), "Usage: kx6000-download ports"));
}

// Options stand on either side of the command word and are checked against the command on either side.
TEST_F(CliTest, OptionsAnywhereCheckedAnywhere) {
    const std::string good = (folder / "good.s19").string(), none = (folder / "ttyNone").string();
    WriteFile(good, Header("A") + Rec("S1", 0x100, "AAAA") + Rec("S9", 0, ""));
    const std::string noPort = "Port 1: " + none +
                               "\nError 11 - Serial port does not exist\nkx6000-download: " + none +
                               ": No such file or directory; choose the device with --device PATH "
                               "('kx6000-download ports' lists the devices found)\n";
    const std::pair<std::string, int> taken[] = {
        {"--force --device " + none + " erase X", 1},
        {"erase --device " + none + " X --unprotected --power-cycle-wait 5", 1},
        {"--device " + none + " report", 1},
        {"--json --data validate " + good, 0},
        {"--radio 6200 validate --quiet " + good, 0},
    };
    for (const auto& [arguments, status] : taken) {
        Outcome run = Download(arguments);
        EXPECT_EQ(run.status, status) << arguments;
        EXPECT_EQ(run.err, status ? noPort : "") << arguments;
    }
    const std::pair<std::string, const char*> refused[] = {
        {"--baud 9600 report",
         "kx6000-download: report takes no --baud; 'kx6000-download report --help' lists"},
        {"report --baud 9600", "kx6000-download: report takes no --baud; "},
        {"--device /dev/null validate " + good, "validate takes no --device"},
        {"--frob report", "report takes no --frob"},
        {"--device /dev/null --device /dev/../dev/null report", "--device /dev/../dev/null is given twice"},
        {"erase 12:X", "'12:X': the device before ':' is four hex digits NNDD"},
        {"erase 0102:", "'0102:' names no configuration: give [NNDD:]PRODUCTID"},
        {"--port 5 report", "--port 5: the ports are 1 to 4"},
        {"--json --port '' report", "kx6000-download: --port needs a port, 1 to 4"},
        {"download --device '' x", "kx6000-download: --device needs a path, e.g. "},
        {"--json --device /dev/null --device '' erase X", "--device needs a path"},
        {"erase --power-cycle-wait 0 X", "--power-cycle-wait 0: give the seconds to wait, 1 to"},
        {"--radio 6300 validate x", "--radio 6300: the radio models are 6100 and 6200"},
        {"--baud 57600 download x", "--baud 57600: give auto, 115200, 19200 or 9600"},
        {"", "kx6000-download: give a command: report, download, erase, validate, error or ports"},
        {"--device /dev/null --device /dev/zero ports", "ports takes one --device"},
        {"--quiet ports", "ports takes no --quiet"},
        {"ports extra --json", "The following argument was not expected: extra"},
        {"--port 2 frobnicate", "kx6000-download: unknown command 'frobnicate'; the commands are report"},
        {"validate --json", "validate needs FILE..."},
        {"erase", "erase needs [NNDD:]PRODUCTID..."},
        {"error 7", "'7' is not an error number of the component"},
    };
    for (const auto& [arguments, said] : refused) {
        Outcome run = Download(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.out.empty(), arguments.find("--json") == std::string::npos) << arguments;
        EXPECT_TRUE(Holds(run.err, said)) << arguments;
    }
}

// What each port reaches and why, for the devices of a laptop; and a port that reaches none says where to
// look.
TEST_F(CliTest, PortsSayWhatEachPortReaches) {
    Outcome nothing = Download("--json ports");
    EXPECT_EQ(nothing.status, 0);
    ExpectFields(nothing.out, {{"/devices", nlohmann::json::array()},
                               {"/ports/3", {{"port", 4}, {"device", nullptr}, {"source", "none"}}}});
    Outcome report = Download("report");
    EXPECT_EQ(report.status, 1);
    EXPECT_EQ(
        report.err,
        "Port 1: no serial device found\nError 11 - Serial port does not exist\nkx6000-download: port 1 "
        "reaches no serial device; 'kx6000-download ports' lists the devices found, --device PATH "
        "chooses one\n");

    MakeLaptop(folder / "devices");
    // A stable name in the settings is the device it names.
    const std::string ftdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A601F1XZ-if00-port0";
    WriteSettings("[KX6100_RLDC]\nPort2=/dev/ttyS0\nPort3=" + ftdi + "\nPort4=rfc2217://[::1]:4001\n");
    Outcome text = Download("ports");
    EXPECT_EQ(text.status, 0);
    // BY-ID: the adapter's stable name; SETTINGS: the settings file.
    const std::string shown = R"(Serial devices found:
  /dev/ttyUSB1  FTDI FT232R USB UART
    BY-ID
    USB adapter 0403:6001, serial number A601F1XZ, interface 00, latency timer 16 ms
  /dev/ttyUSB0  Silicon Labs CP2102 USB to UART Bridge Controller
    /dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0
    USB adapter 10c4:ea60, serial number 0001, interface 00
  /dev/ttyACM0  USB modem 1d6b:0104
    USB modem 1d6b:0104, interface 00
  /dev/ttyS0  this machine's serial port
    the system console, not used: only a port that names it reaches it
  /dev/ttyS2  this machine's serial port
    a login terminal, not used: only a port that names it reaches it
  /dev/ttyS10  this machine's serial port

Port 1: /dev/ttyUSB1 (FTDI FT232R USB UART), found
Port 2: /dev/ttyS0 (this machine's serial port), named by Port2 in SETTINGS (the system console)
Port 3: BY-ID (FTDI FT232R USB UART), named by Port3 in SETTINGS
Port 4: rfc2217://[::1]:4001, network (RFC 2217), named by Port4 in SETTINGS
)";
    EXPECT_EQ(text.out, std::regex_replace(std::regex_replace(shown, std::regex("BY-ID"), ftdi),
                                           std::regex("SETTINGS"), settings.string()));
    Outcome json = Download("--port 3 --device /dev/ttyUSB9 ports --json");  // before the settings
    EXPECT_EQ(json.status, 0);
    ExpectFields(json.out, R"({"/devices/0/vendorId": "0403", "/devices/0/productId": "6001",
        "/devices/0/manufacturer": "FTDI", "/devices/0/product": "FT232R USB UART",
        "/devices/0/serialNumber": "A601F1XZ", "/devices/0/interface": "00", "/devices/0/latencyTimer": 16,
        "/devices/1/latencyTimer": "-", "/devices/2/stableName": "-", "/devices/2/kind": "usb-modem",
        "/devices/3": {"device": "/dev/ttyS0", "kind": "uart", "description": "this machine's serial port",
                       "notUsed": "the system console"},
        "/devices/4/notUsed": "a login terminal", "/devices/5/notUsed": "-",
        "/devices/6": "-",
        "/ports/1/source": "settings",
        "/ports/2": {"port": 3, "device": "/dev/ttyUSB9", "source": "environment"},
        "/ports/1/device": "/dev/ttyS0", "/ports/2/kind": "-",
        "/ports/3": {"port": 4, "device": "rfc2217://[::1]:4001", "source": "settings", "kind": "network"}})");

    // Settings another user cannot read are said once, as the system's tools say it, before what is found.
    std::filesystem::permissions(settings,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    pid_t nobody = Start("ports", -1, true);
    EXPECT_EQ(Ended(nobody), 0);
    const std::string err = ReadFile(folder / "err");
    EXPECT_EQ(err, "settings file " + settings.string() + ": Permission denied\n");
    EXPECT_TRUE(Holds(ReadFile(folder / "out"), "Port 2: /dev/ttyUSB0 (Silicon Labs"));
}

// A TCP port of 127.0.0.1 that nothing listens on.
int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

// Whether something listens on `port` of 127.0.0.1, as the kernel lists it: a probe connection would be
// a client to the server.
bool Listening(int port) {
    std::istringstream table(ReadFile("/proc/net/tcp"));
    char local[16];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;
    }
    return false;
}

// A server on 127.0.0.1 in front of the radio: ser2net as a technician sets it up, ser2net behind a proxy
// that holds each piece 5 ms each way with Nagle's algorithm on, Python's own RFC 2217 server, or a plain
// echo that negotiates nothing. Killed with the test.
class Server {
public:
    enum Kind { Ser2net, DistantSer2net, Python, Echo };
    Server(Kind kind, const std::string& device, const std::filesystem::path& folder) : port(FreePort()) {
        const int served = kind == DistantSer2net ? FreePort() : port;
        const std::string config = (folder / ("ser2net-" + std::to_string(served) + ".yaml")).string();
        WriteFile(config, "connection: &radio\n  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," +
                              std::to_string(served) + "\n  connector: serialdev," + device +
                              ",19200n81,local\n  options:\n    kickolduser: false\n    chardelay: false\n");
        const std::string script =
            "exec /usr/bin/python3 " + std::string(KX6000_SOURCE_DIR) + "/tests/cli/network-server.py ";
        if (kind == Ser2net || kind == DistantSer2net)
            Spawn("exec ser2net -n -c " + config + " -P " + config + ".pid", served);
        if (kind == DistantSer2net)
            Spawn(script + "delay " + std::to_string(port) + " " + std::to_string(served) + " 5 nagle", port);
        if (kind == Python) Spawn(script + "rfc2217 " + std::to_string(port) + " " + device, port);
        if (kind == Echo) Spawn(script + "echo " + std::to_string(port), port);
    }
    ~Server() { Kill(SIGTERM); }
    void Kill(int signal) {
        for (pid_t pid : pids) {
            kill(pid, signal);
            waitpid(pid, nullptr, 0);
        }
        pids.clear();
    }
    std::string Address() const { return "rfc2217://127.0.0.1:" + std::to_string(port); }

    const int port;

private:
    void Spawn(const std::string& command, int listening) {
        pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", (command + " >/dev/null 2>&1").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        pids.push_back(pid);
        Eventually([listening] { return Listening(listening); });
    }

    std::vector<pid_t> pids;
};

// The radio's line as its trace tells it: frames of Write Flash Data, received bytes at 115200, received
// bytes the radio could not read (sent at another speed than its own), and the bytes it reset on.
struct LineSeen {
    int writes = 0, fast = 0, garbled = 0;
    nlohmann::json reset;
};

LineSeen SeenOnTheLine(const std::filesystem::path& trace) {
    LineSeen seen;
    std::istringstream lines(ReadFile(trace));
    nlohmann::json received;
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json entry = nlohmann::json::parse(line);
        seen.writes += entry.value("code", "") == "35";
        if (entry.value("dir", "") == "rx") {
            received = entry;
            seen.fast += entry.value("radioBaud", 0) == 115200 && entry.value("portBaud", 0) == 115200;
            seen.garbled += entry.value("garbled", false);
        }
        if (entry.value("cause", "") == "Reset Radio" && seen.reset.is_null()) seen.reset = received;
    }
    return seen;
}

class NetworkTest : public CliTest {};

// The radio behind a server on the network, named on the command line or routed in the settings: the
// data (0xFF words among it) written byte for byte at 115200, each frame at the speed the radio listens at.
TEST_F(NetworkTest, RadiosBehindAServer) {
    const std::string data = RandomHex(4 * 0x200, 35) + "FFFFFFFF00FFFF00",
                      file = (folder / "ff.s28").string();
    WriteFile(file, ImageText("ZMA1F_FF", "S2", {{0x20000, data}, {0x30000, "FFFF0102FFFF"}}));
    struct Case {
        const char* what;
        Server::Kind kind;
        bool routed;
    } cases[] = {{"ser2net, --device", Server::Ser2net, false},
                 {"ser2net, Port1 in the settings", Server::Ser2net, true},
                 {"ser2net behind a proxy, 5 ms each way, --device", Server::DistantSer2net, false},
                 {"Python's server, --device", Server::Python, false}};
    for (const Case& c : cases) {
        const std::filesystem::path trace = folder / "trace.jsonl";
        sim::SimulatedRadio radio({}, {.realtime = false, .tracePath = trace.string()});
        Server server(c.kind, radio.DevicePath(), folder);
        WriteSettings(c.routed ? "[KX6100_RLDC]\nPort1=" + server.Address() + "\n" : "");
        const std::string device = c.routed ? " " : " --device " + server.Address() + " ";
        Outcome download = Download(device + "--baud 115200 download " + file);
        EXPECT_EQ(download.status, 0) << c.what << download.err;
        EXPECT_TRUE(Holds(download.err, "Port 1: " + server.Address() + "\n")) << c.what;
        EXPECT_EQ(radio.Flash(0x20000, data.size() / 2), HexBytes(data)) << c.what;
        EXPECT_EQ(radio.Flash(0x30000, 6), HexBytes("FFFF0102FFFF")) << c.what;
        const LineSeen seen = SeenOnTheLine(trace);
        EXPECT_GT(seen.writes, 0) << c.what;
        EXPECT_GT(seen.fast, seen.writes) << c.what << ": the data went at 115200";
        EXPECT_EQ(seen.garbled, 0) << c.what << ": no byte at a speed the radio did not listen at";
        if (c.kind != Server::Ser2net || c.routed) continue;
        Outcome report = Download(device + "--json --quiet report");
        ExpectFields(report.out, {{"/result", 0}, {"/configurations/0/productId", "ZMA1B_01.00"}});
        Outcome erase = Download(device + "--json --quiet erase --force 0000:ZMA1B_01.00");
        ExpectFields(erase.out, {{"/result", 0},
                                 {"/message", "Success"},
                                 {"/configurations/0/productId", "ZMA1F_01.02.03.04"},
                                 {"/configurations/1/address", 0x70000},
                                 {"/configurations/2", "-"}});
    }
}

// Each failure of the network line with the component's number and a sentence, within 5 s.
TEST_F(NetworkTest, FailuresWithTheirNumbers) {
    sim::SimulatedRadio radio;
    Server ser2net(Server::Ser2net, radio.DevicePath(), folder), echo(Server::Echo, "", folder);
    TcpSocket first;  // a client that holds ser2net's port
    struct Case {
        const char* what;
        std::string device;
        int result;
        const char* said;
    } cases[] = {
        {"no such host", "rfc2217://no-such-host.invalid:4001", 11, "check the host name, the port and"},
        {"nothing listens", "rfc2217://127.0.0.1:" + std::to_string(FreePort()), 11, ": Connection refused;"},
        {"no IPv6 brackets", "rfc2217://::1:4001", 11, "[::1] for an IPv6 address"},
        {"a server that negotiates nothing", echo.Address(), 15,
         "does not speak RFC 2217 (it did not take the COM-PORT-OPTION); no frame was sent"},
        {"another client holds the port", ser2net.Address(), 12, "another client holds the port\n"},
    };
    for (const Case& c : cases) {
        if (c.result == 12) {
            ASSERT_FALSE(first.Connect("127.0.0.1", std::to_string(ser2net.port), 2000));
        }
        const auto start = std::chrono::steady_clock::now();
        Outcome failed = Download("--json --quiet --device " + c.device + " report");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.what;
        ExpectFields(failed.out, {{"/result", c.result}});
        EXPECT_TRUE(Holds(failed.err, "kx6000-download: " + c.device + ": ")) << c.what;
        EXPECT_TRUE(Holds(failed.err, c.said)) << c.what;
    }
}

// ser2net gone in the middle of a download: 15 within 5 s, the closing steps tried, nothing hangs.
TEST_F(NetworkTest, ALostServerEndsTheDownload) {
    sim::SimulatedRadio radio({}, {.realtime = true, .tracePath = ""});
    Server ser2net(Server::Ser2net, radio.DevicePath(), folder);
    const std::string data = RandomHex(4 * 0x1000, 8), file = (folder / "big.s28").string();
    WriteFile(file, ImageText("ZMA1F_BIG", "S2", {{0x20000, data}}));
    pid_t child = Start("--json --device " + ser2net.Address() + " --baud 115200 download " + file);
    WaitForThirtyPercent(radio, data);
    ser2net.Kill(SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(Ended(child), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(5));
    const std::string out = ReadFile(folder / "out"), err = ReadFile(folder / "err");
    KeepJson("download", 1, out);
    ExpectFields(out, {{"/result", 15}});
    EXPECT_TRUE(Holds(err, "Error 15 - Serial port (unspecified error)"));
    EXPECT_TRUE(Holds(err, "; the connection to the server was lost\n"));
}

// A radio left running an upgrade application is reset through the network by the attempt at its own speed:
// the first at 115200, the second at 19200, the reset command's bytes all at that speed.
TEST_F(NetworkTest, TheResetFindsARunningRadioAtItsSpeed) {
    for (int baud : {115200, 19200}) {
        const std::filesystem::path trace = folder / "trace.jsonl";
        sim::Scenario running;
        running.startState = sim::RadioState::Running;
        running.startBaud = baud;
        sim::SimulatedRadio radio(running, {.realtime = false, .tracePath = trace.string()});
        Server ser2net(Server::Ser2net, radio.DevicePath(), folder);
        Outcome report = Download("--json --quiet --device " + ser2net.Address() + " report");
        ExpectFields(report.out, {{"/result", 0}});
        const nlohmann::json reset = SeenOnTheLine(trace).reset;
        EXPECT_EQ(reset.value("hex", ""), "3600C9FF") << baud;
        EXPECT_EQ(reset.value("portBaud", 0), baud);
        EXPECT_EQ(reset.value("garbled", true), false) << baud;
    }
}

}  // namespace
}  // namespace kx6000::test
