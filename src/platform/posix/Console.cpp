#include "platform/Console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kx6000 {
namespace {

volatile std::sig_atomic_t* stopRequest = nullptr;

void OnStop(int signal) {
    if (*stopRequest != 0) _exit(128 + signal);
    *stopRequest = signal;
}

}  // namespace

int TerminalOf(StandardStream stream) {
    int fd = stream == StandardStream::Input ? STDIN_FILENO : STDERR_FILENO;
    return isatty(fd) == 1 ? fd : -1;
}

int TerminalColumns(int terminal) {
    winsize size{};
    return ioctl(terminal, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void CatchStopRequests(volatile std::sig_atomic_t& request) {
    stopRequest = &request;
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);  // no SA_RESTART: a wait in poll() ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* StopRequestName(int request) {
    return request == SIGINT ? "SIGINT" : "SIGTERM";
}

void IgnoreLostOutput() {
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace kx6000
