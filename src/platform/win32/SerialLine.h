// What the Windows serial device shares with its tests: the line settings it gives the driver, and what a
// failure means once the port is open.
#pragma once

#include <windows.h>

#include <cstdint>
#include <system_error>

#include "platform/SerialDevice.h"

namespace kx6000 {

// The settings the port sets, from those the driver reported: raw 8N1 at `baudRate`, no flow control, and
// every field the driver checks set to a value it takes, whatever it reported.
DCB LineSettings(DCB reported, uint32_t baudRate);

// The kind of a failure of a port that was open: the adapter gone, never another program.
DeviceFailure KindWhileOpen(std::error_code code);

}  // namespace kx6000
