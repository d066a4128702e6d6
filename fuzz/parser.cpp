// The download file parser on arbitrary file contents. The parser takes a path, so each input goes to a
// temporary file first. What must hold: the result is 0, 33 or 34; a parsed image's data blocks are
// upper-case hex of at most 1020 digits; the same bytes parse to the same images again, also when the
// parse explains itself, and it names a failure exactly when there is one; the parse refuses a table that
// is not whole words exactly when the download's own guard finds one in the images.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "files/FileChecks.h"
#include "files/ValidFile.h"
#include "support/Program.h"

namespace {

using namespace kx6000;

// An image down to its data, for comparing two parses.
std::vector<std::string> Describe(const colFiles& files) {
    std::vector<std::string> text;
    for (const auto& file : files) {
        text.push_back(file->Name + "|" + file->TagName + "|" + file->strHardware + "|" + file->strDeviceID +
                       "|" + file->strNetWorkID + "|" + file->strFileType + "|" + file->strFileTerminator +
                       "|" + std::to_string(file->intNumberOfBits()));
        const colDefTables& tables = file->Definitiontables();
        for (int32_t t = 0; t < tables.Count(); ++t) {
            DataDefinition table = tables.Item(t);
            text.push_back(table.Address + "/" + std::to_string(table.Length));
            for (int32_t b = 0; b < table.DataBlocks->Count(); ++b) text.push_back(table.DataBlocks->Item(b));
        }
    }
    return text;
}

bool UpperHex(const std::string& block) {
    for (char c : block)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

const std::string& InputPath() {
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        return std::string(folder && *folder ? folder : "/tmp") + "/kx6000-fuzz-parser-" +
               std::to_string(::getpid()) + ".srec";
    }();
    return path;
}

int32_t Parse(colFiles& files, FileNotes* notes = nullptr) {
    ResetProgramState();
    ParserState state;
    LastError = ParseDownloadFile(InputPath(), files, state, true, notes);
    return LastError;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream file(InputPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file) std::abort();
    }
    colFiles first, second;
    int32_t result = Parse(first);
    if (result != 0 && result != 33 && result != 34) __builtin_trap();
    FileNotes notes;
    if (Parse(second, &notes) != result || Describe(first) != Describe(second)) __builtin_trap();
    if (notes.failure.has_value() != (result != 0) || (notes.failure && notes.failure->text.empty()))
        __builtin_trap();
    if (result != 0) return 0;
    bool unevenNoted = false;
    for (const FileNote& refusal : notes.refusals)
        unevenNoted |= refusal.text.find("not whole 4-digit words") != std::string::npos;
    if (unevenNoted == UnevenTable(first).empty()) __builtin_trap();
    for (const auto& file : first) {
        const colDefTables& tables = file->Definitiontables();
        for (int32_t t = 0; t < tables.Count(); ++t) {
            const colDataBlocks& blocks = *tables.Item(t).DataBlocks;
            for (int32_t b = 0; b < blocks.Count(); ++b) {
                const std::string& block = blocks.Item(b);
                if (block.empty() || block.size() > 1020 || !UpperHex(block)) __builtin_trap();
            }
        }
    }
    return 0;
}
