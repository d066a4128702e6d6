// The window programs' command line, the same on both systems.
#pragma once

#include <string>
#include <variant>

#include "manager/clsDLManager.h"

namespace kx6000 {

// What the window opens with.
struct WindowStart {
    std::string port = "1";
    enmRadioType radio = RADIO_FMX;
};

// --port, --device (the port's device for this run), --radio, --help and --version. Gives the window's start,
// or the exit status when the program ends here: 0 after --help or --version, 2 on every usage error.
std::variant<WindowStart, int> ParseWindowOptions(const char* program, int argc, char** argv);

}  // namespace kx6000
