// Preloaded into the command line by a test: the first time the program closes the file named by
// KX6000_REWRITE_PATH, its content is replaced by that of KX6000_REWRITE_WITH, as a build still writing it
// or a swap would. What the program writes after that shows whether it read the file once or again.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

extern "C" int close(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
    static bool done = false;
    const char *path = std::getenv("KX6000_REWRITE_PATH"), *with = std::getenv("KX6000_REWRITE_WITH");
    if (done || path == nullptr || with == nullptr) return real(fd);
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    std::error_code error;
    const bool ours = std::filesystem::read_symlink(link, error) == std::filesystem::path(path);
    const int result = real(fd);
    if (ours) {
        done = true;  // before the copy, whose own closes come back here
        std::filesystem::copy_file(with, path, std::filesystem::copy_options::overwrite_existing, error);
    }
    return result;
}
