// Small file services of the manager.
#pragma once

#include <string>

namespace kx6000 {

// True when `path` names a regular file that is not hidden (its name does not
// begin with "."). A folder counts as missing. A name with the wildcards "*"
// or "?" counts as present when it matches such a file.
bool FileExists(const std::string& path);

}  // namespace kx6000
