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

std::vector<std::string> CheckLines(const std::vector<FileCheck>& checks, bool warnings) {
    std::vector<std::string> lines;
    for (const FileCheck& check : checks) {
        std::vector<std::pair<const FileNote*, const char*>> notes;
        if (check.notes.failure) notes.emplace_back(&*check.notes.failure, "error");
        for (const FileNote& note : check.notes.refusals) notes.emplace_back(&note, "error");
        if (warnings) {
            for (const FileNote& note : check.notes.warnings) notes.emplace_back(&note, "warning");
        }
        std::ranges::stable_sort(notes, {}, [](const auto& note) { return note.first->line; });
        for (const auto& [note, kind] : notes) {
            std::string where = note->line != 0 ? check.name + ':' + std::to_string(note->line) : check.name;
            lines.push_back(where + ": " + kind + ": " + note->text);
        }
        if (warnings && check.notes.warningsLeftOut > 0)
            lines.push_back(check.name + ": " + std::to_string(check.notes.warningsLeftOut) +
                            " more warnings");
    }
    return lines;
}

}  // namespace kx6000
