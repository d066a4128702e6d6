// rules: the window's rules the Win32 window draws by; each is to come from the toolkit-neutral window rules
// shared with the Qt window and the command line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace kx6000 {

// rules: the title (the model's name, the version, test mode).
std::string TitleText(bool mfx);
// rules: a status's text and colour (0x00BBGGRR).
std::pair<std::string, unsigned long> StatusCell(int32_t status);
// rules: whether a product ID is a hardware configuration's.
bool IsHardware(const std::string& productId);
// rules: a table row's type text and whether its box shows (boot code only in test mode).
std::pair<std::string, bool> TypeCell(const std::string& productId);
// rules: the erase list's entry of a ticked row, "NNDD|ProductID|".
std::string EraseEntry(const std::string& productId, bool ids, int network, int device);

}  // namespace kx6000
