// The serial devices found in a device tree the test makes, and what ports 1 to 4 reach among them.

#include <array>

#include "DeviceTree.h"
#include "TestEnvironment.h"
#include "support/Paths.h"

namespace kx6000::test {
namespace {

const std::string kFtdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A601F1XZ-if00-port0";
const std::string kCp2102 =
    "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0";

class PortNamesTest : public ComponentTest {};

TEST_F(PortNamesTest, DiscoveryReadsSysfsAndStableNames) {
    MakeLaptop(folder / "devices");
    struct Row {
        std::string device, stableName;
        PortKind kind;
        std::string description;
        std::optional<int> latency;
    };
    const Row wanted[] = {
        {"/dev/ttyUSB1", kFtdi, PortKind::UsbAdapter, "FTDI FT232R USB UART", 16},
        {"/dev/ttyUSB0",
         kCp2102,
         PortKind::UsbAdapter,
         "Silicon Labs CP2102 USB to UART Bridge Controller",
         {}},
        {"/dev/ttyACM0", "", PortKind::UsbModem, "USB modem 1d6b:0104", {}},
        {"/dev/ttyS0", "", PortKind::Uart, "this machine's serial port", {}},
        {"/dev/ttyS2", "", PortKind::Uart, "this machine's serial port", {}},
        {"/dev/ttyS10", "", PortKind::Uart, "this machine's serial port", {}},
    };
    const std::vector<SerialPortInfo> found = SerialPorts();
    ASSERT_EQ(found.size(), std::size(wanted));
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(wanted[i].device);
        EXPECT_EQ(found[i].device, wanted[i].device);
        EXPECT_EQ(found[i].stableName, wanted[i].stableName);
        EXPECT_EQ(found[i].kind, wanted[i].kind);
        EXPECT_EQ(found[i].description, wanted[i].description);
        EXPECT_EQ(found[i].latencyTimer, wanted[i].latency);
    }
}

// The environment before the settings before the devices found, which fill the ports in their order.
TEST_F(PortNamesTest, PortsReachTheDevicesFoundUnlessNamed) {
    using enum PortSource;
    const std::string ftdi = "/dev/ttyUSB1 (FTDI FT232R USB UART)",
                      cp2102 = "/dev/ttyUSB0 (Silicon Labs CP2102 USB to UART Bridge Controller)",
                      none = "no serial device found";
    struct Case {
        bool devices;
        std::string settings, port2;  // the settings file, KX6000_PORT2
        std::array<std::string, 4> reached;
        std::array<PortSource, 4> why;
    } cases[] = {
        {false, "", "", {none, none, none, none}, {None, None, None, None}},
        {false, "Port1=/dev/ttyUSB0\n", "", {"/dev/ttyUSB0", none, none, none}, {Settings, None, None, None}},
        {true,
         "",
         "",
         {ftdi, cp2102, "/dev/ttyACM0 (USB modem 1d6b:0104)", "/dev/ttyS0 (this machine's serial port)"},
         {Found, Found, Found, Found}},
        {true,
         "Port2=/dev/ttyS10\nPort4=" + kFtdi + "\n",
         "",
         {ftdi, "/dev/ttyS10 (this machine's serial port)", "/dev/ttyACM0 (USB modem 1d6b:0104)",
          kFtdi + " (FTDI FT232R USB UART)"},
         {Found, Settings, Found, Settings}},
        {true, "Port2=/dev/ttyS10\n", "/dev/ttyUSB9", {ftdi, "/dev/ttyUSB9"}, {Found, Environment}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder / "devices");
        if (c.devices) MakeLaptop(folder / "devices");
        WriteSettings(c.settings.empty() ? "" : "[KX6100_RLDC]\n" + c.settings);
        SetEnvironment("KX6000_PORT2", c.port2);
        const std::vector<SerialPortInfo> present = SerialPorts();
        for (int port = 1; port <= 4 && !c.reached[port - 1].empty(); ++port) {
            SCOPED_TRACE(c.settings + c.port2 + " port " + std::to_string(port));
            PortRoute route = RoutePort(port, present);
            EXPECT_EQ(RouteText(route), c.reached[port - 1]);
            EXPECT_EQ(route.source, c.why[port - 1]);
        }
    }
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyUSB1");
}

}  // namespace
}  // namespace kx6000::test
