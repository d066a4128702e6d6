#include "TestEnvironment.h"
#include "support/modHelp.h"

namespace kx6000::test {
namespace {

class HelpTest : public ComponentTest {};

TEST_F(HelpTest, ShowsTheTopicAloneBesideTheProgram) {
    std::vector<std::string> opened;
    modHelp::SetOpener([&opened](const std::string& address) {
        opened.push_back(address);
        return static_cast<int32_t>(opened.size());
    });
    const std::string folder = std::string(KX6000_BIN_DIR) + "/kx6kd_en/";
    const std::string contents = modHelp::GetHelpFilePath();
    ASSERT_EQ(contents, folder + "index.html");
    ASSERT_TRUE(std::filesystem::exists(folder + "2368.html"));

    modHelp::SetApplicationHelpFile(contents);
    modHelp::ShowHelp(0, 2368, contents);
    modHelp::ShowHelp(0, 2368, contents);
    EXPECT_EQ(modHelp::HelpWindow(), 2) << "the newer window is kept";
    modHelp::ShowHelp(0, 0, "");  // no topic; an empty help file keeps the one given before
    const std::vector<std::string> expected = {folder + "2368.html", folder + "2368.html", contents};
    EXPECT_EQ(opened, expected);
}

}  // namespace
}  // namespace kx6000::test
