#include "ui/WindowCommands.h"

#include <exception>

#include "files/FileChecks.h"
#include "files/FileHelpers.h"
#include "manager/clsDLManager.h"
#include "support/Errors.h"
#include "support/Program.h"
#include "ui/UIForm.h"
#include "ui/WindowRules.h"

namespace kx6000 {
namespace {

// The chosen files' refusal, or empty when the download may go on. A file the parse gives up on is
// LoadFiles' to report, as it always was.
std::string Refusal(const std::string& files, bool fmx) {
    if (OperationRunning) return "";  // LoadFiles refuses with 13 and leaves the running operation's number
    std::vector<FileCheck> checks = CheckFiles(SplitFileList(files), fmx).files;
    if (FirstFailure(checks) != 0 || RunResult(checks) == 0) return "";
    LastError = RunResult(checks);
    std::string text = "Nothing was sent to the radio:";
    for (const std::string& line : CheckLines(checks, false)) text += "\n" + line;
    return text;
}

}  // namespace

void ReportCommand(clsDLManager& manager) {
    try {
        std::string strFiles;
        manager.ReportConfigurations(&strFiles);
    } catch (const RuntimeFailure& failure) {
        ShowErrorMessage(failure.number, failure.what());
    } catch (const std::exception& failure) {
        ShowErrorMessage(0, failure.what());
    }
}

void EraseCommand(clsDLManager& manager, const WindowRules& rules) {
    std::string strFilesToReport;
    manager.EraseSelected(rules.EraseList(), &strFilesToReport);
}

void DownloadCommand(clsDLManager& manager, UIForm& form, const std::function<std::string()>& choose,
                     const std::function<void(const std::string&)>& refuse) {
    DownloadLog.OpenLogFile();
    const std::string files = choose();
    if (files.empty()) return;
    if (std::string refusal = Refusal(files, manager.RadioType() == RADIO_FMX); !refusal.empty()) {
        form.StatusPanelStatus(ErrorStatusText(LastError));
        return refuse(refusal);
    }
    if (manager.LoadFiles(files) != 0) return;
    std::string strFilesToReport;
    manager.DownLoad(&strFilesToReport);
}

}  // namespace kx6000
