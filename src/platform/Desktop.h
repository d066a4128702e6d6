// The desktop the technician works at: its help viewer.
#pragma once

#include <cstdint>
#include <string>

namespace kx6000 {

// The help beside the program: the compiled help file on Windows; elsewhere the contents page of the help's
// folder of pages (under the installed share folder when there is none beside the program).
std::string HelpFilePath();

// Shows the help without waiting for it: the contents of `contentsFile` and, for a context number not 0,
// that topic of `topicFile` in front of the window `owner`. Gives back the handle of the contents' viewer
// (below 1 when it could not be started); a missing file or topic shows what the viewer shows.
int32_t OpenHelp(int32_t owner, const std::string& contentsFile, const std::string& topicFile,
                 int32_t context);

}  // namespace kx6000
