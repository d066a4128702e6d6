#include "platform/Console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kx6000 {
namespace {

volatile std::sig_atomic_t* stopRequest = nullptr;
volatile std::sig_atomic_t* stopCount = nullptr;

void OnStop(int signal) {
    if (*stopRequest != 0) _exit(128 + signal);
    *stopRequest = signal;
}

void OnCountedStop(int signal) {
    if (*stopRequest == 0) *stopRequest = signal;
    *stopCount = *stopCount + 1;
}

void Catch(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);  // no SA_RESTART: a wait in poll() ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int TerminalOf(StandardStream stream) {
    int fd = stream == StandardStream::Input    ? STDIN_FILENO
             : stream == StandardStream::Output ? STDOUT_FILENO
                                                : STDERR_FILENO;
    return isatty(fd) == 1 ? fd : -1;
}

std::optional<int> TerminalColumns(int terminal) {
    winsize size{};
    if (ioctl(terminal, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
    return size.ws_col;
}

void CatchStopRequests(volatile std::sig_atomic_t& request) {
    stopRequest = &request;
    Catch(OnStop);
}

void CountStopRequests(volatile std::sig_atomic_t& first, volatile std::sig_atomic_t& count) {
    stopRequest = &first;
    stopCount = &count;
    Catch(OnCountedStop);
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
