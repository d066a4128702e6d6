#include "ui/ConsoleForm.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "manager/clsDLManager.h"
#include "support/Program.h"

namespace kx6000 {
namespace {

// The wait window of the terminal: the message as a line; it is cancelled by
// a stop (Ctrl-C) or when its time is up.
class ConsoleWaitWindow : public IWaitWindow {
public:
    ConsoleWaitWindow(std::ostream& out, bool quiet, int seconds)
        : out(out), quiet(quiet), seconds(seconds) {}

    void Show() override {
        if (seconds > 0) deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        if (!quiet) out << message << " (Ctrl-C to stop)" << std::endl;
    }
    void Hide() override {}
    void SetMessage(const std::string& strMessage) override { message = strMessage; }
    bool IsCancelled() const override {
        return StopRequested != 0 || (seconds > 0 && std::chrono::steady_clock::now() >= deadline);
    }

private:
    std::ostream& out;
    bool quiet;
    int seconds;  // 0: no limit
    std::string message;
    std::chrono::steady_clock::time_point deadline;
};

}  // namespace

ConsoleForm::ConsoleForm(ConsoleOptions options, std::ostream& out, std::istream& in)
    : options(options), out(out), in(in) {}

ConsoleForm::~ConsoleForm() {
    EndProgressLine();
}

void ConsoleForm::EndProgressLine() {
    if (progressOnLine) out << '\n';
    progressOnLine = false;
}

void ConsoleForm::PrintLine(const std::string& text) {
    EndProgressLine();
    out << text << std::endl;
}

void ConsoleForm::ShowPanel(Panel panel, const std::string& text) {
    if (panel == Panel::Baud)
        baudRate = text.find_first_not_of("0123456789") == std::string::npos ? text : "";
    if (panel != Panel::Status || options.quiet) return;
    if (text == Text(2018)) PrintImageWritten();  // "Locking flash...": the data is in
    PrintLine(text);
}

void ConsoleForm::ShowFileName(const std::string& text) {
    if (text == fileName) return;  // another pass over the same image
    fileName = text;
    fileStart = std::chrono::steady_clock::now();
    fileBytes = 0;
    const colFiles* files = downLoadManager != nullptr ? downLoadManager->LoadedFiles() : nullptr;
    if (files == nullptr) return;
    for (const colFiles::FilePtr& file : *files) {
        if (file->TagName != text) continue;
        for (int32_t t = 0; t < file->Definitiontables().Count(); ++t) {
            const colDataBlocks& blocks = *file->Definitiontables().Item(t).DataBlocks;
            for (int32_t b = 0; b < blocks.Count(); ++b) fileBytes += blocks.Item(b).size() / 2;
        }
        return;
    }
}

void ConsoleForm::ShowProgress(int value) {
    if (options.progressLines && value != progress && value != 0 && !options.quiet) {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count();
        size_t done = fileBytes * static_cast<size_t>(value) / 100;
        out << "progress " << value << ' ' << done << ' ' << fileBytes << ' '
            << static_cast<int64_t>(static_cast<double>(done) / std::max(seconds, 1e-3)) << ' ' << fileName
            << std::endl;
    }
    progress = value;
    // A reset bar (0) is not drawn: the line fills when the work has begun.
    if (options.quiet || !options.progressBar || value == 0) return;
    constexpr int width = 30;
    int filled = value * width / 100;
    out << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << value << "% "
        << fileName;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count();
    if (fileBytes > 0 && value > 0) {
        int left = static_cast<int>(seconds * (100 - value) / value);
        char text[64];
        std::snprintf(text, sizeof text, "  %zu/%zu KB  %d:%02d left ", fileBytes * value / 100 / 1024,
                      fileBytes / 1024, left / 60, left % 60);
        out << text;
    }
    out << std::flush;
    progressOnLine = true;
}

void ConsoleForm::PrintImageWritten() {
    if (fileBytes == 0) return;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count();
    double rate = static_cast<double>(fileBytes) / std::max(seconds, 1e-3);
    char text[160];
    int length = std::snprintf(text, sizeof text, "%s: %zu bytes in %.1f s, %.1f KB/s", fileName.c_str(),
                               fileBytes, seconds, rate / 1024);
    if (!baudRate.empty() && length > 0) {
        // The line carries ten bits a byte: what share of that the data used.
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                      ", %.0f%% of the line at %s baud", 100 * rate * 10 / std::stod(baudRate),
                      baudRate.c_str());
    }
    PrintLine(text);
}

std::string ConsoleForm::WhereStopped() const {
    if (fileName.empty()) return "";
    return fileName + " at " + std::to_string(progress) + " %";
}

bool ConsoleForm::AskYesNo(const std::string& text) {
    if (options.yes) return true;
    if (!options.canAsk) return false;
    EndProgressLine();
    out << text << "[y/N] " << std::flush;
    std::string answer;
    std::getline(in, answer);
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

void ConsoleForm::ShowErrorBox(const std::string& text) {
    PrintLine(text);
}

IWaitWindow& ConsoleForm::WaitWindow() {
    if (!waitWindow)
        waitWindow = std::make_unique<ConsoleWaitWindow>(out, options.quiet, options.powerCycleWait);
    return *waitWindow;
}

}  // namespace kx6000
