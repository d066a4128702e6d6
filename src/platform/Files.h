// Files as the component uses them: download and settings files read in chunks, logs appended a line at a
// time, the settings file replaced whole, a log rotated. Only regular files are opened: a FIFO is not
// waited on and a device is not woken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kx6000 {

// The error a file that is not a regular one (a folder, a FIFO, a device) is refused with.
inline const std::error_code kNotRegularFile = std::make_error_code(std::errc::invalid_argument);

// A file name (UTF-8) as std::filesystem takes it, and back: on Windows a narrow name would be read in the
// ANSI code page, which holds few of the names a technician may give.
std::filesystem::path PathOf(const std::string& name);
std::string NameOf(const std::filesystem::path& path);

// True when a regular file is at `path` (following links), not a folder, a device or a pipe.
bool IsRegularFile(const std::string& path);

// True when the error says there is no such file.
bool IsMissing(std::error_code error);

// The paths matching `pattern`, where only "*" and "?" are wildcards, in no particular order.
std::vector<std::string> MatchingPaths(const std::string& pattern);

// A regular file read from its start.
class FileReader {
public:
    FileReader() = default;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    ~FileReader();

    std::error_code Open(const std::string& path);
    // Reads up to `size` bytes; `got` is 0 at the end of the file.
    std::error_code Read(char* buffer, size_t size, size_t& got);

private:
    std::intptr_t handle = -1;
};

// A log open for appending, under a shared lock that keeps another process from rotating it.
class AppendFile {
public:
    AppendFile() = default;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile() { Discard(); }

    bool IsOpen() const { return handle != -1; }
    // Opens (creating) the file at `path`; a file rotated away meanwhile is opened again at its path.
    std::error_code Open(const std::string& path);
    // Writes all of `data` at the end, or nothing of it: a failing log never ends in half a line.
    std::error_code Append(std::string_view data);
    std::error_code Close();
    // Closes without telling of a failure.
    void Discard();

private:
    std::intptr_t handle = -1;
};

// Replaces the file at `path` with `content` at once: a temporary file beside it, renamed over it, keeping
// its permissions. A failure leaves the old file whole.
std::error_code ReplaceFile(const std::string& path, std::string_view content);

// The rotation of a log: `current` copied whole over `previous`, then removed, unless another process has
// it open. A failure names its file; `previous` is replaced only by a whole copy.
struct Rotation {
    bool copied = false;
    std::string failedPath;
    std::error_code error;
};
Rotation RotateFile(const std::string& current, const std::string& previous);

}  // namespace kx6000
