#include "ui/ConsoleForm.h"

#include <csignal>
#include <iostream>
#include <string>

namespace kx6000 {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

// The wait window of the terminal: the message as a line, Ctrl-C as Cancel.
class ConsoleWaitWindow : public IWaitWindow {
public:
    ConsoleWaitWindow(std::ostream& out, bool quiet) : out(out), quiet(quiet) {}
    ~ConsoleWaitWindow() override { Hide(); }

    void Show() override {
        interrupted = 0;
        if (shown) return;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous);
        shown = true;
        if (!quiet) out << message << " (Ctrl-C to cancel)" << std::endl;
    }
    void Hide() override {
        if (!shown) return;
        sigaction(SIGINT, &previous, nullptr);
        shown = false;
    }
    void SetMessage(const std::string& strMessage) override { message = strMessage; }
    bool IsCancelled() const override { return interrupted != 0; }

private:
    std::ostream& out;
    bool quiet;
    std::string message;
    bool shown = false;
    struct sigaction previous {};
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
    if (panel == Panel::Status && !options.quiet) PrintLine(text);
}

void ConsoleForm::ShowProgress(int value) {
    if (options.quiet || !options.progressBar) return;
    constexpr int width = 40;
    int filled = value * width / 100;
    out << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << value << "% "
        << fileName << std::flush;
    progressOnLine = true;
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
    if (!waitWindow) waitWindow = std::make_unique<ConsoleWaitWindow>(out, options.quiet);
    return *waitWindow;
}

}  // namespace kx6000
