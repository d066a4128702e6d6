// The help: its contents and a topic by context number, shown by the desktop's help viewer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kx6000::modHelp {

// Shows the contents of a help file and, for a context number not 0, a topic of another in front of an
// owner window; gives back the handle of the contents' viewer.
using Opener = std::function<int32_t(int32_t owner, const std::string& contentsFile,
                                     const std::string& topicFile, int32_t context)>;

// The help file beside the program.
std::string GetHelpFilePath();

// Opens the contents of `HelpFile` (of the help file given last, when it is
// empty) and, for a ContextID not 0, that topic of the application's help file
// in front of the window hWnd. Nothing is reported: a missing file or topic
// shows what the viewer shows.
void ShowHelp(int32_t hWnd, int32_t ContextID, const std::string& HelpFile);

// The application's help file, whose topics ShowHelp opens.
void SetApplicationHelpFile(std::string path);

// The handle of the last contents opened.
int32_t HelpWindow();

// Replaces the desktop's help viewer, for tests.
void SetOpener(Opener opener);

// Forgets everything remembered and restores the desktop opener.
void Reset();

}  // namespace kx6000::modHelp
