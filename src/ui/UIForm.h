// The main window as the manager and the protocol see it. The status and
// progress members behave the same for every front end; how things are drawn
// is each front end's own (the Qt window, the terminal).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kx6000 {

class clsDLManager;
class colConfigurations;

// The items of the baud-rate list, in list order.
inline constexpr std::array<std::string_view, 4> kBaudRateItems = {"Auto", "115200", "19200", "9600"};

// A small non-modal box with one message and a Cancel button, shown while the
// program waits for something only the user can do.
class IWaitWindow {
public:
    virtual ~IWaitWindow() = default;
    // Shows the box without blocking the caller; showing clears the cancel flag.
    virtual void Show() = 0;
    // Hides the box; the cancel flag keeps its value.
    virtual void Hide() = 0;
    virtual void SetMessage(const std::string& strMessage) = 0;
    // True once the user has cancelled (or closed the box) since the last Show.
    virtual bool IsCancelled() const = 0;
};

// The values the window shows that a caller without it is told of.
enum class Shown { Status, Baud, CurrentFile, Percentage };

// What the window showed when the running operation was asked to stop: the status text, the name in the
// current-download box and the progress bar. The steps after a stop change none of it.
struct ShownAtStop {
    std::string status, file;
    int percentage = 0;
};

class UIForm {
public:
    // Told each value as it is shown: its text, or for the percentage its number.
    using ShownHook = std::function<void(Shown what, const std::string& text, int percentage)>;

    virtual ~UIForm() = default;

    // Panel 2: the text, or "Ready" when it is empty; the text shown is also logged.
    void StatusPanelStatus(const std::string& strData);
    // Panel 3: the text, or "Not connected" when it is empty.
    void StatusPanelBaud(const std::string& strData);
    // Panel 1 always shows "Status", whatever it is given.
    void StatusPanelTag(const std::string& strData);
    void ResetProgessBar();
    // A percentage, 0 to 100.
    void ProgressBar(int16_t intValue);
    void FileNameTextBox(const std::string& strData);
    // Why the files of a run are refused: logged, and shown in the error box while the window is displayed;
    // with nobody to see it, a line on stderr as well.
    void ShowRefusal(const std::string& text);
    // The one subscriber to the shown values; none by default.
    void OnShown(ShownHook hook) { shownHook = std::move(hook); }
    // The values shown last before a stop; while no stop is asked, the values shown last.
    const ShownAtStop& AtStop() const { return atStop; }
    // Where a stop came for every front end: the image named and its progress, "TAG at 31 %"; empty while
    // no name was shown.
    std::string WhereStopped() const;
    // A new operation: nothing shown yet.
    void ForgetShown() { atStop = {}; }

    // Nothing waits for a person who cannot see the window. A question is asked while the window is
    // displayed or the front end asks without it; otherwise AssumeYes answers it at once.
    bool AskQuestion(const std::string& text);
    // What a download's erases take with them, a sentence each, before the first erase: logged, and asked
    // about ("Continue?", No by default) where someone can answer; unasked, the download goes on.
    bool ConfirmLoss(const std::vector<std::string>& sentences);
    // The common error box likewise; without anyone to see it, a download-log line and a line on stderr.
    void ReportError(const std::string& text);
    // The answer to a question nobody can be asked; false (No) until set.
    bool AssumeYes() const { return assumeYes; }
    void AssumeYes(bool value) { assumeYes = value; }

    // True when the window is displayed; the configuration table is drawn only then.
    bool UIDisplay() const { return uiDisplay; }
    void UIDisplay(bool blnUI) { uiDisplay = blnUI; }
    void DownLoadManager(clsDLManager* objDLManager) { downLoadManager = objDLManager; }

    // Shows the window, or hides it.
    virtual void ShowWindow(bool visible) = 0;
    // The text of the port selector.
    virtual void PortText(const std::string& strPort) = 0;
    // Fills the configuration table; does nothing while the window is not displayed.
    void UpdateLabels(const colConfigurations& Configurations) {
        if (uiDisplay) ShowConfigurations(Configurations);
    }
    // Empties the configuration table; with true, also sets the model's fixed texts.
    virtual void SetLabels(bool blnInitialSetUp) = 0;
    // The "Allow Unprotected Upgrade" choice: 0 unticked, 1 ticked.
    virtual int16_t AccessLevel() const = 0;
    // The chosen item of the baud-rate list (an index into kBaudRateItems).
    virtual int16_t BaudRateIndex() const = 0;
    // A modal question with Yes and No; true for Yes. The component asks through AskQuestion.
    virtual bool AskYesNo(const std::string& text) = 0;
    // The common error message box, with an OK button. The component shows it through ReportError.
    virtual void ShowErrorBox(const std::string& text) = 0;
    // The one wait window, created on first use.
    virtual IWaitWindow& WaitWindow() = 0;

protected:
    enum class Panel { Tag = 1, Status = 2, Baud = 3 };
    virtual void ShowPanel(Panel panel, const std::string& text) = 0;
    virtual void ShowProgress(int value) = 0;
    virtual void ShowFileName(const std::string& text) = 0;
    // Draws the configurations into the table; may set LastError to 2.
    virtual void ShowConfigurations(const colConfigurations& Configurations) = 0;
    // The question of ConfirmLoss: the sentences and "Continue?" in one Yes/No question.
    virtual bool AskAboutLoss(const std::vector<std::string>& sentences);
    // True for a front end that asks and shows errors without its window (on a terminal).
    virtual bool AsksWithoutWindow() const { return false; }

    clsDLManager* downLoadManager = nullptr;  // the owner; not owned

private:
    // Nobody to ask: the window is not displayed and the front end cannot ask without it.
    bool Unattended() const { return !uiDisplay && !AsksWithoutWindow(); }
    void Tell(Shown what, const std::string& text, int percentage = 0) {
        if (shownHook) shownHook(what, text, percentage);
    }

    bool uiDisplay = false;
    bool assumeYes = false;
    ShownHook shownHook;
    ShownAtStop atStop;
};

}  // namespace kx6000
