// Error numbers, their texts, and the common error message box.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace kx6000 {

// The error numbers the component gives; each one's message is resource text 10000 + its number.
enum ErrorNumber : int32_t {
    kSuccess = 0,
    kUserCancelled = 1,
    kConfigurationListTooLong = 2,
    kNoSuchPort = 11,
    kPortInUse = 12,
    kPortInUseHere = 13,
    kPortTimedOut = 14,
    kPortFailed = 15,
    kDidNotReset = 21,
    kDidNotLogOn = 22,
    kDidNotComplete = 23,
    kRadioNotSupported = 24,
    kHardwareMismatch = 25,
    kFileSelectionCancelled = 31,
    kNoFileSelected = 32,
    kFileMissing = 33,
    kFileInvalid = 34,
    kFileNotPermitted = 35,
    kUpgradeFileMissing = 36,
    kTimerFailed = 41,
    kNoResponse = 42,
    kDataLate = 43,
    kMaximumTime = 44,
    kUnknownRadioError = 51,
    kAddressError = 52,
    kDataError = 53,
    kWrongLength = 54,
    kChecksumError = 55,
    kBaudRateFailed = 56,
    kNoData = 57,
    kRetriesExceeded = 58,
    kBlockListError = 59,
};

// The message of error n: resource text 10000 + n ("Success" for 0).
std::string ErrorMessage(int32_t n);

// What the status panel shows for a failure: "Error " + n + " - " + message.
std::string ErrorStatusText(int32_t n);

// The common message box for an unexpected failure inside a small routine:
// "Error " + number + " " + description, with an OK button. It goes to the
// installed error box (the window's, or the terminal's), else to stderr.
void ShowErrorMessage(int number, std::string_view description);
// A log or settings file that failed: shown once with its name and the system's reason, until it works again.
// A file that is not a regular one is said so. A log's failure is the component's error box ("Error 13
// PATH: ..."); with `what` ("settings file") it is said as the system's tools say it, with no number to be
// taken for one of the component's: "settings file PATH: Permission denied".
void ShowFileFailure(const std::string& path, std::error_code error, std::string_view what = {});

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
