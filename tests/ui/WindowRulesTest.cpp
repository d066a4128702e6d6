#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "radio/clsRadio.h"
#include "ui/WindowRules.h"

namespace kx6000 {
namespace {

struct Entry {
    std::string productId;
    int status = 0, network = 0, device = 0;
};

// The list as the radio reports it: each product character in four hex digits, "0000", the address, the
// status, and the network and device IDs.
colConfigurations ListOf(const std::vector<Entry>& entries) {
    colConfigurations list;
    for (const Entry& entry : entries) {
        std::string record;
        char hex[32];
        for (char c : entry.productId) record += (std::snprintf(hex, sizeof hex, "%04X", c & 0xFF), hex);
        std::snprintf(hex, sizeof hex, "000000000100%04X%02X%02X", entry.status, entry.network, entry.device);
        list.Add(record + hex);
    }
    return list;
}

// The table as drawn, a line a row: type|product ID|status and its colour|box|network ID|device ID.
std::string Shown(const ConfigurationTable& table) {
    std::string shown;
    for (size_t r = 0; r <= table.rows.size(); ++r) {
        const TableRow* row = r == 0 ? (table.hardware ? &*table.hardware : nullptr) : &table.rows[r - 1];
        if (!row) continue;
        char colour[8];
        std::snprintf(colour, sizeof colour, "%02x%02x%02x", row->statusColour.red, row->statusColour.green,
                      row->statusColour.blue);
        shown += (r == 0 ? "hardware " : "") + row->type + "|" + row->productId + "|" + row->status + " " +
                 colour + "|" + (row->box ? "box" : "-") + "|" + row->networkId + "|" + row->deviceId + "\n";
    }
    return shown + (table.tooLong ? "error 2\n" : "");
}

std::vector<Entry> Nine(bool hardwareFirst, bool hardwareLast) {
    std::vector<Entry> entries;
    if (hardwareFirst) entries.push_back({"KXA61_HW"});
    for (int i = 0; i < 9; ++i) entries.push_back({"KXC_" + std::to_string(i)});
    if (hardwareLast) entries.push_back({"KXA61_HW"});
    return entries;
}

TEST(WindowRulesTest, TheTableItsRowsAndTheEraseList) {
    std::string nine;
    for (int i = 0; i < 9; ++i) nine += "Non Standard|KXC_" + std::to_string(i) + "|OK 000000|box||\n";
    struct Case {
        const char* name;
        std::vector<Entry> list;
        bool kx6200, testMode;
        std::string shown;
        std::vector<int> ticked;
        std::string erase;
    };
    // clang-format off
    const Case cases[] = {
        {"boot code in test mode, an ID shorter than any type's", {{"zmA1b"}, {"Z"}}, false, true,
         "Boot Code|zmA1b|OK 000000|box||\nNon Standard|Z|OK 000000|box||\n", {1}, "0000|zmA1b|"},
        {"KX6200 IDs",
         {{"ZMA2F_02.01"}, {"KXA62_HW", 0, 3, 4}, {"KXD62_UNIT", 0, 1, 2}, {"KXD62_OTHER", 1, 26, 5}},
         true, false,
         "hardware Hardware ID|KXA62_HW| 000000|-|3|4\n"
         "Radio Application|ZMA2F_02.01|OK 000000|box|0|0\n"
         "Non Standard|KXD62_UNIT|OK 000000|box|1|2\n"
         "Non Standard|KXD62_OTHER|No code segments 0000ff|box|26|5\n",
         {2, 3}, "0102|KXD62_UNIT|1A05|KXD62_OTHER|"},
        {"nine, then KXA: left out", Nine(false, true), false, false, nine + "error 2\n", {}, ""},
        {"KXA, then nine: all shown", Nine(true, false), false, false,
         "hardware Hardware ID|KXA61_HW| 000000|-||\n" + nine, {}, ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRules rules;
        rules.Clear();
        EXPECT_EQ(rules.Fill(ListOf(c.list), c.kx6200, c.testMode), !c.shown.ends_with("error 2\n"));
        EXPECT_EQ(Shown(rules.Table()), c.shown);
        for (int row : c.ticked) rules.Tick(row, true);
        EXPECT_EQ(rules.EraseList(), c.erase);
        EXPECT_EQ(rules.Controls().erase, !c.ticked.empty());
        rules.Clear();
        EXPECT_EQ(rules.EraseList(), "");
    }
}

// What a file choice gives, the title line, and the controls while a command runs.
TEST(WindowRulesTest, FileChoiceTitleAndCommands) {
    const std::string tooLong(2049, 'n');
    struct Case {
        bool cancelled;
        std::vector<std::string> paths;
        std::string files;
        int32_t error;
        std::string status;
    };
    for (const Case& c : {
             Case{true, {"/f/a.s28"}, "", 31, "File selection cancelled"},
             Case{false, {}, "", 32, "No file has been selected"},
             Case{false, {"/" + tooLong}, "", 32, "No file has been selected"},
             Case{false, {"/f/a.s28"}, "/f/a.s28", 0, ""},
             Case{false, {"/f/a.s28", "/f/b.s28"}, std::string("/f\0a.s28\0b.s28", 14), 0, ""},
             Case{false, {"/a.s28", "/b.s28"}, std::string("/\0a.s28\0b.s28", 13), 0, ""},
         }) {
        FileChoice choice = ChosenFiles(c.cancelled, c.paths);
        EXPECT_EQ(choice.files, c.files);
        EXPECT_EQ(choice.error, c.error) << c.files;
        EXPECT_EQ(choice.status, c.status);
    }

    EXPECT_EQ(TextsFor(false, false).title, "KX6100 Download Component - v1.05.01");

    // Erase comes on by a tick only, never at a command's end; the window closes only while idle.
    WindowRules rules;
    rules.Tick(3, true);
    ASSERT_TRUE(rules.Begin());
    EXPECT_FALSE(rules.Begin());
    EXPECT_FALSE(rules.MayClose());
    CommandControls during = rules.Controls();
    EXPECT_FALSE(during.report || during.erase || during.download || during.port);
    rules.End();
    CommandControls after = rules.Controls();
    EXPECT_TRUE(after.report && !after.erase && after.download && after.port && rules.MayClose());
    rules.Tick(4, false);
    EXPECT_TRUE(rules.Controls().erase);  // row 3 is still ticked
}

}  // namespace
}  // namespace kx6000
