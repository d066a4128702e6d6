// What the posix serial device shares with Holders and with its tests: the lock files that terminal
// programs and this one take for a serial device, and the serial driver's settings call, which a test
// replaces to see what a real adapter is asked (a pty refuses the call).
#pragma once

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/types.h>

#include <string>

namespace kx6000 {

// Makes the TIOCGSERIAL and TIOCSSERIAL requests of the serial device: ioctl unless a test replaced it.
using SerialControl = int (*)(int fd, unsigned long request, serial_struct* settings);
extern SerialControl serialControl;

// The lock file of `device`: /run/lock/LCK.. and the device's place below /dev, each '/' as '_'; empty for a
// device that is not below /dev (or not there).
std::string LockFileOf(const std::string& device);

// What LockHolder gives when no process holds the lock file (no file, a process gone or ended, or garbage)
// and when something that is no lock file this program can read is at its name.
constexpr pid_t kNoHolder = 0;
constexpr pid_t kUnknownHolder = -1;

// The live process a lock file names, kNoHolder or kUnknownHolder.
pid_t LockHolder(const std::string& lockFile);

}  // namespace kx6000
