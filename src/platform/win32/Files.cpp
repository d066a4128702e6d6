#include "platform/Files.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

std::error_code LastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

// The folder part of `path`, with its separator; empty for a bare name.
std::string FolderOf(const std::string& path) {
    size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "" : path.substr(0, separator + 1);
}

// Opens `path` with CreateFileW's `access`, `share` and `disposition`, refusing anything there that is not a
// regular disk file (a folder, a device, a pipe); INVALID_HANDLE_VALUE with `error` set.
HANDLE OpenRegular(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                   std::error_code& error) {
    std::wstring wide = SystemPath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        error = kNotRegularFile;
        return INVALID_HANDLE_VALUE;
    }
    // Reading the attributes lets the open file be checked, whatever else it is opened for.
    HANDLE file = CreateFileW(wide.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastError();
        return file;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        error = kNotRegularFile;
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// Writes all of `data`: nothing, or the system's reason.
std::error_code WriteWhole(HANDLE file, std::string_view data) {
    for (size_t done = 0; done < data.size();) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1 << 20));
        if (!WriteFile(file, data.data() + done, chunk, &written, nullptr)) return LastError();
        if (written == 0) return std::make_error_code(std::errc::io_error);
        done += written;
    }
    return {};
}

// A new empty file beside `path` for its next content, named in `temporary`. Named here rather than by
// GetTempFileNameW, which takes no folder beyond 246 characters.
HANDLE CreateBeside(const std::string& path, std::wstring& temporary, std::error_code& error) {
    static unsigned made = 0;
    const std::string beside = FolderOf(path) + "kx6" + std::to_string(GetCurrentProcessId()) + "-";
    for (;;) {
        temporary = SystemPath(beside + std::to_string(++made) + ".tmp");
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS) {
            error = LastError();
            return file;
        }
    }
}

// Flushes and closes the full temporary file and renames it over `path`; removes it on failure.
std::error_code MoveOver(HANDLE file, const std::wstring& temporary, const std::string& path) {
    bool ok = FlushFileBuffers(file) != 0;
    std::error_code error = ok ? std::error_code{} : LastError();
    if (!CloseHandle(file) && ok) ok = false, error = LastError();
    if (ok && !MoveFileExW(temporary.c_str(), SystemPath(path).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ok = false, error = LastError();
    if (!ok) DeleteFileW(temporary.c_str());
    return error;
}

// One log at a time, across this session's processes, is rotated or opened to append: an append never opens
// a log half copied away.
class LogsHeld {
public:
    LogsHeld() : mutex(CreateMutexW(nullptr, FALSE, L"Local\\KX6000DownloadLogs")) {
        if (mutex != nullptr) WaitForSingleObject(mutex, INFINITE);
    }
    ~LogsHeld() {
        if (mutex == nullptr) return;
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    LogsHeld(const LogsHeld&) = delete;
    LogsHeld& operator=(const LogsHeld&) = delete;

private:
    HANDLE mutex;
};

}  // namespace

std::vector<std::string> MatchingPaths(const std::string& pattern) {
    std::vector<std::string> paths;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(SystemPath(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return paths;
    std::string folder = FolderOf(pattern);
    do {
        std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") paths.push_back(folder + Utf8(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return paths;
}

std::filesystem::path PathOf(const std::string& name) {
    return Wide(name);
}

std::string NameOf(const std::filesystem::path& path) {
    return Utf8(path.wstring());
}

bool IsRegularFile(const std::string& path) {
    DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool IsMissing(std::error_code error) {
    return error.value() == ERROR_FILE_NOT_FOUND || error.value() == ERROR_PATH_NOT_FOUND;
}

FileReader::~FileReader() {
    if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

std::error_code FileReader::Open(const std::string& path) {
    std::error_code error;
    HANDLE file = OpenRegular(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              OPEN_EXISTING, error);
    if (file != INVALID_HANDLE_VALUE) handle = reinterpret_cast<std::intptr_t>(file);
    return error;
}

std::error_code FileReader::Read(char* buffer, size_t size, size_t& got) {
    DWORD read = 0;
    DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, MAXDWORD));
    bool ok = ReadFile(reinterpret_cast<HANDLE>(handle), buffer, wanted, &read, nullptr) != 0;
    got = read;
    return ok ? std::error_code{} : LastError();
}

std::error_code AppendFile::Open(const std::string& path) {
    LogsHeld held;
    std::error_code error;
    // Without delete sharing: a rotation in another process sees the log in use and leaves it.
    HANDLE file = OpenRegular(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, error);
    if (file != INVALID_HANDLE_VALUE) handle = reinterpret_cast<std::intptr_t>(file);
    return error;
}

std::error_code AppendFile::Append(std::string_view data) {
    // One write: a disk file takes it whole or not at all, so a failing log never ends in half a line.
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle), data.data(), static_cast<DWORD>(data.size()), &written,
                   nullptr))
        return LastError();
    return written == data.size() ? std::error_code{} : std::make_error_code(std::errc::io_error);
}

std::error_code AppendFile::Close() {
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    handle = -1;
    return CloseHandle(file) ? std::error_code{} : LastError();
}

void AppendFile::Discard() {
    if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
    handle = -1;
}

std::error_code ReplaceFile(const std::string& path, std::string_view content) {
    std::wstring temporary;
    std::error_code error;
    HANDLE file = CreateBeside(path, temporary, error);
    if (file == INVALID_HANDLE_VALUE) return error;
    if ((error = WriteWhole(file, content))) {
        CloseHandle(file);
        DeleteFileW(temporary.c_str());
        return error;
    }
    return MoveOver(file, temporary, path);
}

Rotation RotateFile(const std::string& current, const std::string& previous) {
    LogsHeld held;
    std::error_code error;
    // Delete access, shared with nobody's writing: refused while another process has the log open to append.
    HANDLE source = OpenRegular(current, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING, error);
    if (source == INVALID_HANDLE_VALUE)
        return IsMissing(error) || error.value() == ERROR_SHARING_VIOLATION ? Rotation{}
                                                                            : Rotation{false, current, error};
    Rotation rotation{false, previous, {}};
    std::wstring temporary;
    HANDLE copy = CreateBeside(previous, temporary, rotation.error);
    char buffer[65536];
    for (DWORD got = 1; copy != INVALID_HANDLE_VALUE && !rotation.error && got > 0;) {
        if (!ReadFile(source, buffer, sizeof buffer, &got, nullptr)) rotation.error = LastError();
        if (!rotation.error) rotation.error = WriteWhole(copy, {buffer, got});
    }
    if (copy != INVALID_HANDLE_VALUE && rotation.error) {
        CloseHandle(copy);
        DeleteFileW(temporary.c_str());
    } else if (copy != INVALID_HANDLE_VALUE) {
        rotation.error = MoveOver(copy, temporary, previous);
    }
    if (!rotation.error) {
        rotation = {true, "", {}};
        FILE_DISPOSITION_INFO remove{TRUE};
        if (!SetFileInformationByHandle(source, FileDispositionInfo, &remove, sizeof remove))
            rotation = {true, current, LastError()};
    }
    CloseHandle(source);
    return rotation;
}

}  // namespace kx6000
