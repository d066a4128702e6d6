// The three operations, from the public members to the simulated radio's flash.

#include <functional>

#include "files/FileChecks.h"
#include "files/SRecords.h"
#include "protocol/RadioTestBase.h"
#include "radio/clsRadio.h"
#include "support/Errors.h"

namespace kx6000::test {
namespace {

class OperationsTest : public RadioTestBase {
protected:
    // A manager on port 1, wired to a simulated radio; `answers` are typed at the FPGA question.
    void Connect(const std::string& scenario = "{}", const std::string& answers = "") {
        ResetProgramState();  // each case of a table starts as a test does
        Start(scenario);
        port.ClosePort();
        DownloadLog.CloseLogFile();
        ConfigLog.CloseLogFile();
        SetEnvironment("KX6000_PORT1", radio->DevicePath());
        NewManager({.canAsk = true});
        in.str(answers);
        ASSERT_EQ(manager->SetPort("1", false), 0);
        out.str("");
    }
    std::string File(const std::string& name, const std::string& content) {
        WriteFile(folder / name, content);
        return (folder / name).string();
    }
    int FramesWithCode(uint8_t code) {
        return std::ranges::count_if(radio->Frames(),
                                     [code](const auto& frame) { return frame.code == code; });
    }
};

TEST_F(OperationsTest, ReportReadsShowsAndLogsTheConfigurations) {
    Connect();
    std::string list = "untouched";
    for (int i = 0; i < 2; ++i) EXPECT_EQ(manager->ReportConfigurations(&list), 0);
    EXPECT_EQ(list, "ZMA1B_01.00|0|ZMA1F_01.02.03.04|0|KXA61_HW01|0|");
    std::vector<std::string> status = {"Resetting radio...", "Reading current configuration...",
                                       "Resetting radio...", "Configuration successfully read"};
    for (int i = 0; i < 4; ++i) status.push_back(status[i]);  // the second report's
    EXPECT_EQ(StatusLines(), status);
    // One section per report under its heading; the configuration lines are the read's own to check.
    std::vector<std::string> config = Log("KX6000Config.log");
    ASSERT_EQ(config.size(), 8u);
    EXPECT_EQ(config[0], "Report Configurations...");
    EXPECT_EQ(config[4], "Report Configurations...");
    EXPECT_EQ(radio->Counters().ownApplications, 2);
    ASSERT_EQ(manager->SetPort("1", true), 0);
    list = "untouched";
    EXPECT_EQ(manager->ReportConfigurations(&list), 0);
    EXPECT_EQ(list, "untouched") << "the window shows them instead";
}

// A good upgrade application is sent and never written; a bad one is refused, naming its file, before the
// radio is reset.
TEST_F(OperationsTest, TheUpgradeApplicationFileIsSentAndNeverWrittenOrRefusedByName) {
    const std::string good = ImageText("ZMA1U_UPGRADE", "S1", {{0x100, "0102030405060708"}});
    const std::tuple<const char*, std::string, int32_t, std::string> cases[] = {
        {"good", good, 0, ""},
        {"no terminator", good.substr(0, good.rfind("S9")), 33,
         "line 1: no \"S9\" terminator for the image \"ZMA1U_UPGRADE\" begun at line 1"},
        {"a bad record",
         good.substr(0, good.find("S1")) + "S1070G00AAAAAAAA00\r\n" + good.substr(good.rfind("S9")), 34,
         "line 2: the address is not 4 hex digits"},
    };
    for (const auto& [what, content, error, reason] : cases) {
        SCOPED_TRACE(what);
        Connect();
        File("root/ZMA1U.Srec", content);
        EXPECT_EQ(manager->DownLoad(), error);
        if (error == 0) {
            EXPECT_EQ(radio->ReceivedApplication(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
            EXPECT_EQ(StatusLines()[1], "Downloading upgrade application...");
            EXPECT_EQ(FramesWithCode(0x35), 0) << "nothing was written to flash";
            continue;
        }
        EXPECT_EQ(radio->Counters().resetBytes, 0) << "the radio is not reset";
        EXPECT_TRUE(radio->Frames().empty());
        // Named as the component knows it (C:\ZMA1U.Srec in its root).
        const std::string said = "Nothing was sent to the radio: the upgrade application " +
                                 manager->UpgradeFileName() + " is not valid (" + reason + ")";
        std::vector<std::string> log = Log();
        EXPECT_NE(std::ranges::find(log, said), log.end());
        EXPECT_EQ(StatusLines().back(), ErrorStatusText(error));
    }
}

TEST_F(OperationsTest, ARadioThatDoesNotAnswerEndsWithItsNumber) {
    const std::pair<const char*, int32_t> cases[] = {{R"({"faults": {"noLogonReply": true}})", 22},
                                                     {R"({"faults": {"silent": true}})", 21}};
    for (auto [scenario, error] : cases) {
        SCOPED_TRACE(scenario);
        Connect(scenario);
        std::string list = "untouched";
        EXPECT_EQ(manager->ReportConfigurations(&list), error);
        EXPECT_EQ(list, "untouched");
        EXPECT_EQ(StatusLines().back(), ErrorStatusText(error));
        EXPECT_EQ(Log("KX6000Config.log"), std::vector<std::string>{}) << "no configuration read";
        int32_t number = 0;
        std::string message;
        manager->GetLastError(number, message);
        EXPECT_EQ(number, error) << "kept after the port was closed";
        EXPECT_FALSE(Held(radio->DevicePath())) << "the port is closed";
    }
}

TEST_F(OperationsTest, DownloadWritesEveryImageByteForByte) {
    Connect("{}", "y\n");
    // S1, S2 and S3 images, their runs spread over blocks 0 to 6 of 0x10000 words.
    const std::vector<std::tuple<std::string, uint32_t, std::string>> runs = {
        {"S1", 0x8000, RandomHex(4 * 0x200, 1)},  {"S1", 0xF000, RandomHex(4 * 0x80, 2)},
        {"S2", 0x2FFF0, RandomHex(4 * 0x400, 3)}, {"S2", 0x4F000, RandomHex(4 * 0x10, 4)},
        {"S3", 0x5FFF8, RandomHex(4 * 0x20, 5)},  {"S3", 0x61234, RandomHex(4 * 0x30, 6)},
    };
    std::string content;
    for (size_t i = 0; i < runs.size(); i += 2) {
        const auto& [type, a, first] = runs[i];
        const auto& [unused, b, second] = runs[i + 1];
        content += ImageText("ZMA1F_" + type, type, {{a, first}, {b, second}});
    }
    ASSERT_EQ(manager->LoadFiles(File("three.srec", content)), 0);
    std::string list = "untouched";
    EXPECT_EQ(manager->DownLoad(&list), 0);
    for (const auto& [type, address, data] : runs) {
        EXPECT_EQ(radio->Flash(address, data.size() / 2), HexBytes(data))
            << type << " at " << std::hex << address;
    }
    // Writing block 0 erased the boot code's configuration, as said and agreed before the first erase: the
    // list is the one read after.
    EXPECT_NE(out.str().find("warning: ZMA1B_01.00 lies in block 0, which ZMA1F_S1 erases: it will be "
                             "lost\nContinue? [y/N] "),
              std::string::npos)
        << out.str();
    EXPECT_EQ(list, "ZMA1F_01.02.03.04|0|KXA61_HW01|0|");
    EXPECT_EQ(std::ranges::count(StatusLines(), "Locking flash..."), 3);
    EXPECT_EQ(StatusLines().back(), "Download successful");
    EXPECT_EQ(manager->LoadedFiles(), nullptr) << "released";
}

TEST_F(OperationsTest, DeclinedWarningsMismatchedHardwareAndRefusedImagesStopTheDownload) {
    const std::string image = ImageText("ZMA1F_APP", "S2", {{0x20000, "11112222"}});
    const std::string
        overlap = "@ [ZMA1F_APP] and @ (image 2) [KXC_OVER] both write the addresses 0x20001 to 0x20001",
        far =
            "@ (image 2) [KXC_FAR] writes the addresses 0x7FFFFFFF to 0x80000000, past 0x7FFFFFFF, "
            "the last address a radio's flash can have",
        uneven =
            "the table at address 0x00020000 holds 6 data digits, not whole 4-digit words: the "
            "radio refuses it (error 54) after erasing its flash";
    // What, the files, the answers, the error, whether the radio was touched and the first image written,
    // the reason logged and what the file check says ("@" the file), when no radio is needed to see it.
    const std::tuple<const char*, std::string, const char*, int32_t, bool, bool, std::string, std::string>
        cases[] = {
            {"FPGA warning: yes, then no",
             ImageText("ZMA1G_ONE", "S2", {{0x20000, "1111"}}) +
                 ImageText("ZMA1G_TWO", "S2", {{0x30000, "2222"}}),
             "y\nn\n", 1, false, false, "", ""},
            {"hardware code matching no configuration",
             image + "MD  KXZ99,00\r\n" + ImageText("KXC_X", "S2", {{0x30000, "3333"}}) +
                 ImageText("KXC_Y", "S2", {{0x40000, "4444"}}),
             "", 25, true, true, "", ""},
            {"device ID that is no number", "MD  KXA61,X5\r\n" + image, "", 34, false, false, "", ""},
            {"images writing the same address", image + ImageText("KXC_OVER", "S2", {{0x20001, "3333"}}), "",
             52, false, false, overlap, "@: error: " + overlap},
            {"an address past any flash", image + ImageText("KXC_FAR", "S3", {{0x7FFFFFFF, "33334444"}}), "",
             52, false, false, far, "@: error: " + far},
            {"images sharing a flash block", image + ImageText("KXC_NEAR", "S2", {{0x2F000, "3333"}}), "", 52,
             true, false,
             "@ [ZMA1F_APP] and @ (image 2) [KXC_NEAR] both write flash block 2 (0x20000 to 0x2FFFF): "
             "erasing "
             "it for the second would erase the first",
             ""},
            {"a table of data that is not whole words",
             "DW 8\r\n" + ImageText("KXC_ODD", "S2", {{0x20000, "AABBCC"}}), "", 34, false, false,
             "Nothing was sent to the radio: @ [KXC_ODD]: " + uneven, "@:3: error: " + uneven},
        };
    for (const auto& [what, content, answers, error, radioTouched, firstWritten, logged, checked] : cases) {
        SCOPED_TRACE(what);
        Connect("{}", answers);
        const std::string path = File("files.srec", content);
        auto placed = [&](std::string text) {
            for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, path);
            return text;
        };
        ASSERT_EQ(manager->LoadFiles(path), 0);
        std::vector<std::string> refusals = CheckLines(manager->LoadedChecks(), false);
        EXPECT_EQ(refusals, checked.empty() ? std::vector<std::string>{} : std::vector{placed(checked)})
            << "the load's own check";
        EXPECT_EQ(manager->DownLoad(), error);
        EXPECT_EQ(radio->Counters().resetBytes > 0, radioTouched);
        EXPECT_EQ(radio->Frames().empty(), !radioTouched) << "no frame before the radio is touched";
        EXPECT_EQ(radio->Flash(0x20000, 2) == HexBytes("1111"), firstWritten);
        EXPECT_EQ(FramesWithCode(0x33) > 0, firstWritten) << "erased only what it wrote";
        std::vector<std::string> log = Log();
        if (!logged.empty()) {
            EXPECT_NE(std::ranges::find(log, placed(logged)), log.end());
        }
        EXPECT_EQ(radio->Flash(0x40000, 2), HexBytes("FFFF")) << "later files untouched";
    }
}

TEST_F(OperationsTest, ImagesForADeviceAreWrittenThroughItsMemoryTarget) {
    EXPECT_EQ(DeviceIdText(300, 0), "2C00");  // the download below checks "0102"

    Connect(
        R"({"model": 6200, "devices": [{"networkId": 1, "deviceId": 2, "flash": [{"start": 0, "length": "0x8000"}],
                "configurations": [{"productId": "KXD62_UNIT", "address": "0x100"}]}]})",
        "y\ny\n");
    manager->RadioType(RADIO_MFX);
    // The same addresses of the radio's flash and of the device's are no collision.
    ASSERT_EQ(manager->LoadFiles(File("device.srec", ImageText("ZMA2F_R", "S1", {{0x4000, "1234"}}) +
                                                         "MD  KXD62,02\r\n" +
                                                         ImageText("KXC62_D", "S1", {{0x4000, "ABCD"}}))),
              0);
    EXPECT_EQ(manager->DownLoad(), 0);
    EXPECT_EQ(radio->Flash(0x4000, 2), HexBytes("1234"));
    EXPECT_EQ(radio->Flash(0x4000, 2, 1, 2), HexBytes("ABCD"));
    bool selected = false;
    for (const auto& frame : radio->Frames()) selected |= frame.hex == "3A0101027FC4" || frame.data == "0102";
    EXPECT_TRUE(selected) << "Set Memory Target 0102";
}

