#include "support/Program.h"

#include "port/modTimer.h"
#include "support/modHelp.h"

namespace kx6000 {

const std::string& Text(int id) {
    static const std::string empty;
    auto it = TextTable.find(id);
    return it != TextTable.end() ? it->second : empty;
}

void ResetProgramState() {
    LastError = 0;
    Debug = false;
    UpgradeMode = 0;
    OperationRunning = false;
    StopRequested = 0;
    StopHeldUntil = {};
    FailedFiles.clear();
    DownloadLog.Discard();
    ConfigLog.Discard();
    TextTable.clear();
    ErrorBox = nullptr;
    EventPump = nullptr;
    LastPortFailure = {};
    modTimer::EndTimer();
    modTimer::TimerExpired = false;
    modHelp::Reset();
}

}  // namespace kx6000
