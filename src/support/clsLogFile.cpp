#include "support/clsLogFile.h"

#include <ctime>
#include <filesystem>
#include <iomanip>
#include <locale>
#include <sstream>
#include <system_error>

#include "platform/Files.h"
#include "platform/Runtime.h"
#include "support/Errors.h"
#include "support/OutsideText.h"
#include "support/Paths.h"
#include "support/Program.h"
#include "support/Version.h"

namespace kx6000 {
namespace {

constexpr std::string_view kStars = "******************************************";
constexpr std::string_view kShortened = "Write Flash Data";

void Show(const std::system_error& error) {
    ShowErrorMessage(error.code().value(), error.code().message());
}

const std::locale& UserLocale() {
    static const std::locale locale = [] {
        try {
            return std::locale("");
        } catch (const std::runtime_error&) {
            return std::locale::classic();
        }
    }();
    return locale;
}

}  // namespace

std::string NowText() {
    std::tm local = LocalTime(std::time(nullptr));
    std::ostringstream text;
    text.imbue(UserLocale());
    text << std::put_time(&local, "%x %X");
    return text.str();
}

clsLogFile::~clsLogFile() {
    Discard();
}

void clsLogFile::Discard() {
    file.Discard();
    fileName.clear();
}

void clsLogFile::WriteLine(std::string_view text) {
    if (!file.IsOpen()) {
        if (FailedFiles.count(fileName)) return;  // its failure is said
        throw std::system_error(std::make_error_code(std::errc::bad_file_descriptor));
    }
    std::string line(text);
    line += "\r\n";
    if (std::error_code error = file.Append(line)) {
        // The log is not written again in this operation: the next lines would fail the same way.
        file.Discard();
        ShowFileFailure(fileName, error);
    }
}

void clsLogFile::OpenLogFile() {
    if (!Debug || file.IsOpen()) return;
    try {
        std::filesystem::path parent = PathOf(fileName).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent);
        if (std::error_code error = file.Open(fileName)) throw std::system_error(error);
        FailedFiles.erase(fileName);
        WriteLine(kStars);
        WriteLine("START LOG (" + NowText() + ")");
        WriteLine("Download Component Version : " + VersionText());
        WriteLine("");
    } catch (const std::system_error& error) {
        file.Discard();
        ShowFileFailure(fileName, error.code());
    }
}

void clsLogFile::CloseLogFile() {
    if (!Debug || (!file.IsOpen() && FailedFiles.count(fileName))) return;  // its failure is said
    try {
        WriteLine("");
        WriteLine("END LOG (" + NowText() + ")");
        WriteLine(kStars);
        if (!file.IsOpen()) return;  // failed on the way, and said
        if (std::error_code error = file.Close()) ShowFileFailure(fileName, error);
    } catch (const std::system_error& error) {
        Show(error);
    }
}

void clsLogFile::WriteToLogFile(std::string& strData) {
    if (!Debug || (!file.IsOpen() && FailedFiles.count(fileName))) return;  // its failure is said
    if (strData.find(kShortened) != std::string::npos) strData = strData.substr(0, 41) + "....";
    try {
        // One entry a line, whatever the radio, a file or another program put in it.
        WriteLine(NowText() + " " + Printable(strData));
    } catch (const std::system_error& error) {
        Show(error);
    }
}

void RotateLogFile(const std::string& current, const std::string& previous) {
    Rotation rotation = RotateFile(current, previous);
    if (rotation.copied) FailedFiles.erase(previous);
    if (rotation.error) ShowFileFailure(rotation.failedPath, rotation.error);
}

}  // namespace kx6000
