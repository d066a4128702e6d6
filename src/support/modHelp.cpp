#include "support/modHelp.h"

#include "platform/Desktop.h"

namespace kx6000::modHelp {
namespace {

struct State {
    std::string helpFilePath;
    std::string applicationHelpFile;
    int32_t helpWindow = 0;
    Opener opener = OpenHelp;
};

State& state() {
    static State instance;
    return instance;
}

}  // namespace

std::string GetHelpFilePath() {
    return HelpFilePath();
}

void ShowHelp(int32_t hWnd, int32_t ContextID, const std::string& HelpFile) {
    State& s = state();
    if (!HelpFile.empty()) s.helpFilePath = HelpFile;
    s.helpWindow = s.opener(hWnd, s.helpFilePath, s.applicationHelpFile, ContextID);
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
