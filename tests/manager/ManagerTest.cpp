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
    EXPECT_EQ(ErrorStatusText(25), "Error 25 - Radio hardware mismatch");
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

}  // namespace
}  // namespace kx6000::test
