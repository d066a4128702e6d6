#include "automation/Session.h"

#include <csignal>

#include "manager/clsDLManager.h"
#include "support/Program.h"

namespace kx6000::automation {

template <class Value>
void Session::Take(Value& field, Value value, std::string_view name) {
    if (field == value) return;
    field = std::move(value);
    for (const auto& changed : subscribers) changed(name);
}

Session::Session(std::unique_ptr<UIForm> form) : manager(std::make_unique<clsDLManager>(std::move(form))) {
    manager->Form().OnShown([this](Shown what, const std::string& text, int percentage) {
        switch (what) {
            case Shown::Status:
                return Take(values.Status, text, "Status");
            case Shown::Baud:
                return Take(values.Baud, text, "Baud");
            case Shown::CurrentFile:
                return Take(values.CurrentFile, text, "CurrentFile");
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
    StopRequested = 0;
    busy = false;
    return result;
}

void Session::Cancel() {
    // One manager per process: the program's stop request is this operation's. The port's wait ends at
    // once and the operation runs its closing steps; a second Cancel ends their waits too.
    if (!busy) return;
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
