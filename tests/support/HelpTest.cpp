#include "TestEnvironment.h"
#include "support/modHelp.h"

namespace kx6000::test {
namespace {

class HelpTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        modHelp::SetOpener([this](const std::string& address) {
            opened.push_back(address);
            return static_cast<int32_t>(opened.size());
        });
    }
    std::vector<std::string> opened;
};

TEST_F(HelpTest, ShowsContentsThenTheTopic) {
    struct Case {
        int32_t context;
        std::string helpFile;
        std::vector<std::string> opened;
    };
    const Case cases[] = {
        {2368, "/opt/kx/kx6kd_en/index.html", {"/opt/kx/kx6kd_en/index.html", "/opt/kx/kx6kd_en/2368.html"}},
        {0, "/opt/kx/kx6kd_en/index.html", {"/opt/kx/kx6kd_en/index.html"}},
        // An empty help file keeps the one given before.
        {0, "", {"/opt/kx/kx6kd_en/index.html"}},
    };
    modHelp::SetApplicationHelpFile("/opt/kx/kx6kd_en/index.html");
    for (const Case& c : cases) {
        opened.clear();
        modHelp::ShowHelp(0, c.context, c.helpFile);
        EXPECT_EQ(opened, c.opened) << c.context << " '" << c.helpFile << "'";
    }
}

TEST_F(HelpTest, KeepsTheNewerWindowAndFindsThePagesBesideTheProgram) {
    std::string path = modHelp::GetHelpFilePath();
    modHelp::SetApplicationHelpFile(path);
    modHelp::ShowHelp(0, 2368, path);
    modHelp::ShowHelp(0, 2368, path);
    EXPECT_EQ(modHelp::HelpWindow(), 3);  // the second contents call's handle
    EXPECT_EQ(path, std::string(KX6000_BIN_DIR) + "/kx6kd_en/index.html");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::exists(std::string(KX6000_BIN_DIR) + "/kx6kd_en/2368.html"));
}

}  // namespace
}  // namespace kx6000::test
