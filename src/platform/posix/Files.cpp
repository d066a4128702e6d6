#include "platform/Files.h"

#include <fcntl.h>
#include <glob.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kx6000 {
namespace {

std::error_code Error(int number) {
    return {number, std::generic_category()};
}

// Opens `path` with open(2)'s `flags` (mode 0644 when it is created), refusing anything there that is not a
// regular file, nor a link to one, unopened. The descriptor, or -1 with errno set.
int OpenRegular(const std::string& path, int flags) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return errno = EINVAL, -1;
    // Non-blocking, and checked again once open: the path may have been replaced in between.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return errno = EINVAL, -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Writes all of `data` at the end of the file: 0, or the system's reason with nothing of it left behind.
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

}  // namespace

std::vector<std::string> MatchingPaths(const std::string& pattern) {
    // "[" and "\" stand for themselves.
    std::string escaped;
    for (char c : pattern) {
        if (c == '[' || c == '\\') escaped += '\\';
        escaped += c;
    }
    std::vector<std::string> paths;
    glob_t matches{};
    if (glob(escaped.c_str(), GLOB_NOSORT, nullptr, &matches) == 0)
        paths.assign(matches.gl_pathv, matches.gl_pathv + matches.gl_pathc);
    globfree(&matches);
    return paths;
}

std::filesystem::path PathOf(const std::string& name) {
    return name;
}

std::string NameOf(const std::filesystem::path& path) {
    return path.string();
}

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsMissing(std::error_code error) {
    return error.value() == ENOENT || error.value() == ENOTDIR;
}

FileReader::~FileReader() {
    if (handle != -1) ::close(static_cast<int>(handle));
}

std::error_code FileReader::Open(const std::string& path) {
    int fd = OpenRegular(path, O_RDONLY);
    if (fd < 0) return Error(errno);
    handle = fd;
    return {};
}

std::error_code FileReader::Read(char* buffer, size_t size, size_t& got) {
    ssize_t n;
    do n = ::read(static_cast<int>(handle), buffer, size);
    while (n < 0 && errno == EINTR);
    got = n > 0 ? static_cast<size_t>(n) : 0;
    return n < 0 ? Error(errno) : std::error_code{};
}

std::error_code AppendFile::Open(const std::string& path) {
    for (;;) {
        int fd = OpenRegular(path, O_WRONLY | O_CREAT | O_APPEND);
        if (fd < 0) return Error(errno);
        while (::flock(fd, LOCK_SH) != 0) {
            if (errno != EINTR) {
                int error = errno;
                ::close(fd);
                return Error(error);
            }
        }
        struct stat opened {
        }, named{};
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            opened.st_dev == named.st_dev) {
            handle = fd;
            return {};
        }
        ::close(fd);
    }
}

std::error_code AppendFile::Append(std::string_view data) {
    int error = WriteWhole(static_cast<int>(handle), data);
    return error != 0 ? Error(error) : std::error_code{};
}

std::error_code AppendFile::Close() {
    int fd = static_cast<int>(handle);
    handle = -1;
    return ::close(fd) != 0 ? Error(errno) : std::error_code{};
}

void AppendFile::Discard() {
    if (handle != -1) ::close(static_cast<int>(handle));
    handle = -1;
}

std::error_code ReplaceFile(const std::string& path, std::string_view content) {
    std::string temporary = path + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return Error(errno);
    errno = 0;
    struct stat old {};
    bool ok = ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644) == 0 &&
              ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
              ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (ok) return {};
    int error = errno != 0 ? errno : EIO;
    ::unlink(temporary.c_str());
    return Error(error);
}

Rotation RotateFile(const std::string& current, const std::string& previous) {
    int source = OpenRegular(current, O_RDONLY);
    if (source < 0) return errno == ENOENT ? Rotation{} : Rotation{false, current, Error(errno)};
    Rotation rotation;
    // A log open in another process holds a shared lock: it is left where it is, to grow.
    if (::flock(source, LOCK_EX | LOCK_NB) != 0) return ::close(source), rotation;
    std::string temporary = previous + ".XXXXXX";
    int copy = ::mkostemp(temporary.data(), O_CLOEXEC);
    int error = copy < 0 ? errno : CopyWhole(source, copy);
    if (copy >= 0 && ::close(copy) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), previous.c_str()) != 0) error = errno;
    if (error != 0) {
        if (copy >= 0) ::unlink(temporary.c_str());
        rotation = {false, previous, Error(error)};
    } else {
        rotation.copied = true;
        if (::unlink(current.c_str()) != 0) rotation = {true, current, Error(errno)};
    }
    ::close(source);
    return rotation;
}

}  // namespace kx6000
