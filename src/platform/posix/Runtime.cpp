#include "platform/Runtime.h"

#include <stdlib.h>

namespace kx6000 {

// The arguments' bytes are the file names' bytes: they pass as they are.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return {argv, argv + argc};
}

void SetEnvironment(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

std::tm LocalTime(std::time_t time) {
    std::tm local{};
    ::localtime_r(&time, &local);
    return local;
}

const char* const kExampleDevice = "/dev/ttyUSB0";
const char* const kDefaultPortDevices =
    "the serial devices found, USB adapters first (kx6000-download ports)";
// The port asks the adapter for low latency itself when it opens.
const char* const kLatencyAdvice = "";

}  // namespace kx6000
