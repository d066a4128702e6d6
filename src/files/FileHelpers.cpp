#include "files/FileHelpers.h"

#include <glob.h>
#include <sys/stat.h>

#include <string_view>

namespace kx6000 {
namespace {

bool IsVisibleFile(const char* path) {
    std::string_view name(path);
    if (size_t slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
    struct stat info {};
    return !name.empty() && name.front() != '.' && ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool FileExists(const std::string& path) {
    if (path.find_first_of("*?") == std::string::npos) return IsVisibleFile(path.c_str());
    // Only "*" and "?" are wildcards here: "[" and "\" stand for themselves.
    std::string pattern;
    for (char c : path) {
        if (c == '[' || c == '\\') pattern += '\\';
        pattern += c;
    }
    glob_t matches{};
    bool found = false;
    if (glob(pattern.c_str(), GLOB_NOSORT, nullptr, &matches) == 0) {
        for (size_t i = 0; i < matches.gl_pathc && !found; ++i) found = IsVisibleFile(matches.gl_pathv[i]);
    }
    globfree(&matches);
    return found;
}

}  // namespace kx6000
