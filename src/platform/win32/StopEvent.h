// Between the console's stop requests and the waits that a request must end.
#pragma once

#include <windows.h>

namespace kx6000 {

// Set at each Ctrl-C or request to end once the console layer catches them; it stays set until a wait on it
// takes it, so a request that comes between two waits still ends the next.
HANDLE StopEvent();

}  // namespace kx6000
