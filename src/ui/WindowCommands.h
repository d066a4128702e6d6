// What the window's three command buttons do, the same whichever toolkit draws the window.
#pragma once

#include <functional>
#include <string>

namespace kx6000 {

class clsDLManager;
class UIForm;
class WindowRules;

// Report Configuration; a failure thrown on the way shows in the error box with its number.
void ReportCommand(clsDLManager& manager);
// Erase Configuration(s): the ticked rows.
void EraseCommand(clsDLManager& manager, const WindowRules& rules);
// Download: `choose` gives the files the technician chose (none: its number is set). Files the radio would
// refuse after erasing are checked first: nothing is sent, and `refuse` shows why (UTF-8, file names and
// all).
void DownloadCommand(clsDLManager& manager, UIForm& form, const std::function<std::string()>& choose,
                     const std::function<void(const std::string&)>& refuse);

}  // namespace kx6000
