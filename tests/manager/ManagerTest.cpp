#include "TestEnvironment.h"
#include "manager/clsDLManager.h"
#include "support/Errors.h"
#include "ui/ConsoleForm.h"

namespace kx6000::test {
namespace {

class ManagerTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        manager = std::make_unique<clsDLManager>(std::make_unique<ConsoleForm>(ConsoleOptions{}, out, in));
    }
    std::ostringstream out;
    std::istringstream in;
    std::unique_ptr<clsDLManager> manager;
};

TEST_F(ManagerTest, StartsWithTheFirstModelAndNoError) {
    int32_t number = -1;
    std::string description;
    manager->GetLastError(number, description);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(description, "Success");
    EXPECT_EQ(manager->RadioType(), RADIO_FMX);
    EXPECT_EQ(manager->UpgradeFileName(), (root / "ZMA1U.Srec").string());
    EXPECT_FALSE(manager->Form().UIDisplay());
    EXPECT_EQ(Text(2021), "Configuration(s) succesfully erased");
    EXPECT_EQ(Text(1016), "") << "loaded by no code";
}

TEST_F(ManagerTest, RadioTypeChoosesTheUpgradeApplication) {
    struct Case {
        int32_t type;
        const char* file;
    };
    const Case cases[] = {
        {6200, "ZMA2U.Srec"}, {6100, "ZMA1U.Srec"}, {7000, "ZMA2U.Srec"}, {0, "ZMA2U.Srec"}};
    for (const Case& c : cases) {
        manager->RadioType(static_cast<enmRadioType>(c.type));
        EXPECT_EQ(manager->RadioType(), c.type);
        EXPECT_EQ(manager->UpgradeFileName(), (root / c.file).string()) << c.type;
    }
}

TEST_F(ManagerTest, LastErrorStaysUntilSomethingClearsIt) {
    LastError = 25;
    for (int i = 0; i < 2; ++i) {
        int32_t number = 0;
        std::string description;
        manager->GetLastError(number, description);
        EXPECT_EQ(number, 25);
        EXPECT_EQ(description, "Radio hardware mismatch");
    }
    EXPECT_EQ(ErrorStatusText(25), "Error 25 - Radio hardware mismatch");
}

TEST_F(ManagerTest, RotationWithoutALogMakesNoPreviousLog) {
    manager->CreateNewLogFile();
    EXPECT_FALSE(std::filesystem::exists(root / "KX6000Download_Previous.log"));

    WriteFile(root / "KX6000Download.log", "old\r\n");
    WriteFile(root / "KX6000Download_Previous.log", "older\r\n");
    manager->CreateNewLogFile();
    EXPECT_EQ(ReadFile(root / "KX6000Download_Previous.log"), "old\r\n");
    EXPECT_FALSE(std::filesystem::exists(root / "KX6000Download.log"));
}

}  // namespace
}  // namespace kx6000::test
