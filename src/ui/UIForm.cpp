#include "ui/UIForm.h"

#include "support/Program.h"

namespace kx6000 {

void UIForm::StatusPanelStatus(const std::string& strData) {
    std::string text = strData.empty() ? Text(2001) : strData;
    ShowPanel(Panel::Status, text);
    DownloadLog.WriteToLogFile(text);
}

void UIForm::StatusPanelBaud(const std::string& strData) {
    ShowPanel(Panel::Baud, strData.empty() ? Text(3000) : strData);
}

void UIForm::StatusPanelTag(const std::string& /*strData*/) {
    ShowPanel(Panel::Tag, Text(1008));
}

void UIForm::ResetProgessBar() {
    ShowProgress(0);
}

void UIForm::ProgressBar(int16_t intValue) {
    ShowProgress(intValue);
}

void UIForm::FileNameTextBox(const std::string& strData) {
    ShowFileName(strData);
}

void UIForm::ShowRefusal(const std::string& text) {
    DownloadLog.WriteToLogFile(std::string(text));
    if (uiDisplay) ShowErrorBox(text);
}

}  // namespace kx6000
