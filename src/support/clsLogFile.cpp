#include "support/clsLogFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
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
#include "support/Paths.h"
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

// Writes all of `data` at the end of the file: 0, or the system's reason with nothing of it left behind,
// so a failing log never ends in half a line.
int WriteWhole(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t written = ::write(fd, data.data() + done, data.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            int error = written < 0 ? errno : EIO;
            if (done > 0) (void)::ftruncate(fd, ::lseek(fd, 0, SEEK_CUR) - static_cast<off_t>(done));
            return error;
        }
        done += static_cast<size_t>(written);
    }
    return 0;
}

// Copies the file `from` to the empty file `to` and flushes it to the disk: 0, or the system's reason.
int CopyWhole(int from, int to) {
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) return ::fsync(to) == 0 ? 0 : errno;
        if (int error = WriteWhole(to, {buffer, static_cast<size_t>(got)}); error != 0) return error;
    }
}

// Opens the log for appending under a shared lock, which keeps another process from rotating it while it is
// open. A log rotated away between the open and the lock is opened again at its path.
int OpenShared(const std::string& path) {
    for (;;) {
        int fd = OpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND);
        if (fd < 0) return -1;
        while (::flock(fd, LOCK_SH) != 0) {
            if (errno != EINTR) return ::close(fd), -1;
        }
        struct stat opened {
        }, named{};
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev) {
            return fd;
        }
        ::close(fd);
    }
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

void clsLogFile::WriteLine(std::string_view text) {
    if (fileNumber < 0) {
        if (FailedFiles.count(fileName)) return;  // its failure is said
        throw SystemError(EBADF);
    }
    std::string line(text);
    line += "\r\n";
    if (int error = WriteWhole(fileNumber, line); error != 0) {
        // The log is not written again in this operation: the next lines would fail the same way.
        ::close(std::exchange(fileNumber, -1));
        ShowFileFailure(fileName, error);
    }
}

void clsLogFile::OpenLogFile() {
    if (!Debug || fileNumber >= 0) return;
    try {
        std::filesystem::path parent = std::filesystem::path(fileName).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent);
        fileNumber = OpenShared(fileName);
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
        if (fileNumber < 0) return;  // failed on the way, and said
        int closing = std::exchange(fileNumber, -1);
        if (::close(closing) != 0) ShowFileFailure(fileName, errno);
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

void RotateLogFile(const std::string& current, const std::string& previous) {
    int source = OpenRegularFile(current, O_RDONLY);
    if (source < 0) {
        if (errno != ENOENT) ShowFileFailure(current, errno);
        return;
    }
    // A log open in another process holds a shared lock: it is left where it is, to grow.
    if (::flock(source, LOCK_EX | LOCK_NB) != 0) return void(::close(source));
    std::string temporary = previous + ".XXXXXX";
    int copy = ::mkostemp(temporary.data(), O_CLOEXEC);
    int error = copy < 0 ? errno : CopyWhole(source, copy);
    if (copy >= 0 && ::close(copy) != 0 && error == 0) error = errno;
    // The previous log is replaced only by a whole copy, so a failure leaves both logs as they were.
    if (error == 0 && ::rename(temporary.c_str(), previous.c_str()) != 0) error = errno;
    if (error != 0) {
        if (copy >= 0) ::unlink(temporary.c_str());
        ShowFileFailure(previous, error);
    } else {
        FailedFiles.erase(previous);
        if (::unlink(current.c_str()) != 0) ShowFileFailure(current, errno);
    }
    ::close(source);
}

}  // namespace kx6000
