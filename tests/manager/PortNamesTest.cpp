// What ports 1 to 4 reach: the environment before the settings before the devices found, which fill the
// ports in their order.

#include <array>

#include "DeviceTree.h"
#include "TestEnvironment.h"
#include "support/Paths.h"

namespace kx6000::test {
namespace {

class PortNamesTest : public ComponentTest {};

TEST_F(PortNamesTest, PortsReachTheDevicesFoundUnlessNamed) {
    using enum PortSource;
    const std::string ftdi = "/dev/ttyUSB1 (FTDI FT232R USB UART)", none = "no serial device found",
                      byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A601F1XZ-if00-port0";
    struct Case {
        bool devices;
        std::string settings, port2;  // the settings file's values, KX6000_PORT2
        std::array<std::string, 4> reached;
        std::array<PortSource, 4> why;
    } cases[] = {
        {false, "", "", {none, none, none, none}, {None, None, None, None}},
        {false, "Port1=/dev/ttyUSB0\n", "", {"/dev/ttyUSB0", none}, {Settings, None}},
        {true,
         "",
         "",
         {ftdi, "/dev/ttyUSB0 (Silicon Labs CP2102 USB to UART Bridge Controller)",
          "/dev/ttyACM0 (USB modem 1d6b:0104)", "/dev/ttyS0 (this machine's serial port)"},
         {Found, Found, Found, Found}},
        {true,
         "Port4=" + byId + "\n",
         "",
         {ftdi, "", "", byId + " (FTDI FT232R USB UART)"},
         {Found, {}, {}, Settings}},
        {true, "Port2=/dev/ttyS10\n", "/dev/ttyUSB9", {ftdi, "/dev/ttyUSB9"}, {Found, Environment}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder / "devices");
        if (c.devices) MakeLaptop(folder / "devices");
        WriteSettings(c.settings.empty() ? "" : "[KX6100_RLDC]\n" + c.settings);
        SetEnvironment("KX6000_PORT2", c.port2);
        const std::vector<SerialPortInfo> present = SerialPorts();
        for (int port = 1; port <= 4; ++port) {
            if (c.reached[port - 1].empty()) continue;
            SCOPED_TRACE(c.settings + c.port2 + " port " + std::to_string(port));
            PortRoute route = RoutePort(port, present);
            EXPECT_EQ(RouteText(route), c.reached[port - 1]);
            EXPECT_EQ(route.source, c.why[port - 1]);
        }
    }
}

}  // namespace
}  // namespace kx6000::test
