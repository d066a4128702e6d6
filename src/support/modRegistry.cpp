#include "support/modRegistry.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "support/Errors.h"
#include "support/Paths.h"
#include "support/Program.h"

namespace kx6000::modRegistry {
namespace {

constexpr std::string_view kSection = "KX6100_RLDC";

std::string_view Trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

// The section name of a "[name]" line; nothing for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    return Trim(line.substr(1, line.size() - 2));
}

// The name of a "name = value" line, or empty.
std::string_view NameOf(std::string_view line) {
    size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view{} : Trim(line.substr(0, equals));
}

std::string_view ValueOf(std::string_view line) {
    return Trim(line.substr(line.find('=') + 1));
}

// The file's lines; nothing when it cannot be read (errno says why), an empty list when it does not exist.
std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
    int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::vector<std::string>{};
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    for (ssize_t got = 0;;) {
        got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            content.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            int error = errno;
            ::close(fd);
            if (got < 0) return errno = error, std::nullopt;
            break;
        }
    }
    std::vector<std::string> lines;
    std::istringstream text(content);
    for (std::string line; std::getline(text, line);) lines.push_back(std::move(line));
    return lines;
}

struct Place {
    std::optional<size_t> value;    // the line holding the value
    std::optional<size_t> section;  // the last line belonging to our section
};

Place Find(const std::vector<std::string>& lines, std::string_view valueName) {
    Place place;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto section = SectionOf(lines[i])) {
            inSection = SameName(*section, kSection);
            if (inSection) place.section = i;
        } else if (inSection) {
            if (!Trim(lines[i]).empty()) place.section = i;
            if (!place.value && SameName(NameOf(lines[i]), valueName)) place.value = i;
        }
    }
    return place;
}

// Writes the lines to a temporary file beside `path` and renames it over `path`; a symbolic link is followed,
// so the file it names is the one replaced and the link stays.
bool ReplaceFile(const std::string& link, const std::vector<std::string>& lines) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(link, error);
    const std::string path = error ? link : resolved.string();
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, error);
    std::string content;
    for (const std::string& line : lines) content += line + "\n";

    std::string temporary = path + ".XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    struct stat old {};
    bool ok = ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644) == 0 &&
              ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
              ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

}  // namespace

std::string GetRegistryValue(const std::string& valueName, const std::string& defaultValue) {
    std::string path = SettingsPath();
    auto lines = ReadLines(path);
    if (!lines) {
        ShowFileFailure(path, errno);
        return defaultValue;
    }
    Place place = Find(*lines, valueName);
    return place.value ? std::string(ValueOf((*lines)[*place.value])) : defaultValue;
}

void SaveRegistryValue(const std::string& valueName, const std::string& value) {
    // A line break would split the value over two lines and corrupt the file.
    if (value.find_first_of("\r\n") != std::string::npos || Trim(valueName).empty()) return;
    std::string path = SettingsPath();
    auto lines = ReadLines(path);
    if (!lines)
        return ShowFileFailure(path, errno != 0 ? errno : EIO);  // rewriting it would lose what it holds
    std::string line = valueName + "=" + value;
    Place place = Find(*lines, valueName);
    if (place.value) {
        (*lines)[*place.value] = line;
    } else if (place.section) {
        lines->insert(lines->begin() + static_cast<long>(*place.section) + 1, line);
    } else {
        lines->push_back("[" + std::string(kSection) + "]");
        lines->push_back(line);
    }
    errno = 0;
    if (ReplaceFile(path, *lines)) {
        FailedFiles.erase(path);
    } else {
        ShowFileFailure(path, errno != 0 ? errno : EIO);
    }
}

}  // namespace kx6000::modRegistry
