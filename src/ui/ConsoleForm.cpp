#include "ui/ConsoleForm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "manager/clsDLManager.h"
#include "platform/Console.h"
#include "support/OutsideText.h"
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

// A byte count in a unit that fits its size: "8421 B", "12.3 KB", "4.5 MB".
std::string ByteCount(double bytes) {
    char text[32];
    if (bytes < 10 * 1024) {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    } else if (bytes < 1000 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024 * 1024));
    }
    return text;
}

// "12.3/40.0 KB", or "8421 B/16.0 KB" while the two are in different units.
std::string DoneOfTotal(size_t done, size_t total) {
    std::string first = ByteCount(static_cast<double>(done)), second = ByteCount(static_cast<double>(total));
    size_t unit = first.find(' ');
    if (first.substr(unit) == second.substr(second.find(' '))) first.resize(unit);
    return first + "/" + second;
}

}  // namespace

std::string FitLine(std::vector<std::string> fields, size_t nameField, const std::vector<size_t>& spare,
                    size_t room) {
    auto length = [&fields] {
        size_t total = 0;
        for (const std::string& field : fields) total += field.empty() ? 0 : field.size() + 1;
        return total == 0 ? 0 : total - 1;
    };
    // Fields are left out while the name could not keep its first characters; then the name gives way,
    // keeping its start and its end.
    constexpr size_t kShortestName = 12;
    std::string& name = fields[nameField];
    auto shortest = [&] { return length() - name.size() + std::min(name.size(), kShortestName); };
    for (size_t field : spare) {
        if (shortest() > room) fields[field].clear();
    }
    if (length() > room && name.size() > kShortestName) {
        size_t keep = std::max(kShortestName, name.size() - (length() - room)) - 1;
        name = name.substr(0, keep / 2) + "~" + name.substr(name.size() - (keep - keep / 2));
    }
    std::string line;
    for (const std::string& field : fields) {
        if (!field.empty()) line += (line.empty() ? "" : " ") + field;
    }
    line.resize(std::min(line.size(), room));
    return line;
}

ConsoleForm::ConsoleForm(ConsoleOptions options, std::ostream& out, std::istream& in)
    : options(options), out(out), in(in) {}

ConsoleForm::~ConsoleForm() {
    EndProgressLine();
}

void ConsoleForm::EndProgressLine() {
    if (!progressOnLine) return;
    if (StopRequested != 0) DrawProgress();
    out << '\n';
    progressOnLine = false;
}

void ConsoleForm::PrintLine(const std::string& text) {
    EndProgressLine();
    // After a Ctrl-C the terminal's "^C" may stand where this line starts.
    if (StopRequested != 0 && options.terminal >= 0) out << "\r\033[K";
    out << Printable(text) << std::endl;
}

void ConsoleForm::ShowPanel(Panel panel, const std::string& text) {
    if (panel == Panel::Baud)
        baudRate = text.find_first_not_of("0123456789") == std::string::npos ? text : "";
    if (panel != Panel::Status || options.quiet) return;
    // A stop ends the operation with a port's failure; the command line says it was a stop instead.
    if (StopRequested != 0 && text.starts_with("Error ")) return;
    if (text == Text(2018)) PrintImageWritten();  // "Locking flash...": the data is in
    PrintLine(text);
}

void ConsoleForm::ShowFileName(const std::string& text) {
    if (text == fileName) return;  // another pass over the same image
    fileName = text;
    shownName = Printable(text);
    fileStart = std::chrono::steady_clock::now();
    fileBytes = sampleBytes = 0;
    rate = 0;
    imageNumber = 0;
    const colFiles* files = downLoadManager != nullptr ? downLoadManager->LoadedFiles() : nullptr;
    if (files == nullptr) return;
    imageCount = files->Count();
    int32_t number = 0;
    for (const colFiles::FilePtr& file : *files) {
        ++number;
        if (file->TagName != text) continue;
        imageNumber = number;
        for (int32_t t = 0; t < file->Definitiontables().Count(); ++t)
            fileBytes += file->Definitiontables().Item(t).DataBlocks->Bytes();
        return;
    }
}

void ConsoleForm::ShowProgress(int value) {
    if (StopRequested != 0) return;  // the bar stays where the stop found it; the read-back resets it
    if (options.progressLines && value != progress && value != 0 && !options.quiet) {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count();
        size_t done = fileBytes * static_cast<size_t>(value) / 100;
        out << "progress " << value << ' ' << done << ' ' << fileBytes << ' '
            << static_cast<int64_t>(static_cast<double>(done) / std::max(seconds, 1e-3)) << ' ' << shownName
            << std::endl;
    }
    if (value != progress) SampleRate(fileBytes * static_cast<size_t>(value) / 100);
    progress = value;
    // A reset bar (0) is not drawn: the line fills when the work has begun.
    if (options.quiet || options.terminal < 0 || value == 0) return;
    DrawProgress();
}

