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

// Opens the topic ContextID of the application's help file or, for 0 (or before
// an application help file is set), the contents of `HelpFile` (of the help file
// given last, when it is empty). Nothing is reported: a missing page shows what
// the browser shows.
void ShowHelp(int32_t hWnd, int32_t ContextID, const std::string& HelpFile);

// The application's help file, whose topics ShowHelp opens.
void SetApplicationHelpFile(std::string path);

// The handle returned by the last page opened.
int32_t HelpWindow();

// Replaces the desktop opener (xdg-open), for tests.
void SetOpener(Opener opener);

// Forgets everything remembered and restores the desktop opener.
void Reset();

}  // namespace kx6000::modHelp
