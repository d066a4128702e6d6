#include "files/ValidFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "files/Records.h"
#include "support/Hex.h"

namespace kx6000 {
namespace {

using namespace records;

constexpr size_t kBlockDigits = 1020;
constexpr const char* kLineFeedAlone = "line feed without carriage return: lines must end with CR LF or CR";

class Parser {
public:
    Parser(const std::string& path, colFiles& files, ParserState& state, bool tagSearch, FileNotes* notes)
        : reader(path),
          path(path),
          key(path),
          files(files),
          state(state),
          tagSearch(tagSearch),
          notes(notes) {}

    // Image after image until the end of the file.
    void Run() {
        std::string_view line;
        while (ReadHeader(line)) {
            ReadData(line);
            imageCompleted = true;
            if (notes) ++notes->wholeImages;
        }
    }

    // Each kind of flawed line is refused once, at its first line, saying how many more lines share it.
    void CountRefusedLines() {
        for (size_t kind = 0; kind < kLineFlaws; ++kind) {
            if (flawedLines[kind] > 1)
                notes->refusals[flawNote[kind]].text +=
                    " (and " + std::to_string(flawedLines[kind] - 1) + " more lines like it)";
        }
    }

    // Where and why the parse failed; a line feed alone that joined the lines read is the likelier cause.
    FileNote Explain(const ParseFailure& failure) const {
        if (failure.line == kCurrentLine) {
            bool joined = current.find('\n') != std::string_view::npos;
            return {reader.Number(), joined ? kLineFeedAlone : failure.reason};
        }
        if (failure.atEnd && firstLineFeed != 0) return {firstLineFeed, kLineFeedAlone};
        return {failure.line, failure.reason};
    }

private:
    bool Next(std::string_view& line) {
        if (!reader.Next(line)) {
            current = {};
            return false;
        }
        current = line;
        scan = ScanLine(line);
        if (notes) NoteLine(line);
        return true;
    }

    // The header part of an image; true with its first data record in `line`,
    // false at a proper end of the file.
    bool ReadHeader(std::string_view& line) {
        bool headerSeen = false;
        for (;;) {
            if (!Next(line)) {
                if (imageCompleted) return false;
                if (headerLine == 0) throw ParseFailure{kFileInvalid, "no image in the file", 0, true};
                throw ParseFailure{kFileInvalid, "\"S0\" line without data records", headerLine, true};
            }
            if (line.empty()) continue;
            std::string_view type = line.substr(0, 2);
            if (type == "//" || type == "CI") continue;
            if (type == "MD") {
                if (size_t comma = line.find(','); comma != std::string_view::npos) {
                    hardware = Mid(line, 5, 5);
                    device = Mid(line, comma + 2, 2);
                }
            } else if (type == "DW") {
                state.DataWidth = ReadWidth(line);
                widthLine = reader.Number();
            } else if (type == "S0") {
                StartImage(line);
                headerSeen = true;
                headerLine = reader.Number();
            } else if (type == "S1" || type == "S2" || type == "S3") {
                state.AddressDigits = static_cast<int16_t>(2 * (type[1] - '0') + 2);
                if (!files.Exists(key))
                    throw ParseFailure{kFileMissing, "a data record before the first \"S0\" line"};
                image = files.Item(key);
                image->strFileType = type;
                image->strFileTerminator = type == "S1" ? "S9" : type == "S2" ? "S8" : "S7";
                if (!headerSeen)
                    throw ParseFailure{kFileInvalid, "data record after the terminator on line " +
                                                         std::to_string(terminatorLine) +
                                                         " without a new \"S0\" line"};
                return true;
            } else {
                throw ParseFailure{kFileInvalid, "unknown line type " + Shown(type)};
            }
        }
    }

    void StartImage(std::string_view line) {
        if (imageCompleted) {
            key += "1";
            ++imageInFile;
            imageCompleted = false;
        }
        auto file = std::make_shared<clsFile>();
        file->SourceFile = path;
        file->ImageInFile = imageInFile;
        if (state.DataWidth == 0) state.DataWidth = 16;
        file->intNumberOfBits(state.DataWidth);
        file->TagName = DecodeHeaderText(line);
        if (!hardware.empty()) {
            file->strHardware = hardware;
            file->strDeviceID = device;
            file->strNetWorkID = "00";
        }
        files.Add(std::move(file), key);
    }