TEST_F(OperationsTest, EraseWorksThroughThePairsInOrder) {
    // The pairs, the configurations left, the erasures, and whether the port changed after the report.
    const std::tuple<const char*, const char*, int, bool> cases[] = {
        {"", "ZMA1B_01.00|0|ZMA1F_01.02.03.04|0|KXA61_HW01|0|", 0, false},
        {"0000|ZMA1F_01.02.03.04|", "ZMA1B_01.00|0|KXA61_HW01|0|", 1, false},
        {"0000|ZMA1F_01.02.03.04", "ZMA1B_01.00|0|KXA61_HW01|0|", 1, false},
        {"0000|NOT_REPORTED|0000|KXA61_HW01|0000", "ZMA1B_01.00|0|ZMA1F_01.02.03.04|0|", 1, false},
        {"0000|ZMA1F_01.02.03.04|", "", 0, true},
    };
    for (auto [pairs, remaining, erasures, portChanged] : cases) {
        SCOPED_TRACE(pairs);
        Connect();
        ASSERT_EQ(manager->ReportConfigurations(), 0);
        if (portChanged) {
            SetEnvironment("KX6000_PORT2", radio->DevicePath());
            ASSERT_EQ(manager->SetPort("2", false), 0);
        }
        std::string list;
        EXPECT_EQ(manager->EraseSelected(pairs, &list), portChanged ? 8102 : 0);
        EXPECT_EQ(list, remaining);
        EXPECT_EQ(FramesWithCode(0x33), erasures);
        EXPECT_EQ(radio->Counters().logons, portChanged ? 1 : 2) << "the erase logs on";
        EXPECT_EQ(StatusLines().back(),
                  portChanged ? ErrorStatusText(8102) : "Configuration(s) succesfully erased");
        EXPECT_EQ(Log("KX6000Config.log")[4], "After erased...");
    }
}

