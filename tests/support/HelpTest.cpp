#include "TestEnvironment.h"
#include "support/modHelp.h"

namespace kx6000::test {
namespace {

class HelpTest : public ComponentTest {};

// What the windows ask of the help is their tests' to show; here the pages they open are beside the program.
TEST_F(HelpTest, TheContentsAreBesideTheProgram) {
    const std::string contents = modHelp::GetHelpFilePath();
    EXPECT_TRUE(std::filesystem::is_regular_file(PathOf(contents))) << contents;
}

}  // namespace
}  // namespace kx6000::test
