#include "files/FileChecks.h"

#include <algorithm>

#include "files/FileHelpers.h"
#include "files/Overlaps.h"
#include "support/Errors.h"

namespace kx6000 {

FileCheck CheckFile(const std::string& file, colFiles& images, ParserState& state, bool tagSearch) {
    FileCheck check;
    check.name = file;
    if (FileExists(file)) {
        check.result = ParseDownloadFile(file, images, state, tagSearch, &check.notes);
        if (!check.notes.refusals.empty()) check.refused = kFileInvalid;
        return check;
    }
    // LoadFiles does not parse it; the parse says why, unless the file is hidden.
    colFiles unused;
    ParserState unchanged = state;
    check.result = ParseDownloadFile(file, unused, unchanged, tagSearch, &check.notes);
    if (check.result == 0) {
        check.result = 33;
        check.notes = {};
        check.notes.failure =
            FileNote{0, "is a hidden file (its name begins with \".\"), which is not loaded"};
    }
    return check;
}

void RefuseRunAddresses(std::vector<FileCheck>& checks, const colFiles& images) {
    std::optional<AddressRefusal> refusal = RefuseAddresses(images);
    if (!refusal) return;
    // The last file of that name: a file named twice is read twice, the later reading holds the image.
    auto file = std::find_if(checks.rbegin(), checks.rend(), [&](const FileCheck& check) {
        return check.name == refusal->image->SourceFile;
    });
    if (file == checks.rend()) return;
    file->notes.refusals.push_back({0, refusal->text});
    file->refused = kAddressError;
}

RunCheck CheckFiles(const std::vector<std::string>& files, bool tagSearch) {
    ParserState state;
    RunCheck run;
    for (const std::string& file : files) run.files.push_back(CheckFile(file, run.images, state, tagSearch));
    RefuseRunAddresses(run.files, run.images);
    return run;
}

std::string UnevenTable(const colFiles& images) {
    for (const colFiles::FilePtr& image : images) {
        const colDefTables& tables = image->Definitiontables();
        for (int32_t t = 0; t < tables.Count(); ++t) {
            DataDefinition table = tables.Item(t);
            size_t digits = 0;
            for (int32_t b = 0; b < table.DataBlocks->Count(); ++b)
                digits += table.DataBlocks->Item(b).size();
            std::string reason = UnevenTableReason(std::stoll(table.Address), digits);
            if (!reason.empty()) return ImageLabel(*image) + ": " + reason;
        }
    }
    return "";
}

int32_t FirstFailure(const std::vector<FileCheck>& checks) {
    auto failed = std::ranges::find_if(checks, [](const FileCheck& check) { return check.result != 0; });
    return failed == checks.end() ? 0 : failed->result;
}

int32_t RunResult(const std::vector<FileCheck>& checks) {
    if (int32_t failed = FirstFailure(checks); failed != 0) return failed;
    auto refused = std::ranges::find_if(checks, [](const FileCheck& check) { return check.refused != 0; });
    return refused == checks.end() ? 0 : refused->refused;
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
