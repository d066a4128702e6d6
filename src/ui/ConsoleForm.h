// The main window of the command line: status texts as lines, a progress bar
// when the output is a terminal, questions asked on the terminal.
#pragma once

#include <chrono>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "ui/UIForm.h"

namespace kx6000 {

struct ConsoleOptions {
    bool quiet = false;  // no status lines, no progress bar
    int terminal = -1;   // the output's terminal, where the bar is drawn in place; -1: none
    // "progress PERCENT BYTES TOTAL BYTES_PER_SECOND IMAGE" lines for the command line that runs this one
    bool progressLines = false;
    bool canAsk = false;      // the input is a terminal: questions are asked
    bool yes = false;         // every question is answered yes without asking
    int16_t accessLevel = 0;  // the "Allow Unprotected Upgrade" choice
    int16_t baudRateIndex = 0;
    int powerCycleWait = 0;  // seconds the power-cycle wait may last; 0 for no limit
};

// A line of `fields` for `room` columns: the `spare` fields are left out, first to last, while the name
// field could not keep its first characters; then the name is shortened in its middle, and the line cut.
std::string FitLine(std::vector<std::string> fields, size_t nameField, const std::vector<size_t>& spare,
                    size_t room);

class ConsoleForm : public UIForm {
public:
    ConsoleForm(ConsoleOptions options, std::ostream& out, std::istream& in);
    ~ConsoleForm() override;

    void ShowWindow(bool /*visible*/) override {}
    void PortText(const std::string& /*strPort*/) override {}
    void SetLabels(bool /*blnInitialSetUp*/) override {}
    int16_t AccessLevel() const override { return options.accessLevel; }
    int16_t BaudRateIndex() const override { return options.baudRateIndex; }
    bool AskYesNo(const std::string& text) override;
    void ShowErrorBox(const std::string& text) override;
    IWaitWindow& WaitWindow() override;
    // A line of its own, after the progress line, at the start of the terminal's line; control bytes are
    // shown escaped.
    void PrintLine(const std::string& text);

protected:
    void ShowPanel(Panel panel, const std::string& text) override;
    void ShowProgress(int value) override;
    void ShowFileName(const std::string& text) override;
    // The terminal has no table: the command line prints what it needs itself.
    void ShowConfigurations(const colConfigurations& /*Configurations*/) override {}
    // Questions and errors go to the terminal.
    bool AsksWithoutWindow() const override { return true; }
    // Each sentence a warning line, said also when --yes answers.
    bool AskAboutLoss(const std::vector<std::string>& sentences) override;

private:
    // Starts a fresh line when the progress bar holds the current one; after a stop the bar is drawn once
    // more first, over the "^C" the terminal echoed behind it.
    void EndProgressLine();
    // The progress line, redrawn in place to fit the terminal's present width.
    void DrawProgress();
    // The line for `room` columns: percentage, position, name, bytes, rate and time left, and a bar in
    // the room they leave.
    std::string ProgressLine(size_t room) const;
    // Takes `done` bytes of the image into the recent rate.
    void SampleRate(size_t done);
    // One line for an image written: its bytes, the time, the rate and the share of the line it used.
    void PrintImageWritten();

    ConsoleOptions options;
    std::ostream& out;
    std::istream& in;
    bool progressOnLine = false;
    std::string baudRate;  // the line's speed, when the baud panel shows one
    // The image being written, from its name's first showing.
    std::string fileName, shownName;          // as the component names it, and as the terminal shows it
    int32_t imageNumber = 0, imageCount = 0;  // its position among the loaded images; 0 when not one of them
    size_t fileBytes = 0;                     // 0 when unknown
    int progress = 0;                         // its last percentage
    std::chrono::steady_clock::time_point fileStart;
    double rate = 0;         // bytes a second over the last seconds; 0 before the first sample
    size_t sampleBytes = 0;  // the image's bytes at the last percentage, and when
    std::chrono::steady_clock::time_point sampleTime;
    std::unique_ptr<IWaitWindow> waitWindow;
};

}  // namespace kx6000