void ConsoleForm::SampleRate(size_t done) {
    auto now = std::chrono::steady_clock::now();
    double seconds = std::chrono::duration<double>(now - sampleTime).count();
    // A percentage is shown as its block goes out, not once it is written: the first of a pass only starts
    // the clock.
    if (sampleBytes > 0 && done > sampleBytes && seconds > 0) {
        double recent = static_cast<double>(done - sampleBytes) / seconds;
        // Weighted so that what was written more than a few seconds ago hardly counts.
        constexpr double kRateSeconds = 2;
        rate = rate == 0 ? recent : rate + (1 - std::exp(-seconds / kRateSeconds)) * (recent - rate);
    }
    sampleBytes = done;
    sampleTime = now;
}

std::string ConsoleForm::ProgressLine(size_t room) const {
    std::vector<std::string> fields{std::to_string(progress) + "%"};
    if (imageNumber > 0) fields.push_back(std::to_string(imageNumber) + "/" + std::to_string(imageCount));
    const size_t nameField = fields.size();
    fields.push_back(shownName);
    // The fields that go when the room is short, first to last: the percentage tells what the bytes do.
    std::vector<size_t> spare;
    size_t done = fileBytes * static_cast<size_t>(progress) / 100;
    if (fileBytes > 0) {
        spare.push_back(fields.size());
        fields.push_back(DoneOfTotal(done, fileBytes));
    }
    if (fileBytes > 0 && rate > 0) {
        int left = static_cast<int>(std::ceil(static_cast<double>(fileBytes - done) / rate));
        char time[32];
        std::snprintf(time, sizeof time, "%d:%02d left", left / 60, left % 60);
        spare.push_back(fields.size());
        fields.push_back(ByteCount(rate) + "/s");
        spare.push_back(fields.size());
        fields.push_back(time);
    }
    std::string line = FitLine(std::move(fields), nameField, spare, room);
    constexpr size_t kFewestCells = 10;  // a shorter bar says too little to be worth its room
    if (line.size() + 3 + kFewestCells <= room) {
        size_t cells = room - line.size() - 3;
        size_t filled = cells * static_cast<size_t>(progress) / 100;
        line = "[" + std::string(filled, '#') + std::string(cells - filled, ' ') + "] " + line;
    }
    return line;
}

void ConsoleForm::DrawProgress() {
    // Never as wide as the terminal: the "^C" it echoes at the cursor must not wrap the line either.
    const std::string line =
        ProgressLine(static_cast<size_t>(std::max(TerminalColumns(options.terminal).value_or(80) - 3, 0)));
    // One write, cleared behind, so a shorter line leaves nothing of a longer one.
    out << '\r' + line + "\033[K" << std::flush;
    progressOnLine = true;
}

void ConsoleForm::PrintImageWritten() {
    if (fileBytes == 0) return;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count();
    double rate = static_cast<double>(fileBytes) / std::max(seconds, 1e-3);
    char text[160];
    int length = std::snprintf(text, sizeof text, "%s: %zu bytes in %.1f s, %.1f KB/s", shownName.c_str(),
                               fileBytes, seconds, rate / 1024);
    // The line carries ten bits a byte: what share of that the data used. More than all of it means the
    // bytes did not take their time on a line (a simulated radio): no share is said then.
    double share = baudRate.empty() ? 0 : 100 * rate * 10 / std::stod(baudRate);
    if (share > 0 && share <= 100 && length > 0) {
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                      ", %.0f%% of the line at %s baud", share, baudRate.c_str());
    }
    PrintLine(text);
}

bool ConsoleForm::AskYesNo(const std::string& text) {
    if (options.yes) return true;
    if (!options.canAsk) {
        PrintLine(text);
        PrintLine(
            "kx6000-download: no terminal to answer on, so the answer is no: rerun with --yes to answer yes");
        return false;
    }
    EndProgressLine();
    out << Printable(text) << "[y/N] " << std::flush;
    std::string answer;
    std::getline(in, answer);
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

bool ConsoleForm::AskAboutLoss(const std::vector<std::string>& sentences) {
    for (const std::string& sentence : sentences) PrintLine("kx6000-download: warning: " + sentence);
    return AskYesNo("Continue? ");
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
