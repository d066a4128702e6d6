#include "ui/UIForm.h"

#include <iostream>

#include "support/Program.h"

namespace kx6000 {

void UIForm::StatusPanelStatus(const std::string& strData) {
    std::string text = strData.empty() ? Text(2001) : strData;
    if (StopRequested == 0) atStop.status = text;
    ShowPanel(Panel::Status, text);
    Tell(Shown::Status, text);
    DownloadLog.WriteToLogFile(text);  // may shorten it
}

void UIForm::StatusPanelBaud(const std::string& strData) {
    std::string text = strData.empty() ? Text(3000) : strData;
    ShowPanel(Panel::Baud, text);
    Tell(Shown::Baud, text);
}

void UIForm::StatusPanelTag(const std::string& /*strData*/) {
    ShowPanel(Panel::Tag, Text(1008));
}

void UIForm::ResetProgessBar() {
    if (StopRequested == 0) atStop.percentage = 0;
    ShowProgress(0);
    Tell(Shown::Percentage, "", 0);
}

void UIForm::ProgressBar(int16_t intValue) {
    if (StopRequested == 0) atStop.percentage = intValue;
    ShowProgress(intValue);
    Tell(Shown::Percentage, "", intValue);
}

void UIForm::FileNameTextBox(const std::string& strData) {
    if (StopRequested == 0) atStop.file = strData;
    ShowFileName(strData);
    Tell(Shown::CurrentFile, strData);
}

std::string UIForm::WhereStopped() const {
    if (atStop.file.empty()) return "";
    return atStop.file + " at " + std::to_string(atStop.percentage) + " %";
}

void UIForm::ShowRefusal(const std::string& text) {
    if (Unattended()) return ReportError(text);
    DownloadLog.WriteToLogFile(std::string(text));
    if (uiDisplay) ShowErrorBox(text);
}

bool UIForm::AskQuestion(const std::string& text) {
    return Unattended() ? assumeYes : AskYesNo(text);
}

bool UIForm::ConfirmLoss(const std::vector<std::string>& sentences) {
    for (const std::string& sentence : sentences) DownloadLog.WriteToLogFile(std::string(sentence));
    return Unattended() || AskAboutLoss(sentences);
}

bool UIForm::AskAboutLoss(const std::vector<std::string>& sentences) {
    std::string text;
    for (const std::string& sentence : sentences) text += sentence + "\n";
    return AskYesNo(text + "\nContinue?");
}

void UIForm::ReportError(const std::string& text) {
    if (!Unattended()) return ShowErrorBox(text);
    std::cerr << text << '\n';  // the service's journal
    // A closed log takes no line: writing it would fail and report again.
    if (DownloadLog.IsOpen()) DownloadLog.WriteToLogFile(std::string(text));
}

}  // namespace kx6000
