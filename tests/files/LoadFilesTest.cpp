#include "TestEnvironment.h"
#include "files/FileHelpers.h"
#include "platform/Places.h"
#include "support/Errors.h"
#include "support/modRegistry.h"

namespace kx6000::test {
namespace {

const std::string kImage = "S0030000FC\r\nS1050000AABB95\r\nS9030000FC\r\n";

class LoadFilesTest : public ComponentTest {};

TEST_F(LoadFilesTest, SplitsTheThreeFormsOfAList) {
    using Paths = std::vector<std::string>;
    EXPECT_EQ(SplitFileList("/data/a.s19"), Paths{"/data/a.s19"});
    EXPECT_EQ(SplitFileList("/data/a.s19|b.s28"), (Paths{"/data/a.s19", "b.s28"}));
    const std::string data = std::string("/data") + kPathSeparator;
    EXPECT_EQ(SplitFileList(std::string("/data\0a.s19\0b.s28", 17)), (Paths{data + "a.s19", data + "b.s28"}));
    EXPECT_EQ(SplitFileList(std::string("/\0a.s19", 7)), Paths{"/a.s19"})
        << "a root joins without a separator";
}

TEST_F(LoadFilesTest, OnlyVisibleRegularFilesExist) {
    for (const char* name : {"app.s28", ".hidden.s28", "odd[1].s28", "M\xc3\xbcller.s28"})
        WriteFile(folder / PathOf(name), kImage);
    std::filesystem::create_directories(folder / "dir.s28");
    const std::pair<const char*, bool> cases[] = {
        {"app.s28", true},
        {".hidden.s28", false},
        {"dir.s28", false},
        {"none.s28", false},
        {"*.s28", true},
        {"a?p.s2*", true},
        {"*.s19", false},
        {"odd[1].s28", true},
        {"odd[1]*", true},
        {"odd1.s28", false},
        {"M\xc3\xbcller.s28", true},
        {"M*ller.s28", true},
    };
    for (auto [name, exists] : cases) EXPECT_EQ(FileExists(NameOf(folder / PathOf(name))), exists) << name;
}

TEST_F(LoadFilesTest, LoadsEveryFileAndReportsTheFirstFailure) {
    WriteFile(folder / "good.s19", kImage);
    WriteFile(folder / "bad.s19", "junk\r\n");
    const std::string good = (folder / "good.s19").string(), bad = (folder / "bad.s19").string(),
                      missing = (folder / "missing.s19").string();
    const std::tuple<std::string, int16_t, int32_t, bool> cases[] = {
        // the list, the result, the images kept, and whether the window is in use: only then is LastFile kept
        {good + "|" + good + "1", 33, 1, false}, {good, 0, 1, false},
        {missing + "|" + good, 33, 1, false},    {bad + "|" + missing + "|" + good, 34, 1, false},
        {missing + "|" + good, 33, 1, true},
    };
    for (const auto& [list, result, images, window] : cases) {
        clsDLManager& manager = NewManager();
        if (window) manager.SetPort("9", true);  // refused, but the window is in use now
        out.str("");
        EXPECT_EQ(manager.LoadFiles(list), result) << list;
        EXPECT_EQ(manager.LoadedFiles()->Count(), images) << list;
        std::string validating;
        for (size_t i = 0; i < SplitFileList(list).size(); ++i) validating += "Validating file...\n";
        EXPECT_EQ(out.str(), validating + (result == 0 ? "Ready" : ErrorStatusText(result)) + "\n") << list;
        EXPECT_EQ(modRegistry::GetRegistryValue("LastFile", "none") != "none", window) << list;
    }
    EXPECT_EQ(modRegistry::GetRegistryValue("LastFile", ""), missing)
        << "stored before any file is looked at";
}

TEST_F(LoadFilesTest, CollectionsRefuseWhatTheyDoNotHold) {
    colFiles files;
    for (const char* name : {"/data/A.s19", "/data/b.s19", "/DATA/a.S19"})
        files.Add(std::make_shared<clsFile>(), name);
    EXPECT_EQ(files.Count(), 2);
    EXPECT_EQ(files.Item(2)->Name, "/DATA/a.S19") << "a replaced entry moves to the end";
    auto number = [](auto&& call) {
        try {
            call();
        } catch (const RuntimeFailure& failure) {
            return failure.number;
        }
        return 0;
    };
    EXPECT_EQ(number([&] { files.Item("/data/c.s19"); }), 5);
    EXPECT_EQ(number([&] { files.Item(3); }), 5);
    colDataBlocks blocks;
    blocks.Add("AABB");
    EXPECT_EQ(number([&] { blocks.Item(blocks.Count()); }), 5);
    EXPECT_EQ(colDataBlocks().GetAllData(), "");
}

TEST_F(LoadFilesTest, TemporaryFilesAreDeleted) {
    for (const char* name : {"temp.int", "temp.ua"}) WriteFile(root / name, "x");
    DeleteTempFiles();
    EXPECT_TRUE(std::filesystem::is_empty(root));
}

}  // namespace
}  // namespace kx6000::test
