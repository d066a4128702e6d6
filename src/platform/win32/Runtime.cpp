#include "platform/Runtime.h"

#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs

#include <cstdlib>

#include "platform/win32/Text.h"

namespace kx6000 {

// The narrow arguments are in the ANSI code page, which cannot hold every file name: the wide command line
// can.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

// Both the C runtime's copy (getenv) and the process's block (child processes) take the value.
void SetEnvironment(const std::string& name, const std::string& value) {
    _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
}

std::tm LocalTime(std::time_t time) {
    std::tm local{};
    localtime_s(&local, &time);
    return local;
}

const char* const kExampleDevice = "COM5";
const char* const kDefaultPortDevices = "COM1..4";
// The FTDI driver keeps the latency timer in the device's settings, which only an administrator changes.
const char* const kLatencyAdvice =
    "For short replies without waiting, lower the latency timer to 1 ms: Device Manager > Ports (COM & LPT) "
    "> "
    "the port > Properties > Port Settings > Advanced > Latency Timer (msec); this needs an administrator.";

}  // namespace kx6000
