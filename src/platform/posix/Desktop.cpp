#include "platform/Desktop.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Places.h"

namespace kx6000 {
namespace {

// xdg-open runs in a detached grandchild, so the browser neither blocks the
// window nor is left behind as a zombie.
int32_t OpenOnDesktop(const std::string& address) {
    pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            setsid();
            execlp("xdg-open", "xdg-open", address.c_str(), static_cast<char*>(nullptr));
        }
        _exit(0);
    }
    if (child > 0) waitpid(child, nullptr, 0);
    return child;
}

}  // namespace

std::string HelpFilePath() {
    // Beside the program in the build tree; under share/ once installed.
    std::string beside = ProgramFolder() + "/kx6kd_en/index.html";
    std::string installed = ProgramFolder() + "/../share/kx6000-download/kx6kd_en/index.html";
    return std::filesystem::exists(beside) || !std::filesystem::exists(installed) ? beside : installed;
}

// A browser opens each page in a tab of its own, so a topic, <context number>.html beside the topic file's
// contents page, is opened alone: it links to the contents.
int32_t OpenHelp(int32_t /*owner*/, const std::string& contentsFile, const std::string& topicFile,
                 int32_t context) {
    if (context == 0 || topicFile.empty()) return OpenOnDesktop(contentsFile);
    std::filesystem::path folder = std::filesystem::path(topicFile).parent_path();
    return OpenOnDesktop((folder / (std::to_string(context) + ".html")).string());
}

}  // namespace kx6000
