#include "support/clsLogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <locale>
#include <sstream>
#include <system_error>
#include <utility>

#include "support/Errors.h"
#include "support/Program.h"
#include "support/Version.h"

namespace kx6000 {
namespace {

constexpr std::string_view kStars = "******************************************";
constexpr std::string_view kShortened = "Write Flash Data";

std::system_error SystemError(int number) {
    return {number, std::generic_category()};
}

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
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::ostringstream text;
    text.imbue(UserLocale());
    text << std::put_time(&local, "%x %X");
    return text.str();
}

clsLogFile::~clsLogFile() {
    Discard();
}

void clsLogFile::Discard() {
    if (fileNumber >= 0) ::close(fileNumber);
    fileNumber = -1;
    fileName.clear();
}

void clsLogFile::WriteLine(std::string_view text) const {
    if (fileNumber < 0) throw SystemError(EBADF);
    std::string line(text);
    line += "\r\n";
    ssize_t written = ::write(fileNumber, line.data(), line.size());
    if (written < 0) throw SystemError(errno);
    if (static_cast<size_t>(written) != line.size()) throw SystemError(ENOSPC);
}

void clsLogFile::OpenLogFile() {
    if (!Debug || fileNumber >= 0) return;
    try {
        std::filesystem::path parent = std::filesystem::path(fileName).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent);
        fileNumber = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fileNumber < 0) throw SystemError(errno);
        FailedFiles.erase(fileName);
        WriteLine(kStars);
        WriteLine("START LOG (" + NowText() + ")");
        WriteLine("Download Component Version : " + VersionText());
        WriteLine("");
    } catch (const std::system_error& error) {
        if (fileNumber >= 0) ::close(fileNumber);
        fileNumber = -1;
        ShowFileFailure(fileName, error.code().value());
    }
}

void clsLogFile::CloseLogFile() {
    if (!Debug || (fileNumber < 0 && FailedFiles.count(fileName))) return;  // its failure is said
    try {
        WriteLine("");
        WriteLine("END LOG (" + NowText() + ")");
        WriteLine(kStars);
        int closing = std::exchange(fileNumber, -1);
        if (::close(closing) != 0) throw SystemError(errno);
    } catch (const std::system_error& error) {
        Show(error);
    }
}

void clsLogFile::WriteToLogFile(std::string& strData) {
    if (!Debug || (fileNumber < 0 && FailedFiles.count(fileName))) return;  // its failure is said
    if (strData.find(kShortened) != std::string::npos) strData = strData.substr(0, 41) + "....";
    try {
        WriteLine(NowText() + " " + strData);
    } catch (const std::system_error& error) {
        Show(error);
    }
}

}  // namespace kx6000
