// The desktop the technician works at.
#pragma once

#include <cstdint>
#include <string>

namespace kx6000 {

// Opens `address` (a help page's path) in the desktop's viewer without waiting for it; gives back a
// handle for the viewer, or a value below 1 when it could not be started.
int32_t OpenOnDesktop(const std::string& address);

}  // namespace kx6000
