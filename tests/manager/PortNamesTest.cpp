// Ports 1 to 4 by the names Linux gives serial devices.

#include "TestEnvironment.h"
#include "support/Paths.h"

namespace kx6000::test {
namespace {

class PortNamesTest : public ComponentTest {};

TEST_F(PortNamesTest, PortNumbersMapToDevices) {
    EXPECT_EQ(PortDevicePath(1), "");
    WriteSettings("[KX6100_RLDC]\nPort1=/dev/ttyUSB0\n");
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyUSB0");
    SetEnvironment("KX6000_PORT1", "/dev/ttyACM0");
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyACM0");
}

}  // namespace
}  // namespace kx6000::test
