// The help: HTML pages in the folder kx6kd_en/ beside the program, index.html
// for the contents and <context number>.html for each topic, shown by the
// desktop's browser.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kx6000::modHelp {

// Shows one address (a page's path) and gives back a handle for the viewer.
using Opener = std::function<int32_t(const std::string& address)>;

// The contents page of the help: beside the program, or in the installed share folder.
std::string GetHelpFilePath();

// Opens the contents of `HelpFile` (or of the help file given last, when it is
// empty) and then, when ContextID is not 0, that topic of the application's
// help file. Nothing is reported: a missing page shows what the browser shows.
void ShowHelp(int32_t hWnd, int32_t ContextID, const std::string& HelpFile);

// The application's help file, whose topics ShowHelp opens.
void SetApplicationHelpFile(std::string path);

// The handle returned by the last contents call.
int32_t HelpWindow();

// Replaces the desktop opener (xdg-open), for tests.
void SetOpener(Opener opener);

// Forgets everything remembered and restores the desktop opener.
void Reset();

}  // namespace kx6000::modHelp
