#include "ui/WindowCommands.h"

#include <exception>

#include "files/FileChecks.h"
#include "manager/clsDLManager.h"
#include "support/Errors.h"
#include "support/Program.h"
#include "ui/UIForm.h"
#include "ui/WindowRules.h"

namespace kx6000 {
namespace {

// The loaded files' refusal, or empty when the download may go on: what LoadFiles' own parse found in the
// very images DownLoad would write.
std::string Refusal(const std::vector<FileCheck>& checks) {
    if (RunResult(checks) == 0) return "";
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
    if (manager.LoadFiles(files) != 0) return;
    if (std::string refusal = Refusal(manager.LoadedChecks()); !refusal.empty()) {
        form.StatusPanelStatus(ErrorStatusText(LastError));
        return refuse(refusal);
    }
    std::string strFilesToReport;
    manager.DownLoad(&strFilesToReport);
}

}  // namespace kx6000
