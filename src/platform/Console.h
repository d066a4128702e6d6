// The console the command line runs in: which standard streams are terminals, their width, and the
// technician's requests to stop.
#pragma once

#include <csignal>
#include <optional>
#include <string>

namespace kx6000 {

enum class StandardStream { Input, Output, Error };

// The stream's terminal, for TerminalColumns; -1 when the stream is no terminal.
int TerminalOf(StandardStream stream);

// The stream's terminal when it takes the escape sequences that redraw a line in place (turned on where the
// console has them to turn on); -1 when it is no terminal or does not take them, so plain lines are written.
int DrawingTerminal(StandardStream stream);

// The width of the terminal now, so a resized one is followed; nothing when it does not say.
std::optional<int> TerminalColumns(int terminal);

// Ctrl-C and the system's request to end set `request` to the request's number, for the operation to stop
// through its closing steps; a second one ends the program at once.
void CatchStopRequests(volatile std::sig_atomic_t& request);

// Counts Ctrl-C and the system's requests to end in `count`, the first one's number in `first`: for the
// command line's workers, which pass each on.
void CountStopRequests(volatile std::sig_atomic_t& first, volatile std::sig_atomic_t& count);

// For an event loop (the D-Bus service, built where there is D-Bus): a descriptor that becomes readable at
// each Ctrl-C or request to end, one byte each, taken by TakeStopNotice; -1 when it could not be made, and
// always on Windows.
int StopNotices();
void TakeStopNotice(int notices);

// The standard input's descriptor, for an event loop to watch (-1 on Windows); DrainInput takes what is there
// and is false once the input has ended (at once on Windows).
int StandardInput();
bool DrainInput();

// A request's name as the command line reports it: "SIGINT" for Ctrl-C, else "SIGTERM".
const char* StopRequestName(int request);

// A terminal closed, a reader of the output gone or a file-size limit no longer end the program.
void IgnoreLostOutput();

// The line written to stderr when the system ends the program before the closing steps of a stop are done:
// Windows does 5 s after the console closed, a log-off or a shut-down; nothing ends a POSIX program so.
void SayWhenEndedFirst(const std::string& line);

// Text written to the console is taken as UTF-8, as the program's own text is; the console's own code page
// comes back when the program ends.
void WriteUtf8ToConsole();

}  // namespace kx6000
