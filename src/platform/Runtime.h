// What the system gives the running program: its arguments, its environment, the local time, and the
// names its serial devices go by.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace kx6000 {

// The program's arguments in UTF-8, its name first, whatever the system's own encoding of them.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Sets an environment variable of this program, for what it starts and for itself.
void SetEnvironment(const std::string& name, const std::string& value);

// `time` in the local time zone.
std::tm LocalTime(std::time_t time);

// How the help texts name this system's serial devices: an example for --device, and ports 1 to 4's own.
extern const char* const kExampleDevice;
extern const char* const kDefaultPortDevices;

// What a technician can do about a USB adapter's latency timer above 1 ms; empty where nothing needs doing.
extern const char* const kLatencyAdvice;

}  // namespace kx6000
