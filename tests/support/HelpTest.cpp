#include "TestEnvironment.h"
#include "support/modHelp.h"

namespace kx6000::test {
namespace {

class HelpTest : public ComponentTest {};

TEST_F(HelpTest, ShowsTheContentsAndTheTopicBesideTheProgram) {
    std::vector<std::string> opened;
    modHelp::SetOpener(
        [&opened](int32_t owner, const std::string& contents, const std::string& topic, int32_t context) {
            opened.push_back(std::to_string(owner) + " " + contents + " " + topic + " " +
                             std::to_string(context));
            return static_cast<int32_t>(opened.size());
        });
    const std::string contents = modHelp::GetHelpFilePath();
    ASSERT_TRUE(std::filesystem::is_regular_file(PathOf(contents))) << contents << ": beside the program";

    modHelp::SetApplicationHelpFile(contents);
    modHelp::ShowHelp(7, 2368, contents);
    modHelp::ShowHelp(7, 2368, "other.html");
    EXPECT_EQ(modHelp::HelpWindow(), 2) << "the newer window is kept";
    modHelp::ShowHelp(7, 0, "");  // no topic; an empty help file keeps the one given before
    const std::vector<std::string> expected = {"7 " + contents + " " + contents + " 2368",
                                               "7 other.html " + contents + " 2368",
                                               "7 other.html " + contents + " 0"};
    EXPECT_EQ(opened, expected);
}

}  // namespace
}  // namespace kx6000::test
