#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/Console.h"
#include "platform/win32/StopEvent.h"

namespace kx6000 {
namespace {

volatile std::sig_atomic_t* stopRequest = nullptr;
volatile std::sig_atomic_t* stopCount = nullptr;
bool counted = false;
std::string endedFirst;  // said when the system ends the program before its closing steps are done
UINT userCodePage = 0;   // the console's output code page before the program changed it; 0: unchanged

// Windows ends a program 5 s after the console closed, the user logged off or the machine shuts down; the
// last half second is kept for saying that the closing steps could not end.
constexpr DWORD kClosingSteps = 4500;

// The console is the user's: it gets back the code page it had.
void RestoreCodePage() {
    if (userCodePage != 0) SetConsoleOutputCP(userCodePage);
}

// Ctrl-C is SIGINT as on POSIX; Ctrl-Break, the console closing, log-off and shut-down ask the program to
// end, as SIGTERM does.
int RequestOf(DWORD event) {
    return event == CTRL_C_EVENT ? SIGINT : SIGTERM;
}

// Runs in a thread of its own, which the system starts for each event.
BOOL WINAPI OnStop(DWORD event) {
    int request = RequestOf(event);
    if (counted) {
        if (*stopRequest == 0) *stopRequest = request;
        *stopCount = *stopCount + 1;
    } else {
        if (*stopRequest != 0) {
            RestoreCodePage();
            std::_Exit(128 + request);
        }
        *stopRequest = request;
    }
    SetEvent(StopEvent());
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The system ends the program as soon as this returns from the console closing, logging off or shutting
    // down, and 5 s after the event in any case: the program ends itself once the closing steps are done, and
    // when they are not done by then, says so before the system ends it.
    Sleep(kClosingSteps);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), endedFirst.data(), static_cast<DWORD>(endedFirst.size()),
              &written, nullptr);
    RestoreCodePage();
    return TRUE;
}

// Once only: a handler added twice would be called twice for each event.
void Catch() {
    static const bool added = SetConsoleCtrlHandler(OnStop, TRUE);
    (void)added;
}

HANDLE StandardHandle(int terminal) {
    static const DWORD kStreams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    return GetStdHandle(kStreams[terminal]);
}

}  // namespace

HANDLE StopEvent() {
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// A terminal is named by its stream's number, as on POSIX: 0 input, 1 output, 2 error.
int TerminalOf(StandardStream stream) {
    int terminal = static_cast<int>(stream);
    DWORD mode = 0;
    return GetConsoleMode(StandardHandle(terminal), &mode) ? terminal : -1;
}

int DrawingTerminal(StandardStream stream) {
    int terminal = TerminalOf(stream);
    DWORD mode = 0;
    if (terminal < 0 || !GetConsoleMode(StandardHandle(terminal), &mode)) return -1;
    return SetConsoleMode(StandardHandle(terminal), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) ? terminal
                                                                                               : -1;
}

std::optional<int> TerminalColumns(int terminal) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (terminal < 0 || !GetConsoleScreenBufferInfo(StandardHandle(terminal), &info)) return std::nullopt;
    int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? std::optional<int>(columns) : std::nullopt;
}

void CatchStopRequests(volatile std::sig_atomic_t& request) {
    stopRequest = &request;
    counted = false;
    Catch();
}

void CountStopRequests(volatile std::sig_atomic_t& first, volatile std::sig_atomic_t& count) {
    stopRequest = &first;
    stopCount = &count;
    counted = true;
    Catch();
}

int StopNotices() {
    return -1;
}

void TakeStopNotice(int /*notices*/) {}

int StandardInput() {
    return -1;
}

bool DrainInput() {
    return false;
}

const char* StopRequestName(int request) {
    return request == SIGINT ? "SIGINT" : "SIGTERM";
}

// Nothing to do: Windows has no SIGPIPE or SIGHUP. A write to a pipe whose reader is gone fails with
// ERROR_NO_DATA, which the stream takes as a failed write; a closed console is a stop request.
void IgnoreLostOutput() {}

void SayWhenEndedFirst(const std::string& line) {
    endedFirst = line + "\n";
}

void WriteUtf8ToConsole() {
    static const bool saved = [] {
        userCodePage = GetConsoleOutputCP();  // 0 without a console
        return std::atexit(RestoreCodePage) == 0;
    }();
    (void)saved;
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace kx6000