TEST_F(OperationsTest, CallsThatWouldDisturbARunningOperationAreRefused) {
    const std::string other = (folder / "other.srec").string();
    // The call made while a download (else a report) reads the configurations; it is refused with 13.
    const std::tuple<const char*, bool, std::function<int16_t(clsDLManager&)>> cases[] = {
        {"report", false, [](clsDLManager& m) { return m.ReportConfigurations(); }},
        {"erase", true, [](clsDLManager& m) { return m.EraseSelected("0000|KXA61_HW01|"); }},
        {"SetPort", true, [](clsDLManager& m) { return m.SetPort("1", true); }},
        {"LoadFiles", true, [&](clsDLManager& m) { return m.LoadFiles(other); }},
        {"ValidFile", true, [&](clsDLManager& m) { return m.ValidFile(other), int16_t(13); }},
        {"RadioType", true, [](clsDLManager& m) { return m.RadioType(RADIO_MFX), int16_t(13); }},
        {"CreateNewLogFile", true, [](clsDLManager& m) { return m.CreateNewLogFile(), int16_t(13); }},
    };
    const std::string data = RandomHex(4 * 0x100, 7);
    for (const auto& [call, download, nestedCall] : cases) {
        SCOPED_TRACE(call);
        Connect();
        WriteFile(other, ImageText("ZMA1F_OTHER", "S2", {{0x30000, "5555"}}));
        ASSERT_EQ(manager->SetPort("1", false), 0) << "the open port is closed before it opens again";
        if (download) {
            ASSERT_EQ(manager->LoadFiles(File("app.srec", ImageText("ZMA1F_A", "S2", {{0x20000, data}}))), 0);
        }
        int16_t nested = -1;
        EventPump = [&] {
            // While the configurations are read: the port, the files and the logs are in use.
            if (nested == -1 && out.str().find("Reading current configuration...") != std::string::npos)
                nested = nestedCall(*manager);
        };
        EXPECT_EQ(download ? manager->DownLoad() : manager->ReportConfigurations(), 0);
        EventPump = nullptr;
        EXPECT_EQ(nested, 13);
        EXPECT_EQ(radio->Counters().logons, 1);
        EXPECT_EQ(FramesWithCode(0x36), 1) << "the radio was restarted at the end";
        if (download) {
            EXPECT_EQ(radio->Flash(0x20000, data.size() / 2), HexBytes(data));
            EXPECT_EQ(radio->Flash(0x30000, 2), HexBytes("FFFF"));
            EXPECT_EQ(manager->RadioType(), RADIO_FMX);
        }
        EXPECT_GT(std::ranges::count(Log(), "Resetting radio..."), 0) << "the log was not moved aside";
    }
}

}  // namespace
}  // namespace kx6000::test
