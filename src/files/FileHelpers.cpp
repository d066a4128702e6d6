#include "files/FileHelpers.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "platform/Files.h"
#include "support/Paths.h"

namespace kx6000 {
namespace {

bool IsVisibleFile(const std::string& path) {
    std::string name = NameOf(PathOf(path).filename());
    // Asked of the system itself: the standard library's status takes no path beyond 260 characters on
    // Windows.
    return !name.empty() && name.front() != '.' && IsRegularFile(path);
}

}  // namespace

bool FileExists(const std::string& path) {
    if (path.find_first_of("*?") == std::string::npos) return IsVisibleFile(path);
    std::vector<std::string> matches = MatchingPaths(path);
    return std::ranges::any_of(matches, IsVisibleFile);
}

std::vector<std::string> SplitFileList(const std::string& FilesToDL) {
    auto split = [&FilesToDL](char separator) {
        std::vector<std::string> pieces;
        size_t start = 0;
        for (size_t end; (end = FilesToDL.find(separator, start)) != std::string::npos; start = end + 1) {
            pieces.push_back(FilesToDL.substr(start, end - start));
        }
        pieces.push_back(FilesToDL.substr(start));
        return pieces;
    };
    if (FilesToDL.find('\0') != std::string::npos) {
        std::vector<std::string> names = split('\0');
        std::string folder = names.front();
        // A folder that already ends with the separator is a root: names join it directly.
        if (folder.empty() || (folder.back() != '/' && folder.back() != kPathSeparator))
            folder += kPathSeparator;
        std::vector<std::string> paths;
        for (size_t i = 1; i < names.size(); ++i) paths.push_back(folder + names[i]);
        return paths;
    }
    if (FilesToDL.find('|') != std::string::npos) return split('|');
    return {FilesToDL};
}

void DeleteTempFiles() {
    for (const char* name : {"temp.int", "temp.ua"}) {
        std::string path = RootPath(name);
        if (FileExists(path)) std::filesystem::remove(PathOf(path));
    }
}

}  // namespace kx6000
