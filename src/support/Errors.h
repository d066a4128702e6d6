// Error numbers, their texts, and the common error message box.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kx6000 {

// The message of error n: resource text 10000 + n ("Success" for 0).
std::string ErrorMessage(int32_t n);

// What the status panel shows for a failure: "Error " + n + " - " + message.
std::string ErrorStatusText(int32_t n);

// The common message box for an unexpected failure inside a small routine:
// "Error " + number + " " + description, with an OK button. It goes to the
// installed error box (the window's, or the terminal's), else to stderr.
void ShowErrorMessage(int number, std::string_view description);
// A log or settings file that failed: shown once with its name and the system's reason, until it works again.
// EINVAL is what the platform's files give for a file that is not a regular one, and is said so.
void ShowFileFailure(const std::string& path, int error);

// An unexpected failure inside a small routine, for ShowErrorMessage or for the
// routine's caller to map onto an error number.
struct RuntimeFailure : std::runtime_error {
    RuntimeFailure(int number, const std::string& description)
        : std::runtime_error(description), number(number) {}
    int number;
};

// An index or key that names nothing, a value out of range (number 5).
RuntimeFailure InvalidArgument();
// A text that should be a number and is not (number 13).
RuntimeFailure TypeMismatch();

}  // namespace kx6000
