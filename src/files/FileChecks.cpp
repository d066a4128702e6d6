#include "files/FileChecks.h"

#include <algorithm>

namespace kx6000 {

std::vector<FileCheck> CheckFiles(const std::vector<std::string>& files) {
    ParserState state;
    colFiles images;
    std::vector<FileCheck> checks;
    for (const std::string& file : files) {
        FileCheck& check = checks.emplace_back();
        check.name = file;
        check.result = ParseDownloadFile(file, images, state, false, &check.notes);
    }
    return checks;
}

bool AnyRefusal(const std::vector<FileCheck>& checks) {
    return std::ranges::any_of(checks, [](const FileCheck& check) { return !check.notes.refusals.empty(); });
}

}  // namespace kx6000
