#include "platform/Console.h"

#include <fcntl.h>
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

int stopPipe[2] = {-1, -1};

void OnNoticedStop(int /*signal*/) {
    const char byte = 0;
    (void)!write(stopPipe[1], &byte, 1);
}

void Catch(void (*handler)(int), int flags = 0) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);  // without SA_RESTART a wait in poll() ends at once
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

int DrawingTerminal(StandardStream stream) {
    return TerminalOf(stream);
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

int StopNotices() {
    if (pipe2(stopPipe, O_CLOEXEC) != 0) return -1;
    Catch(OnNoticedStop, SA_RESTART);
    return stopPipe[0];
}

void TakeStopNotice(int notices) {
    char byte = 0;
    (void)!read(notices, &byte, 1);
}

int StandardInput() {
    return STDIN_FILENO;
}

bool DrainInput() {
    char buffer[64];
    return read(STDIN_FILENO, buffer, sizeof buffer) > 0;
}

const char* StopRequestName(int request) {
    return request == SIGINT ? "SIGINT" : "SIGTERM";
}

void IgnoreLostOutput() {
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

// Nothing ends the program before its closing steps: a stop request waits for them.
void SayWhenEndedFirst(const std::string& /*line*/) {}

// A terminal here takes the bytes as they are.
void WriteUtf8ToConsole() {}

}  // namespace kx6000
