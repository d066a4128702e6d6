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

void ShowFileFailure(const std::string& path, std::error_code error) {
    if (FailedFiles.insert(path).second) {
        ShowErrorMessage(error.value(),
                         path + ": " + (error == kNotRegularFile ? "not a regular file" : error.message()));
    }
}

void ShowErrorMessage(int number, std::string_view description) {
    std::string text = "Error " + std::to_string(number) + " " + std::string(description);
    if (ErrorBox) {
        ErrorBox(text);
    } else {
        std::cerr << text << '\n';
    }
}

RuntimeFailure InvalidArgument() {
    return {5, "Invalid procedure call or argument"};
}

RuntimeFailure TypeMismatch() {
    return {13, "Type mismatch"};
}

}  // namespace kx6000
