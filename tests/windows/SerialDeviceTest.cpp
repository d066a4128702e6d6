// The Windows serial device's own rules: the line it sets whatever the driver reported, and what a failure
// of a port that was open means.
#include <gtest/gtest.h>

#include "platform/SerialDevice.h"
#include "platform/win32/SerialLine.h"  // after the component's headers: it brings windows.h

namespace kx6000::test {
namespace {

TEST(SerialDeviceTest, TheLineIsRaw8N1WhateverTheDriverReported) {
    DCB sameXonXoff{};  // as some CDC and virtual port drivers report it: XON and XOFF both 0
    DCB handshaking{};
    handshaking.BaudRate = 57600;
    handshaking.ByteSize = 7;
    handshaking.Parity = EVENPARITY;
    handshaking.StopBits = TWOSTOPBITS;
    handshaking.fOutxCtsFlow = handshaking.fOutxDsrFlow = handshaking.fOutX = handshaking.fInX = TRUE;
    handshaking.fRtsControl = RTS_CONTROL_HANDSHAKE;
    handshaking.fDtrControl = DTR_CONTROL_HANDSHAKE;
    handshaking.XonLim = handshaking.XoffLim = 0xFFFF;
    handshaking.XonChar = handshaking.XoffChar = 0x13;
    const struct {
        const char* what;
        DCB reported;
        uint32_t baudRate;
    } cases[] = {
        {"XON and XOFF alike", sameXonXoff, 19200},
        {"handshakes, 7E2, limits past any buffer", handshaking, 115200},
    };
    for (const auto& c : cases) {
        const DCB line = LineSettings(c.reported, c.baudRate);
        EXPECT_EQ(line.DCBlength, sizeof(DCB)) << c.what;
        EXPECT_EQ(line.BaudRate, c.baudRate) << c.what;
        EXPECT_EQ(line.ByteSize, 8) << c.what;
        EXPECT_EQ(line.Parity, NOPARITY) << c.what;
        EXPECT_EQ(line.StopBits, ONESTOPBIT) << c.what;
        EXPECT_FALSE(line.fOutxCtsFlow || line.fOutxDsrFlow || line.fOutX || line.fInX) << c.what;
        EXPECT_EQ(line.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE)) << c.what;
        EXPECT_EQ(line.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE)) << c.what;
        // SetCommState refuses XON equal to XOFF, and a driver limits beyond its buffer.
        EXPECT_EQ(line.XonChar, 0x11) << c.what;
        EXPECT_EQ(line.XoffChar, 0x13) << c.what;
        EXPECT_EQ(line.XonLim, 0) << c.what;
        EXPECT_EQ(line.XoffLim, 0) << c.what;
    }
}

// The errors whose meaning changes once the port is open, and one that keeps it.
TEST(SerialDeviceTest, AnOpenPortThatFailsHasLostItsAdapter) {
    const struct {
        DWORD error;
        DeviceFailure opening, open;
    } cases[] = {
        {ERROR_ACCESS_DENIED, DeviceFailure::InUse, DeviceFailure::HungUp},
        {ERROR_DEVICE_NOT_CONNECTED, DeviceFailure::Other, DeviceFailure::HungUp},
        {ERROR_NOT_READY, DeviceFailure::HungUp, DeviceFailure::HungUp},
        {ERROR_SHARING_VIOLATION, DeviceFailure::InUse, DeviceFailure::Other},
        {ERROR_FILE_NOT_FOUND, DeviceFailure::NotFound, DeviceFailure::Other},
    };
    for (const auto& c : cases) {
        const std::error_code code(static_cast<int>(c.error), std::system_category());
        EXPECT_EQ(KindOf(code), c.opening) << c.error;
        EXPECT_EQ(KindWhileOpen(code), c.open) << c.error;
    }
}

}  // namespace
}  // namespace kx6000::test
