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
    std::string Status, Baud, CurrentFile;  // UTF-8 text, a product ID's bytes as Utf8OfBytes reads them
    uint32_t Percentage = 0;
};

// What stopped an operation, as StopText names it.
inline constexpr const char* kStoppedByCancel = "Cancel()";
inline constexpr const char* kStoppedBySigterm = "SIGTERM";
inline constexpr const char* kStoppedByCallerLeaving = "the caller leaving";

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
    // window, as UTF-8 text with each product ID written by ListName. A second one while one runs (reached
    // through the event pump) gets 13 and leaves the running one's busy state as it was. Caller text comes
    // in as UTF-8.
    int16_t Run(Operation operation, const std::string& filesToErase, std::string& list);
    bool Busy() const { return busy; }

    // Ends the running operation through its closing steps, as Ctrl-C does at the command line; `by` is
    // what StopText names as its cause.
    void Cancel(std::string by = kStoppedByCancel);
    // The last operation's stop as one UTF-8 sentence for every front end, empty when it ran to its end:
    // what stopped it, during which status text, the image left incomplete and whether the radio waits in
    // upgrade mode. A front end answers the stopped operation with it.
    const std::string& StopText() const { return stopText; }

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
    // The sentence of a stopped operation.
    std::string Stopped(Operation operation) const;

    std::unique_ptr<clsDLManager> manager;
    bool busy = false;
    bool releaseAsked = false;
    std::string stoppedBy;  // what asked the running operation to stop
    std::string stopText;
    WindowValues values;
    std::vector<std::function<void(std::string_view name)>> subscribers;
};

}  // namespace kx6000::automation
