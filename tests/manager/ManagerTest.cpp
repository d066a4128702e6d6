#include <sys/file.h>

#include "TestEnvironment.h"
#include "manager/clsDLManager.h"
#include "port/PtyPeer.h"
#include "support/Errors.h"
#include "support/Paths.h"
#include "ui/ConsoleForm.h"

namespace kx6000::test {
namespace {

class ManagerTest : public ComponentTest {
protected:
    std::ostringstream out;
    std::istringstream in;
};

// True while some program holds the device for itself.
bool Held(const std::string& device) {
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

TEST_F(ManagerTest, StartsWithTheFirstModelAndNoErrorAndTheModelChoosesTheUpgradeApplication) {
    clsDLManager manager(std::make_unique<ConsoleForm>(ConsoleOptions{}, out, in));
    int32_t number = -1;
    std::string description;
    manager.GetLastError(number, description);
    EXPECT_EQ(std::tie(number, description), std::tuple(0, "Success"));
    EXPECT_FALSE(manager.Form().UIDisplay());
    EXPECT_EQ(Text(1016), "") << "loaded by no code";
    EXPECT_EQ(ErrorStatusText(25), "Error 25 - Radio hardware mismatch");
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

TEST_F(ManagerTest, PortNumbersMapToDevices) {
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(4), "/dev/ttyS3");
    WriteSettings("[KX6100_RLDC]\nPort1=/dev/ttyUSB0\n");
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyUSB0");
    setenv("KX6000_PORT1", "/dev/ttyACM0", 1);
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyACM0");
}

TEST_F(ManagerTest, OnlyPortsOneToFourAreTakenAndARefusalKeepsThePort) {
    PtyPeer peer;
    setenv("KX6000_PORT2", peer.Path().c_str(), 1);
    setenv("KX6000_PORT3", (folder / "ttyNone").c_str(), 1);
    clsDLManager manager(std::make_unique<ConsoleForm>(ConsoleOptions{}, out, in));
    const std::tuple<const char*, bool, int16_t> cases[] = {
        {"2", true, 0}, {"5", false, 11}, {"COM1", false, 11}, {" 1", false, 11}, {"2 ", true, 11}};
    for (auto [port, ui, result] : cases) {
        EXPECT_EQ(manager.SetPort(port, ui), result) << port;
        EXPECT_EQ(manager.Form().UIDisplay(), ui) << port;
        EXPECT_TRUE(Held(peer.Path())) << "the port opened first stays in use after '" << port << "'";
    }
    EXPECT_EQ(manager.SetPort("3", false), 11) << "a device that does not exist";
    EXPECT_FALSE(Held(peer.Path())) << "a new port object replaced the old one";
    std::string expected = "Ready\n";
    for (int i = 0; i < 5; ++i) expected += "Error 11 - Serial port does not exist\n";
    EXPECT_EQ(out.str(), expected);
}

}  // namespace
}  // namespace kx6000::test
