#include <algorithm>
#include <regex>

#include "TestEnvironment.h"
#include "files/FileChecks.h"
#include "files/FileHelpers.h"
#include "files/SRecords.h"
#include "support/Hex.h"

namespace kx6000::test {
namespace {

std::string Bytes(size_t n) {
    return std::string(2 * n, 'A');
}

class ParserTest : public ComponentTest {
protected:
    void SetUp() override { ComponentTest::SetUp(), NewManager(); }
    // Parses `content` as the file `name` (a new file each time by default) and gives LastError.
    int32_t Parse(const std::string& content, std::string name = "") {
        if (name.empty()) name = "image" + std::to_string(++files) + ".s19";
        path = (folder / name).string();
        WriteFile(path, content);
        manager->ValidFile(path);
        return LastError;
    }
    const clsFile& Image(const std::string& key) const { return *manager->LoadedFiles()->Item(key); }

    std::string path;
    int files = 0;
};

TEST_F(ParserTest, EveryKindOfBrokenFileGetsItsNumber) {
    std::string garbage;
    for (uint32_t i = 0; i < 1u << 20; ++i) garbage += static_cast<char>(i * 7919u % 251u);
    const std::string image = Header("APP") + Rec("S1", 0x100, Bytes(4)) + Rec("S9", 0, "");
    const std::string lineFeed = "line feed without carriage return";
    auto a = [](const std::string& lines) { return Header("A") + lines + Rec("S9", 0, ""); };
    struct Case {
        const char* what;
        std::string content;
        int32_t result;
        int32_t line = 0;         // of the failure; 0: the file as a whole
        std::string reason = "";  // part of the failure's reason
    };
    const Case cases[] = {
        {"valid", image, 0},
        {"CR line ends",
         "//x\r" + Header("A").substr(0, Header("A").size() - 1) + "S1070100AAAAAAAA00\rS9030000FC", 0},
        {"comments and blank lines around", "// c\r\nCI x\r\n\r\n" + image + "\r\n// end\r\nMD x\r\n", 0},
        {"empty file", "", 34, 0, "no image in the file"},
        {"comments only", "// c\r\nCI x\r\n", 34, 0, "no image in the file"},
        {"header without data", Header("APP"), 34, 1, "\"S0\" line without data records"},
        {"lone S0 after an image", image + Header("NEXT"), 34, 4, "\"S0\" line without data records"},
        {"data before any S0", Rec("S1", 0x100, Bytes(4)) + image, 33, 1,
         "a data record before the first \"S0\" line"},
        {"line feeds only", std::regex_replace(image, std::regex("\r\n"), "\n"), 34, 1, lineFeed},
        {"line feeds only, data first",
         std::regex_replace(Rec("S1", 0, Bytes(2)) + image, std::regex("\r\n"), "\n"), 33, 1, lineFeed},
        {"a line feed hides the terminator", Header("A") + "S1050000AAAA4B\nS9030000FC", 33, 2, lineFeed},
        {"lower-case type", a("s1070100AAAAAAAA00\r\n"), 34, 2, "unknown line type \"s1\""},
        {"unknown line type", "XX\r\n" + image, 34, 1, "unknown line type \"XX\""},
        {"data after a terminator", image + Rec("S1", 0x200, Bytes(4)), 34, 4,
         "after the terminator on line 3 without a new \"S0\" line"},
        {"comment among data", a(Rec("S1", 0, Bytes(2)) + "// x\r\n"), 34, 3, "found \"//\""},
        {"other record type among data", Header("A") + Rec("S1", 0, Bytes(2)) + Rec("S2", 2, Bytes(2)), 34, 3,
         "found \"S2\""},
        {"width not a number", "DWxx\r\n" + image, 33, 1, "the \"DW\" width \"xx\" is not a decimal number"},
        {"width 0 at a record", a("DW 0\r\n" + Rec("S1", 0, Bytes(2))), 34, 2,
         "a word of 0 bits holds no whole byte"},
        {"address not hex", a("S1070G00AAAAAAAA00\r\n"), 34, 2, "the address is not 4 hex digits"},
        {"data not hex", a("S1070100AAAAAXAA00\r\n"), 34, 2, "the data holds \"X\", not a hex digit"},
        {"data cut short at a blank", a("S1070100AAAA \r\n"), 34, 2, "the data holds \" \", not a hex digit"},
        {"count too small", a("S1010100\r\n"), 34, 2,
         "the count 01 is too small to hold the address and the checksum"},
        {"header record too short", "S003000\r\n" + Rec("S1", 0, Bytes(2)) + Rec("S9", 0, ""), 34, 1,
         "an \"S0\" line of fewer than 10 characters"},
        {"binary garbage", garbage, 34, 1, lineFeed},
        {"a line at the bound", "// " + std::string(65533, 'x') + "\r\n" + image, 0},
        {"one line of 200 KiB", "// " + std::string(200 << 10, 'x'), 34, 1,
         "line 1 is longer than 65536 characters; no record is longer than 514"},
        {"a line one past the bound", image + "// " + std::string(65534, 'x') + "\r\n" + image, 34, 4,
         "line 4 is longer than 65536"},
        {"a long data record before any S0", "S1" + std::string(200 << 10, 'A') + "\r\n" + image, 34, 1,
         "longer than 65536"},
        {"a long data record, no terminator", Header("A") + "S1" + std::string(200 << 10, 'A'), 34, 2,
         "longer than 65536"},
        {"line feeds only, long",
         std::regex_replace(image, std::regex("\r\n"), "\n") + std::string(100 << 10, '\n'), 34, 1,
         "it holds line feeds without carriage returns"},
        {"ends inside a record", "// c\r\n" + Header("A") + "S1070100AA", 33, 2,
         "no \"S9\" terminator for the image \"A\" begun at line 2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.content), c.result) << c.what;
        const FileCheck check = CheckFiles({path}, false).files.at(0);  // the parse explaining itself
        const FileNotes& notes = check.notes;
        EXPECT_EQ(check.result, c.result) << c.what;
        ASSERT_EQ(notes.failure.has_value(), c.result != 0)
            << c.what << ": " << notes.failure.value_or(FileNote{}).text;
        if (!notes.failure) continue;
        EXPECT_EQ(notes.failure->line, c.line) << c.what;
        EXPECT_NE(notes.failure->text.find(c.reason), std::string::npos)
            << c.what << ": " << notes.failure->text;
    }
}

// A flaw that loses data is refused, the run with it, and said as an error on its line before any radio is
// touched; what loses nothing is only a warning.
TEST_F(ParserTest, ToleratedFlawsAndRefusedDataAreNamedByLine) {
    struct Case {
        const char* what;
        std::string content;
        std::vector<std::string> said{};  // the beginnings of the lines said, "@" for the file
    };
    std::string badChecksums, longLines;
    std::vector<std::string> kept;
    for (int32_t i = 0; i < 12; ++i) {
        badChecksums += Rec("S1", 2 * i, Bytes(4)).replace(16, 2, "00");
        if (i < 10) kept.push_back("@:" + std::to_string(2 + i) + ": warning: checksum is 00");
        longLines += Rec("S1", i, Bytes(2)).insert(12, "00");
    }
    kept.push_back("@: 2 more warnings");
    const std::string end = Rec("S9", 0, ""), record = Rec("S1", 2, Bytes(4)),
                      path = (folder / "flawed.s19").string();
    auto a = [&end](const std::string& lines) { return Header("A") + lines + end; };
    const Case cases[] = {
        {"clean", Header("APP") + Rec("S1", 0, Bytes(4)) + end},
        {"blanks and a line feed at a line's end", a(record.substr(0, 18) + " \t\n\r\n")},
        {"short line: count too big, data cut short",
         a("S1090100AAAAAAAA4D\r\n"),
         {"@:2: error: the count says 9 bytes (18 digits) follow it, the line holds 14 characters after it",
          "@:2: error: the table at address 0x00000100 holds 10 data digits, not whole 4-digit words"}},
        {"odd number of digits",
         a("S1070100AAAAAAA00\r\n"),
         {"@:2: error: the count says 7 bytes (14 digits) follow it, the line holds 13 characters after it"}},
        {"a line feed alone swallows the next record",
         a(Rec("S1", 0, Bytes(4)).substr(0, 18) + "\n" + record + Rec("S1", 4, Bytes(4))),
         {"@:2: error: line feed without carriage return: what follows it is read as part of this line",
          "@:2: error: the count says 7 bytes (14 digits) follow it, the line holds 33 characters after it"}},
        {"bytes that are no whole word",
         a(Rec("S1", 0, Bytes(3))),
         {"@:2: error: 3 data bytes are not whole 16-bit words: the last 1 would be left out"}},
        {"8-bit bytes that are no whole radio word",
         "DW 8\r\n" + a(Rec("S1", 0, Bytes(4)) + Rec("S1", 0x10, Bytes(1)) + Rec("S1", 0x11, Bytes(2))),
         {"@:4: error: the table at address 0x00000010 holds 6 data digits"}},
        {"a line feed inside a comment",
         "// a\nb\r\n" + a(Rec("S1", 0, Bytes(2))),
         {"@:1: error: line feed without carriage return"}},
        {"only the first warnings are kept", a(badChecksums), kept},
        {"each kind of refused line is named once",
         a(longLines),
         {"@:2: error: the count says 5 bytes (10 digits) follow it, the line holds 12 characters after "
          "it (and 11 more lines like it)"}},
        {"a second image writing addresses of the first",
         a(Rec("S1", 0, Bytes(8))) + Header("B") + Rec("S1", 2, Bytes(4)) + end,
         {"@: error: @ [A] and @ (image 2) [B] both write the addresses 0x2 to 0x3"}},
    };
    for (const Case& c : cases) {
        WriteFile(path, c.content);
        RunCheck run = CheckFiles({path}, false);
        ASSERT_EQ(run.files.at(0).result, 0) << c.what;
        std::vector<std::string> said = CheckLines(run.files, true);
        for (std::string& line : said)
            for (size_t at; (at = line.find(path)) != std::string::npos;) line.replace(at, path.size(), "@");
        // An error refuses the run: 34, or 52 for images of the run writing the same addresses.
        const bool refused = std::ranges::any_of(
            c.said, [](auto& line) { return line.find(": error: ") != std::string::npos; });
        EXPECT_EQ(RunResult(run.files), !refused ? 0 : c.said[0].starts_with("@: ") ? 52 : 34) << c.what;
        ASSERT_EQ(said.size(), c.said.size()) << c.what << ": " << (said.empty() ? "" : said[0]);
        for (size_t i = 0; i < said.size(); ++i)
            EXPECT_TRUE(said[i].starts_with(c.said[i])) << c.what << ": " << said[i];
    }
}

// Runs split by gaps are the cross-check's; here the blocks of a long run and the edges of the address space.
TEST_F(ParserTest, RecordsGatherIntoRunsOfBlocks) {
    struct Case {
        const char* what;
        std::string type;
        std::vector<std::pair<uint32_t, std::string>> runs;  // written as records of eight words
        std::vector<std::pair<int32_t, int32_t>> tables;     // start address, length in words
        std::vector<size_t> lastTableBlocks;                 // digits per block of the last table
    };
    const Case cases[] = {
        {"300 records",
         "S2",
         {{0x10000, Bytes(4800)}},
         {{0x10000, 2400}},
         {1020, 1020, 1020, 1020, 1020, 1020, 1020, 1020, 1020, 420}},
        {"odd byte dropped", "S1", {{0, Bytes(15)}}, {{0, 7}}, {28}},
        {"first record at 0x7FFFFFFF", "S3", {{0x7FFFFFFF, Bytes(2)}}, {{0x7FFFFFFF, 1}}, {4}},
        {"negative address", "S3", {{0xFFFFFFFE, Bytes(4)}}, {{-2, 2}}, {8}},
    };
    for (const Case& c : cases) {
        const std::string text = ImageText("APP", c.type, c.runs);
        ASSERT_EQ(Parse(text), 0) << c.what;
        const clsFile& file = Image(path);
        EXPECT_EQ(file.strFileType, c.type);
        EXPECT_TRUE(text.ends_with(Rec(file.strFileTerminator, 0, ""))) << c.what;
        const colDefTables& tables = file.Definitiontables();
        ASSERT_EQ(tables.Count(), static_cast<int32_t>(c.tables.size())) << c.what;
        for (int32_t t = 0; t < tables.Count(); ++t) {
            EXPECT_EQ(tables.Item(t).Address, std::to_string(c.tables[t].first)) << c.what;
            EXPECT_EQ(tables.Item(t).Length, c.tables[t].second) << c.what;
        }
        const colDataBlocks& blocks = *tables.Item(tables.Count() - 1).DataBlocks;
        std::vector<size_t> sizes;
        for (int32_t b = 0; b < blocks.Count(); ++b) sizes.push_back(blocks.Item(b).size());
        EXPECT_EQ(sizes, c.lastTableBlocks) << c.what;
    }
}

TEST_F(ParserTest, ImagesTakeKeysWidthAndDeviceCodes) {
    std::string content = "MD KXA12 no comma\r\n" + Header("  FIRST  ") + "DW 8\r\n" + Rec("S1", 0, "aabb") +
                          Rec("S9", 0, "") + "MD  KXA12,05\r\n" + Header("SECOND") + Rec("S2", 0, Bytes(2)) +
                          Rec("S8", 0, "");
    ASSERT_EQ(Parse(content, "Two.S28"), 0);
    const clsFile& first = Image(path);
    EXPECT_EQ(std::tuple(first.TagName, first.strHardware), std::tuple("FIRST", ""));
    EXPECT_EQ(first.intNumberOfBits(), 16) << "a DW line after S0 changes the reading only";
    EXPECT_EQ(first.Definitiontables().Item(0).Length, 2) << "read as 8-bit words";
    EXPECT_EQ(first.Definitiontables().Item(0).DataBlocks->Item(0), "AABB") << "upper case";
    const clsFile& second = Image(path + "1");
    EXPECT_EQ(
        std::tuple(second.intNumberOfBits(), second.strHardware, second.strDeviceID, second.strNetWorkID),
        std::tuple(8, "KXA12", "05", "00"));
    EXPECT_EQ(Image(NameOf(folder / "two.s28")).Name, path) << "keys ignore letter case";
}

TEST_F(ParserTest, TagSearchFindsTheTagOnTheWordGrid) {
    // The marker, then a blank word, "ZMA1" and a blank word.
    const std::string marker = "2A2F69426262456C2F2A", found = marker + "0000005A004D004100310000";
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, std::string>> runs;  // word address, data
        int32_t radio;
        std::string header, tagName;
    };
    const Case cases[] = {
        {"found", {{0, "1234" + found}}, 6100, "APP", "ZMA1"},
        {"off the grid", {{0, "12" + found + "12"}}, 6100, "APP", "APP"},
        {"no blank word after the tag", {{0, marker + "005A004D"}}, 6100, "APP", ""},
        {"second table only", {{0, "1111"}, {0x100, found}}, 6100, "APP", "ZMA1"},
        {"across a block boundary", {{0, std::string(1016, '1') + found}}, 6100, "APP", "ZMA1"},
        {"second model", {{0, found}}, 6200, "APP", "APP"},
        {"header already ZMA", {{0, found}}, 6100, "ZMA2F", "ZMA2F"},
    };
    for (const Case& c : cases) {
        manager->RadioType(static_cast<enmRadioType>(c.radio));
        ASSERT_EQ(Parse(ImageText(c.header, "S1", c.runs)), 0) << c.what;
        EXPECT_EQ(Image(path).TagName, c.tagName) << c.what;
    }
}

TEST_F(ParserTest, WhatIsNoRegularFileIsRefused) {
    std::filesystem::create_directories(folder / "dir");
    // Devices are not woken nor read for ever: /dev/zero here, NUL (in any folder) and COM1 on Windows.
    for (const std::string& path : {NameOf(folder / "dir"), NameOf(folder / "none"), NameOf(folder / "NUL"),
                                    std::string("/dev/zero"), std::string("COM1")}) {
        manager->ValidFile(path);
        EXPECT_EQ(LastError, 33) << path;
    }
}

}  // namespace
}  // namespace kx6000::test
