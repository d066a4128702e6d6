// The settings as an INI file: values in section [KX6100_RLDC], the file replaced whole at each save.
#include "platform/Settings.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Places.h"
#include "platform/posix/SettingsFile.h"

namespace kx6000 {
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

// The file's lines; nothing when it cannot be read (`error` says why), an empty list when it does not exist.
std::optional<std::vector<std::string>> ReadLines(const std::string& path, std::error_code& error) {
    FileReader file;
    if ((error = file.Open(path))) {
        if (IsMissing(error)) return error.clear(), std::vector<std::string>{};
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    for (size_t got = 0; !(error = file.Read(buffer, sizeof buffer, got)) && got > 0;)
        content.append(buffer, got);
    if (error) return std::nullopt;
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
std::error_code ReplaceLines(const std::string& link, const std::vector<std::string>& lines) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(link, error);
    const std::string path = error ? link : resolved.string();
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, error);
    std::string content;
    for (const std::string& line : lines) content += line + "\n";

    return ReplaceFile(path, content);
}

}  // namespace

const char* const kSettingsKind = "settings file";

std::string SettingsPlace(const std::string& /*name: a file is read whole*/) {
    std::string path = Environment("KX6000_SETTINGS");
    return !path.empty() ? path : DefaultSettingsPath();
}

std::optional<std::string> ReadSetting(const std::string& name, std::error_code& error) {
    auto lines = ReadLines(SettingsPlace(), error);
    if (!lines) return std::nullopt;
    Place place = Find(*lines, name);
    if (!place.value) return std::nullopt;
    return std::string(ValueOf((*lines)[*place.value]));
}

std::error_code WriteSetting(const std::string& name, const std::string& value) {
    // A line break would split the value over two lines and corrupt the file.
    if (value.find_first_of("\r\n") != std::string::npos || Trim(name).empty()) return {};
    std::string path = SettingsPlace();
    std::error_code error;
    auto lines = ReadLines(path, error);
    if (!lines) return error;  // rewriting it would lose what it holds
    std::string line = name + "=" + value;
    Place place = Find(*lines, name);
    if (place.value) {
        (*lines)[*place.value] = line;
    } else if (place.section) {
        lines->insert(lines->begin() + static_cast<long>(*place.section) + 1, line);
    } else {
        lines->push_back("[" + std::string(kSection) + "]");
        lines->push_back(line);
    }
    return ReplaceLines(path, *lines);
}

}  // namespace kx6000
