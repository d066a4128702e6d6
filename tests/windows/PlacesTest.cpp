// The component's fixed paths on Windows, in the letter case it writes them, moved by KX6000_ROOT.
#include "TestEnvironment.h"
#include "platform/win32/Text.h"
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

// A path of 260 characters or more reaches the system whole in the \\?\ form, which lifts Windows' limit; a
// shorter one, and one already in a form of the system's, as given.
TEST(SystemPathTest, LongPathsTakeTheLongForm) {
    const std::string folder(300, 'a');
    const std::wstring wide(300, L'a');
    const struct {
        std::string path;
        std::wstring expected;
    } cases[] = {
        {"C:\\radio\\app.s28", L"C:\\radio\\app.s28"},
        {"C:\\" + folder + "\\app.s28", L"\\\\?\\C:\\" + wide + L"\\app.s28"},
        {"C:/" + folder + "/./app.s28", L"\\\\?\\C:\\" + wide + L"\\app.s28"},
        {"C:\\" + folder + "\\..\\" + folder + "\\app.s28", L"\\\\?\\C:\\" + wide + L"\\app.s28"},
        {"\\\\server\\share\\" + folder, L"\\\\?\\UNC\\server\\share\\" + wide},
        {"\\\\?\\C:\\" + folder, L"\\\\?\\C:\\" + wide},
        {"\\\\.\\COM1", L"\\\\.\\COM1"},
    };
    for (const auto& c : cases) EXPECT_EQ(SystemPath(c.path), c.expected) << c.path.substr(0, 20);
}

}  // namespace
}  // namespace kx6000::test
