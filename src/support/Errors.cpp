#include "support/Errors.h"

#include <iostream>

#include "platform/Files.h"
#include "resources/ResourceTexts.h"
#include "support/Program.h"

namespace kx6000 {

std::string ErrorMessage(int32_t n) {
    return std::string(LoadResString(10000 + n));
}

std::string ErrorStatusText(int32_t n) {
    return "Error " + std::to_string(n) + " - " + ErrorMessage(n);
}

namespace {

void ShowText(const std::string& text) {
    if (ErrorBox) {
        ErrorBox(text);
    } else {
        std::cerr << text << '\n';
    }
}

}  // namespace

void ShowFileFailure(const std::string& path, std::error_code error, std::string_view what) {
    if (!FailedFiles.insert(path).second) return;
    const std::string said =
        path + ": " + (error == kNotRegularFile ? "not a regular file" : error.message());
    if (what.empty()) return ShowErrorMessage(error.value(), said);
    ShowText(std::string(what) + " " + said);
}

void ShowErrorMessage(int number, std::string_view description) {
    ShowText("Error " + std::to_string(number) + " " + std::string(description));
}

RuntimeFailure InvalidArgument() {
    return {5, "Invalid procedure call or argument"};
}

RuntimeFailure TypeMismatch() {
    return {13, "Type mismatch"};
}

}  // namespace kx6000
