#include <sys/wait.h>

#include "TestEnvironment.h"

namespace kx6000::test {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class CliTest : public ComponentTest {
protected:
    Outcome Download(const std::string& arguments) {
        std::string command = std::string(KX6000_BIN_DIR) + "/kx6000-download " + arguments + " >" +
                              (folder / "out").string() + " 2>" + (folder / "err").string();
        int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder / "out"),
                ReadFile(folder / "err")};
    }
};

TEST_F(CliTest, VersionAndErrorTable) {
    Outcome version = Download("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "1.05.01\n");

    Outcome all = Download("error");
    EXPECT_EQ(all.status, 0);
    std::istringstream lines(all.out);
    std::vector<std::string> table;
    for (std::string line; std::getline(lines, line);) table.push_back(line);
    ASSERT_EQ(table.size(), 47u);
    EXPECT_EQ(table.front(), "0 - Success");
    EXPECT_EQ(table.back(),
              "8112 - Response - radio neck message operations for command exceeded specified timeouts");

    Outcome one = Download("error 8109");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out,
              "8109 - Response - trying to write to the FLASH when the addess has not been specified\n");
}

TEST_F(CliTest, WrongCommandLinesAreUsageErrors) {
    for (const char* arguments :
         {"error 7", "error x", "error 8110.5", "error -1", "error ''", "", "frobnicate"}) {
        Outcome run = Download(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_NE(run.err, "") << arguments;
    }
}

}  // namespace
}  // namespace kx6000::test