    // A run of contiguous addresses as the radio will be sent it.
    struct Table {
        int32_t address = 0;
        size_t digits = 0;
        int32_t unevenLine = 0;  // the first record whose data is not whole 4-digit words
    };

    // The data records from `line` to the image's terminator, gathered into
    // runs of contiguous addresses cut into blocks of 1020 digits.
    void ReadData(std::string_view line) {
        if (state.DataWidth / 8 == 0)
            throw ParseFailure{kFileInvalid,
                               "a word of " + std::to_string(state.DataWidth) + " bits holds no whole byte",
                               widthLine};
        colDefTables& tables = image->Definitiontables();
        std::shared_ptr<colDataBlocks> blocks;
        std::string block;  // the data block being filled
        int32_t tableLength = 0;
        int64_t expected = 0;
        Table table;
        while (line.substr(0, 2) != image->strFileTerminator) {
            if (line.substr(0, 2) != image->strFileType)
                throw ParseFailure{kFileInvalid, "expected an \"" + image->strFileType +
                                                     "\" record or the \"" + image->strFileTerminator +
                                                     "\" terminator, found " + Shown(line.substr(0, 2))};
            Record record = ReadRecord(line, state.AddressDigits, state.DataWidth);
            if (!blocks || record.address != expected) {
                if (tableLength != 0) tables.SetLength(std::exchange(tableLength, 0));
                if (!block.empty()) blocks->Add(std::exchange(block, {}));
                if (notes && blocks) NoteTable(table);
                table = {record.address};
                tables.Add(record.address);
                blocks = tables.Item(tables.Count() - 1).DataBlocks;
            }
            if (notes) NoteRecord(record, table);
            tableLength += record.words;
            AppendData(record.data, block, *blocks);
            expected = int64_t{record.address} + record.words;
            if (!Next(line))
                throw ParseFailure{kFileMissing,
                                   "no \"" + image->strFileTerminator + "\" terminator for the image \"" +
                                       image->TagName + "\" begun at line " + std::to_string(headerLine),
                                   headerLine, true};
        }
        terminatorLine = reader.Number();
        if (tableLength != 0) tables.SetLength(tableLength);
        if (!block.empty()) blocks->Add(std::move(block));
        if (notes) NoteTable(table);
        if (tagSearch && !image->TagName.starts_with("ZMA")) image->ParseFile();
    }

    // Appends data text in upper case, the form the radio conversation carries, to the block being filled;
    // a full block goes to the table at once, so no data is copied twice.
    void AppendData(std::string_view hex, std::string& block, colDataBlocks& blocks) const {
        // A non-hex character somewhere on the line, or data running into the blanks and line feeds the scan
        // left out at its end: the data must hold none.
        if ((scan.flags & kNotHex) || hex.data() + hex.size() > scan.digits.data() + scan.digits.size()) {
            for (char c : hex) {
                if (Digit(c) & kNotHex)
                    throw ParseFailure{kFileInvalid,
                                       "the data holds " + Shown({&c, 1}) + ", not a hex digit"};
            }
        }
        bool lower = (scan.flags & (kLower | kNotHex)) != 0;
        while (!hex.empty()) {
            if (block.empty()) block.reserve(kBlockDigits);
            size_t at = block.size(), take = std::min(kBlockDigits - at, hex.size());
            block.append(hex.substr(0, take));
            for (size_t i = at; lower && i < block.size(); ++i)
                block[i] = "0123456789ABCDEF"[Digit(block[i]) & 15];
            hex.remove_prefix(take);
            if (block.size() == kBlockDigits) blocks.Add(std::exchange(block, {}));
        }
    }

    enum LineFlaw : size_t { kCountFlaw, kLineFeedFlaw, kPartWordFlaw, kLineFlaws };

    // What would lose data on its way to the radio; nothing is sent for it.
    void Refuse(LineFlaw kind, int32_t line, std::string text) {
        if (flawedLines[kind]++ > 0) return;
        flawNote[kind] = notes->refusals.size();
        notes->refusals.push_back({line, std::move(text)});
    }

    void Warn(int32_t line, std::string text) {
        if (notes->warnings.size() < FileNotes::kWarningsKept) {
            notes->warnings.push_back({line, std::move(text)});
        } else {
            ++notes->warningsLeftOut;
        }
    }

