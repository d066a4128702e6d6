#include "platform/Desktop.h"

#include <sys/wait.h>
#include <unistd.h>

namespace kx6000 {

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

}  // namespace kx6000
