// Small file services of the manager.
#pragma once

#include <string>
#include <vector>

namespace kx6000 {

// True when `path` names a regular file that is not hidden (its name does not
// begin with "."). A folder counts as missing. A name with the wildcards "*"
// or "?" counts as present when it matches such a file.
bool FileExists(const std::string& path);

// The paths of a file list: a multi-selection (a folder and names separated by
// NUL characters), a list separated by "|", or one path.
std::vector<std::string> SplitFileList(const std::string& FilesToDL);

// Deletes the temporary files "temp.int" and "temp.ua" of the root folder when
// they are there. A file that cannot be deleted throws std::filesystem::filesystem_error.
void DeleteTempFiles();

}  // namespace kx6000
