#include "protocol/RadioTestBase.h"

namespace kx6000::test {
namespace {

using ManagerTest = ComponentTest;

TEST_F(ManagerTest, StartsWithTheFirstModelAndNoErrorAndTheModelChoosesTheUpgradeApplication) {
    clsDLManager& manager = NewManager();
    int32_t number = -1;
    std::string description;
    manager.GetLastError(number, description);
    EXPECT_EQ(std::tie(number, description), std::tuple(0, "Success"));
    EXPECT_FALSE(manager.Form().UIDisplay());
    EXPECT_EQ(Text(1016), "") << "loaded by no code";
    EXPECT_EQ(manager.RadioType(), RADIO_FMX);
    EXPECT_EQ(manager.UpgradeFileName(), (root / "ZMA1U.Srec").string());
    const std::pair<int32_t, const char*> cases[] = {
        {6200, "ZMA2U.Srec"}, {6100, "ZMA1U.Srec"}, {7000, "ZMA2U.Srec"}, {0, "ZMA2U.Srec"}};
    for (auto [type, file] : cases) {
        manager.RadioType(static_cast<enmRadioType>(type));
        EXPECT_EQ(manager.RadioType(), type);
        EXPECT_EQ(manager.UpgradeFileName(), (root / file).string()) << type;
    }
}

TEST_F(ManagerTest, OnlyPortsOneToFourAreTakenAndARefusalKeepsThePort) {
    sim::SimulatedRadio peer;
    SetEnvironment("KX6000_PORT2", peer.DevicePath());
    SetEnvironment("KX6000_PORT3", NameOf(folder / "ttyNone"));
    clsDLManager& manager = NewManager();
    const std::tuple<const char*, bool, int16_t> cases[] = {
        {"2", true, 0}, {"5", false, 11}, {"COM1", false, 11}, {" 1", false, 11}, {"2 ", true, 11}};
    for (auto [port, ui, result] : cases) {
        EXPECT_EQ(manager.SetPort(port, ui), result) << port;
        EXPECT_EQ(manager.Form().UIDisplay(), ui) << port;
        EXPECT_TRUE(Held(peer.DevicePath())) << "the port opened first stays in use after '" << port << "'";
    }
    EXPECT_EQ(manager.SetPort("3", false), 11) << "a device that does not exist";
    EXPECT_FALSE(Held(peer.DevicePath())) << "a new port object replaced the old one";
    std::string expected = "Ready\n";
    for (int i = 0; i < 5; ++i) expected += "Error 11 - Serial port does not exist\n";
    EXPECT_EQ(out.str(), expected);
}

}  // namespace
}  // namespace kx6000::test
