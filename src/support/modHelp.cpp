#include "support/modHelp.h"

#include <filesystem>

#include "platform/Desktop.h"
#include "support/Paths.h"

namespace kx6000::modHelp {
namespace {

struct State {
    std::string helpFilePath;
    std::string applicationHelpFile;
    int32_t helpWindow = 0;
    Opener opener = OpenOnDesktop;
};

State& state() {
    static State instance;
    return instance;
}

}  // namespace

std::string GetHelpFilePath() {
    // Beside the program in the build tree; under share/ once installed.
    std::string beside = ProgramFolder() + "/kx6kd_en/index.html";
    std::string installed = ProgramFolder() + "/../share/kx6000-download/kx6kd_en/index.html";
    return std::filesystem::exists(beside) || !std::filesystem::exists(installed) ? beside : installed;
}

void ShowHelp(int32_t /*hWnd*/, int32_t ContextID, const std::string& HelpFile) {
    State& s = state();
    if (!HelpFile.empty()) s.helpFilePath = HelpFile;
    // A browser opens each page in a tab of its own, so a topic is opened alone: it links to the contents.
    if (ContextID != 0 && !s.applicationHelpFile.empty()) {
        std::filesystem::path folder = std::filesystem::path(s.applicationHelpFile).parent_path();
        s.helpWindow = s.opener((folder / (std::to_string(ContextID) + ".html")).string());
    } else {
        s.helpWindow = s.opener(s.helpFilePath);
    }
}

void SetApplicationHelpFile(std::string path) {
    state().applicationHelpFile = std::move(path);
}

int32_t HelpWindow() {
    return state().helpWindow;
}

void SetOpener(Opener opener) {
    state().opener = std::move(opener);
}

void Reset() {
    state() = State{};
}

}  // namespace kx6000::modHelp
