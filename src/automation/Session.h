// One calling program's manager as the automation fronts (the D-Bus worker, the COM server) serve it: its
// busy state, a release that waits for the running operation, and the window's values with their changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/UIForm.h"

namespace kx6000 {
class clsDLManager;
}

namespace kx6000::automation {

// The window's values a caller reads and is told of as they change.
struct WindowValues {
    std::string Status, Baud, CurrentFile;  // as the window shows them (bytes, Latin-1 for product IDs)
    uint32_t Percentage = 0;
};

enum class Operation { Report, Download, Erase };

class Session {
public:
    // Makes the one manager over that window.
    explicit Session(std::unique_ptr<UIForm> form);
    // The front end destroys it only when !Busy().
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    clsDLManager& Manager();

    // One radio operation; `list` in: the caller's list, out: the configurations for a caller without
    // window. A second one while one runs (reached through the event pump) gets 13 and leaves the running
    // one's busy state as it was.
    int16_t Run(Operation operation, const std::string& filesToErase, std::string& list);
    bool Busy() const { return busy; }

    // Ends the running operation through its closing steps, as Ctrl-C does at the command line.
    void Cancel();

    // The FPGA question's answer while the window is not shown; false (No) until set.
    bool AssumeYes() const;
    void AssumeYes(bool value);

    // Asks the manager to go: true when it may go now; while an operation runs false, and ReleaseAsked()
    // tells the call running it, when Run returns, that it is to go now.
    bool Release();
    bool ReleaseAsked() const { return releaseAsked; }

    const WindowValues& Values() const { return values; }
    // Called with "Status", "Baud", "CurrentFile" or "Percentage" each time that value changes.
    void Subscribe(std::function<void(std::string_view name)> changed);

private:
    // Takes a value the window shows; its subscribers hear of it when it differs from the last.
    template <class Value>
    void Take(Value& field, Value value, std::string_view name);

    std::unique_ptr<clsDLManager> manager;
    bool busy = false;
    bool releaseAsked = false;
    WindowValues values;
    std::vector<std::function<void(std::string_view name)>> subscribers;
};

}  // namespace kx6000::automation
