#include <csignal>
#include <thread>

#include "TestEnvironment.h"

namespace kx6000::test {
namespace {

class ConsoleFormTest : public ComponentTest {
protected:
    ConsoleForm& NewForm(ConsoleOptions options) {
        return static_cast<ConsoleForm&>(NewManager(options).Form());
    }
};

TEST_F(ConsoleFormTest, StatusTextsAreLinesAndEmptyMeansReady) {
    WriteSettings("[KX6100_RLDC]\nDebug=True\n");
    ConsoleForm& form = NewForm({});
    DownloadLog.OpenLogFile();
    form.StatusPanelStatus("Resetting radio...");
    form.StatusPanelStatus("");
    form.StatusPanelBaud("");
    form.StatusPanelTag("anything");
    form.ProgressBar(50);  // no terminal: no bar
    DownloadLog.CloseLogFile();
    EXPECT_EQ(out.str(), "Resetting radio...\nReady\n");
    const std::string log = ReadFile(root / "KX6000Download.log");
    EXPECT_NE(log.find(" Ready\r\n", log.find(" Resetting radio...\r\n")), std::string::npos) << log;
}

TEST_F(ConsoleFormTest, QuestionsAreAnsweredOnTheTerminalOrNo) {
    // The options, what is typed, the answer.
    for (auto [options, typed, answer] :
         {std::tuple<ConsoleOptions, const char*, bool>{{.canAsk = true}, "y\n", true},
          {{.canAsk = true}, "yes\n", true},
          {{.canAsk = true}, "\n", false},
          {{.canAsk = true}, "", false},
          {{.canAsk = false}, "y\n", false},
          {{.quiet = true, .canAsk = true}, "y\n", true}}) {
        in.clear();
        in.str(typed);
        EXPECT_EQ(NewForm(options).AskYesNo("Continue? "), answer) << typed;
    }
}

TEST_F(ConsoleFormTest, TheWaitWindowEndsWithAStopOrItsTime) {
    IWaitWindow& wait = NewForm({.powerCycleWait = 1}).WaitWindow();
    wait.SetMessage("Please power cycle the radio to continue ...");
    wait.Show();
    EXPECT_FALSE(wait.IsCancelled());
    std::this_thread::sleep_for(std::chrono::milliseconds(1050));
    EXPECT_TRUE(wait.IsCancelled()) << "its time is up";
    wait.Show();
    EXPECT_FALSE(wait.IsCancelled()) << "showing starts the time again";
    StopRequested = SIGINT;
    EXPECT_TRUE(wait.IsCancelled()) << "a stop";
    const std::string line = "Please power cycle the radio to continue ... (Ctrl-C to stop)\n";
    EXPECT_EQ(out.str(), line + line);
}

}  // namespace
}  // namespace kx6000::test
