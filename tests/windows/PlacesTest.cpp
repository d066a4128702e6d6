// The component's fixed paths on Windows, in the letter case it writes them, moved by KX6000_ROOT.
#include "TestEnvironment.h"
#include "support/Paths.h"

namespace kx6000::test {
namespace {

class PlacesTest : public ComponentTest {};

TEST_F(PlacesTest, FixedPathsAreOnTheSystemDrive) {
    const struct {
        const char* root;
        std::string (*place)(std::string_view);
        const char* name;
        const char* expected;
    } cases[] = {
        {"", RootPath, "ZMA1U.Srec", "C:\\ZMA1U.Srec"},
        {"", RootPath, "temp.int", "C:\\temp.int"},
        {"", LogPath, "KX6000Download.log", "c:\\KX6000Download.log"},
        {"D:\\radio", LogPath, "KX6000Config.log", "D:\\radio\\KX6000Config.log"},
    };
    for (const auto& c : cases) {
        SetEnvironment("KX6000_ROOT", c.root);
        EXPECT_EQ(c.place(c.name), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace kx6000::test
