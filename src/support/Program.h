// Program-wide state: one copy per process, shared by every object of the
// component. Only the user-interface thread touches it, so nothing is locked.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <system_error>

#include "platform/SerialDevice.h"
#include "support/clsLogFile.h"

namespace kx6000 {

// The last error number, 0 for success. Each failing step sets it; the start
// of a timer and of a radio command set it back to 0.
inline int32_t LastError = 0;

// True exactly when the settings value "Debug" is "True"; switches all logging on.
inline bool Debug = false;

// 0 for the normal logon, above 0 for the special one.
inline int16_t UpgradeMode = 0;

inline clsLogFile DownloadLog;
inline clsLogFile ConfigLog;

// The resource texts loaded by the manager's construction.
inline std::map<int, std::string> TextTable;

// A loaded resource text; empty when it was not loaded.
const std::string& Text(int id);

// Where ShowErrorMessage sends its text; set by the manager to its form's error box.
inline std::function<void(const std::string& text)> ErrorBox;

// Called once per pass of every loop that waits for the radio, so a window can
// repaint and take clicks while an operation runs. The command line installs none.
inline std::function<void()> EventPump;

// True while a radio operation of any manager runs: the operations share the
// program-wide state above, so a second one, and every call that would change
// what the running one uses, is refused with 13 until it ends.
inline bool OperationRunning = false;

// The signal (SIGINT, SIGTERM) that asked the running operation to stop, 0
// for none. Set from a signal handler; every wait for the radio ends at once
// while it is set, so the operation goes through its closing steps.
inline volatile std::sig_atomic_t StopRequested = 0;

// Until then a stopped operation's last steps (locking the flash it was writing, reading the radio back) wait
// for the radio though a stop is requested; a radio that keeps them waiting longer is left. Another stop
// through the automation session ends them at once.
inline std::chrono::steady_clock::time_point StopHeldUntil{};

// The last failure to open or use a serial device, in the system's own terms,
// for a front end to explain beside the error number.
struct PortFailure {
    std::string device;
    DeviceFailure kind = DeviceFailure::None;
    std::error_code error;
};
inline PortFailure LastPortFailure;

// The log and settings files whose failure has been said already: said once, not at every write.
inline std::set<std::string> FailedFiles;

// Puts every program-wide value back to its start: for tests, between cases.
void ResetProgramState();

}  // namespace kx6000