    // A line feed alone joins the next line to this one; a count that disagrees with the line's length
    // means a record cut short or run into another. Both lose data. A wrong checksum is only said: the
    // parse reads every byte the record holds, and some tools write a placeholder checksum.
    void NoteLine(std::string_view line) {
        int32_t number = reader.Number();
        bool record = line.size() > 1 && line[0] == 'S' && AddressDigits(line[1]) != 0;
        if (!record || (scan.flags & kNotHex)) {  // only then can the line hold a line feed
            if (size_t feed = line.find('\n'); feed != std::string_view::npos) {
                if (firstLineFeed == 0) firstLineFeed = number;
                if (line.find_first_not_of(" \t\n", feed) != std::string_view::npos)
                    Refuse(kLineFeedFlaw, number,
                           "line feed without carriage return: what follows it is read as part of this line");
            }
        }
        std::string_view digits = scan.digits;
        if (!record || digits.size() < 2 || ((Digit(digits[0]) | Digit(digits[1])) & kNotHex)) return;
        uint32_t count = (Digit(digits[0]) & 15u) << 4 | (Digit(digits[1]) & 15u);
        if (digits.size() != 2 * count + 2) {
            Refuse(kCountFlaw, number,
                   "the count says " + std::to_string(count) + " bytes (" + std::to_string(2 * count) +
                       " digits) follow it, the line holds " + std::to_string(digits.size() - 2) +
                       " characters after it");
            return;
        }
        if (scan.flags & kNotHex) return;
        uint32_t given = *ParseHex(digits.substr(digits.size() - 2));
        uint32_t right = ~(scan.sum - given) & 0xFF;
        if (given != right)
            Warn(number, "checksum is " + ToHex(given, 2) + ", the record's bytes give " + ToHex(right, 2));
    }

    void NoteRecord(const Record& record, Table& table) {
        int32_t bytesPerWord = state.DataWidth / 8;
        if (record.bytes % bytesPerWord != 0)
            Refuse(kPartWordFlaw, reader.Number(),
                   std::to_string(record.bytes) + " data bytes are not whole " +
                       std::to_string(state.DataWidth) + "-bit words: the last " +
                       std::to_string(record.bytes % bytesPerWord) + " would be left out");
        table.digits += record.data.size();
        if (record.data.size() % 4 != 0 && table.unevenLine == 0) table.unevenLine = reader.Number();
    }

    void NoteTable(const Table& table) {
        std::string reason = UnevenTableReason(table.address, table.digits);
        if (!reason.empty()) notes->refusals.push_back({table.unevenLine, reason});
    }

    LineReader reader;
    std::string path;  // as named, for what the technician is shown
    std::string key;
    int32_t imageInFile = 1;
    colFiles& files;
    ParserState& state;
    bool tagSearch;
    FileNotes* notes;
    bool imageCompleted = false;
    std::string hardware, device;  // from the last "MD" line with a comma, for every later image
    colFiles::FilePtr image;
    std::string_view current;                                   // the line read last
    int32_t headerLine = 0, widthLine = 0, terminatorLine = 0;  // the last of each
    int32_t firstLineFeed = 0;                                  // the first line holding a line feed alone
    Scan scan;                                                  // of the line read last
    std::array<size_t, kLineFlaws> flawNote{};                  // each kind's refusal
    std::array<int32_t, kLineFlaws> flawedLines{};              // lines of each kind, the first included
};

}  // namespace

int32_t ParseDownloadFile(const std::string& strFileName, colFiles& files, ParserState& state, bool tagSearch,
                          FileNotes* notes) {
    std::optional<Parser> parser;
    try {
        parser.emplace(strFileName, files, state, tagSearch, notes);
        parser->Run();
        if (notes) parser->CountRefusedLines();
        return 0;
    } catch (const ParseFailure& failure) {
        if (notes && parser) parser->CountRefusedLines();
        if (notes)
            notes->failure = parser ? parser->Explain(failure) : FileNote{failure.line, failure.reason};
        return failure.number;
    } catch (const std::exception& error) {
        if (notes) notes->failure = FileNote{0, error.what()};
        return kFileMissing;  // any other failure of the platform during the parse
    }
}

std::string UnevenTableReason(int64_t address, size_t digits) {
    if (digits % 4 == 0) return "";
    return "the table at address 0x" + ToHex(static_cast<uint32_t>(address), 8) + " holds " +
           std::to_string(digits) +
           " data digits, not whole 4-digit words: the radio refuses it (error 54) after "
           "erasing its flash";
}

}  // namespace kx6000
