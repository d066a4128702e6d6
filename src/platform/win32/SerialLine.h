// What the Windows serial device shares with its tests: the line settings it gives the driver.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kx6000 {

// The settings the port sets, from those the driver reported: raw 8N1 at `baudRate`, no flow control, and
// every field the driver checks set to a value it takes, whatever it reported.
DCB LineSettings(DCB reported, uint32_t baudRate);

}  // namespace kx6000
