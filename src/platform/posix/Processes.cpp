#include "platform/Processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kx6000 {

struct Children::State {
    struct Child {
        pid_t pid = -1;
        int out = -1, err = -1;
    };
    std::vector<Child> children;
};

Children::Children() : state(std::make_unique<State>()) {}

Children::~Children() = default;

size_t Children::Start(const std::vector<std::string>& arguments, const std::string& name,
                       const std::string& value) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (pid == 0) {
        // A group of its own: a Ctrl-C reaches it through this program, once per Ctrl-C.
        setpgid(0, 0);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        setenv(name.c_str(), value.c_str(), 1);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    state->children.push_back({pid, out[0], err[0]});
    return state->children.size() - 1;
}

bool Children::Wait(int milliseconds, std::vector<ChildOutput>& outputs) {
    outputs.clear();
    std::vector<State::Child>& children = state->children;
    std::vector<pollfd> ready;
    std::vector<std::pair<size_t, int*>> owners;
    for (size_t i = 0; i < children.size(); ++i) {
        for (int* fd : {&children[i].out, &children[i].err}) {
            if (*fd < 0) continue;
            ready.push_back({*fd, POLLIN, 0});
            owners.emplace_back(i, fd);
        }
    }
    if (ready.empty()) return false;
    poll(ready.data(), ready.size(), milliseconds);
    for (size_t i = 0; i < ready.size(); ++i) {
        if (ready[i].revents == 0) continue;
        auto [child, fd] = owners[i];
        char buffer[4096];
        ssize_t count = read(*fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        bool errors = fd == &children[child].err;
        if (count <= 0) {
            close(*fd);
            *fd = -1;
            count = 0;
        }
        outputs.push_back({child, errors, std::string(buffer, static_cast<size_t>(count))});
    }
    return true;
}

void Children::Stop(size_t child, int request) {
    kill(state->children[child].pid, request);
}

int Children::Status(size_t child) {
    int status = 0;
    waitpid(state->children[child].pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace kx6000
