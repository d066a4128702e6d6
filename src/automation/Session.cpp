#include "automation/Session.h"

#include <csignal>

#include "manager/clsDLManager.h"
#include "support/OutsideText.h"
#include "support/Program.h"

namespace kx6000::automation {

template <class Value>
void Session::Take(Value& field, Value value, std::string_view name) {
    if (field == value) return;
    field = std::move(value);
    for (const auto& changed : subscribers) changed(name);
}

Session::Session(std::unique_ptr<UIForm> form) : manager(std::make_unique<clsDLManager>(std::move(form))) {
    // A server started by D-Bus or COM runs in / or the system folder, not in its caller's.
    manager->AbsolutePathsOnly(true);
    manager->Form().OnShown([this](Shown what, const std::string& text, int percentage) {
        switch (what) {
            case Shown::Status:
                return Take(values.Status, Utf8OfBytes(text), "Status");
            case Shown::Baud:
                return Take(values.Baud, Utf8OfBytes(text), "Baud");
            case Shown::CurrentFile:
                return Take(values.CurrentFile, Utf8OfBytes(text), "CurrentFile");
            case Shown::Percentage:
                return Take(values.Percentage, static_cast<uint32_t>(percentage), "Percentage");
        }
    });
}

Session::~Session() = default;

clsDLManager& Session::Manager() {
    return *manager;
}

int16_t Session::Run(Operation operation, const std::string& filesToErase, std::string& list) {
    // Reached through the event pump of the running one: that one keeps its busy state and its number.
    if (busy) return clsDLManager::kInUse;
    busy = true;
    StopRequested = 0;  // a stop ends one operation, never the next
    stoppedBy.clear();
    stopText.clear();
    manager->Form().ForgetShown();
    int16_t result = 0;
    switch (operation) {
        case Operation::Report:
            result = manager->ReportConfigurations(&list);
            break;
        case Operation::Download:
            result = manager->DownLoad(&list);
            break;
        case Operation::Erase:
            result = manager->EraseSelected(filesToErase, &list);
            break;
    }
    // A stop after the operation's end changes nothing: it is done.
    if (StopRequested != 0 && result != 0) stopText = Stopped(operation);
    list = Utf8OfBytes(list);
    StopRequested = 0;
    busy = false;
    return result;
}

std::string Session::Stopped(Operation operation) const {
    const ShownAtStop& shown = manager->Form().AtStop();
    // The window's own stop (closing it while the operation runs) comes without a Cancel.
    std::string text = "Stopped by " + (stoppedBy.empty() ? std::string("the window's closing") : stoppedBy);
    if (!shown.status.empty()) text += " during \"" + Utf8OfBytes(shown.status) + "\"";
    // An image's flash is changed from its erase on: a stop before its lock leaves it incomplete.
    if (operation == Operation::Download && !shown.file.empty() &&
        (shown.status == Text(2010) || shown.status == Text(2011)))
        text += " of " + Utf8OfBytes(manager->Form().WhereStopped()) +
                ": that image is incomplete, although the radio may list it with status 0";
    if (manager->LeftInUpgradeMode()) text += "; the radio stays in upgrade mode until the next operation";
    return text;
}

void Session::Cancel(std::string by) {
    // One manager per process: the program's stop request is this operation's. The port's wait ends at
    // once and the operation runs its closing steps; a second Cancel ends their waits too.
    if (!busy) return;
    if (stoppedBy.empty()) stoppedBy = std::move(by);
    StopHeldUntil = {};
    StopRequested = SIGTERM;
}

bool Session::AssumeYes() const {
    return manager->Form().AssumeYes();
}

void Session::AssumeYes(bool value) {
    manager->Form().AssumeYes(value);
}

bool Session::Release() {
    if (busy) releaseAsked = true;
    return !busy;
}

void Session::Subscribe(std::function<void(std::string_view name)> changed) {
    subscribers.push_back(std::move(changed));
}

}  // namespace kx6000::automation
