#include <sys/file.h>

#include "TestEnvironment.h"
#include "manager/clsDLManager.h"
#include "port/PtyPeer.h"
#include "support/Paths.h"
#include "ui/ConsoleForm.h"

namespace kx6000::test {
namespace {

class SetPortTest : public ComponentTest {
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

TEST_F(SetPortTest, PortNumbersMapToDevices) {
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(4), "/dev/ttyS3");
    WriteSettings("[KX6100_RLDC]\nPort1=/dev/ttyUSB0\n");
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyUSB0");
    setenv("KX6000_PORT1", "/dev/ttyACM0", 1);
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyACM0");
    unsetenv("KX6000_PORT1");
}

TEST_F(SetPortTest, OnlyOneToFourAreTakenAndARefusalKeepsThePort) {
    PtyPeer peer;
    setenv("KX6000_PORT2", peer.Path().c_str(), 1);
    setenv("KX6000_PORT3", (folder / "ttyNone").c_str(), 1);
    clsDLManager manager(std::make_unique<ConsoleForm>(ConsoleOptions{}, out, in));
    struct Case {
        const char* port;
        bool ui;
        int16_t result;
    };
    const Case cases[] = {
        {"2", true, 0}, {"5", false, 11}, {"COM1", false, 11}, {" 1", false, 11}, {"2 ", true, 11}};
    for (const Case& c : cases) {
        EXPECT_EQ(manager.SetPort(c.port, c.ui), c.result) << c.port;
        EXPECT_EQ(manager.Form().UIDisplay(), c.ui) << c.port;
        EXPECT_TRUE(Held(peer.Path())) << "the port opened first stays in use after '" << c.port << "'";
    }
    EXPECT_EQ(manager.SetPort("3", false), 11) << "a device that does not exist";
    EXPECT_FALSE(Held(peer.Path())) << "a new port object replaced the old one";
    std::string expected = "Ready\n";
    for (int i = 0; i < 5; ++i) expected += "Error 11 - Serial port does not exist\n";
    EXPECT_EQ(out.str(), expected);
    unsetenv("KX6000_PORT2");
    unsetenv("KX6000_PORT3");
}

}  // namespace
}  // namespace kx6000::test
