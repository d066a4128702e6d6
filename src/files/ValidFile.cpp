#include "files/ValidFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "support/Hex.h"

namespace kx6000 {
namespace {

constexpr int32_t kFileMissing = 33;
constexpr int32_t kFileInvalid = 34;
constexpr size_t kBlockDigits = 1020;

constexpr int32_t kCurrentLine = -1;
constexpr const char* kLineFeedAlone = "line feed without carriage return: lines must end with CR LF or CR";

struct ParseFailure {
    int32_t number;
    std::string reason;
    int32_t line = kCurrentLine;  // 0: the file as a whole
    bool atEnd = false;           // found at the end of the file, where a line feed alone may be the cause
};

// `text` in quotes, with what a terminal cannot show as \xNN.
std::string Shown(std::string_view text) {
    if (text.empty()) return "an empty line";
    std::string shown = "\"";
    for (char c : text) {
        if (c >= ' ' && c <= '~') {
            shown += c;
        } else {
            shown += "\\x" + ToHex(static_cast<unsigned char>(c), 2);
        }
    }
    return shown + '"';
}

// Reads lines ended by CR LF or CR; a line feed alone is part of the line.
class LineReader {
public:
    explicit LineReader(const std::string& path)
        : fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)), buffer(256 * 1024) {
        struct stat info {};
        // Anything but a regular file (a folder, a FIFO, a device) is no download file.
        if (fd < 0 || ::fstat(fd, &info) != 0)
            throw ParseFailure{kFileMissing, std::string("cannot be read: ") + std::strerror(errno), 0};
        if (!S_ISREG(info.st_mode)) throw ParseFailure{kFileMissing, "is not a regular file", 0};
    }
    ~LineReader() {
        if (fd >= 0) ::close(fd);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line without its end, valid until the next call; false at the end of the file.
    bool Next(std::string_view& line) {
        if (skipLineFeed) {
            skipLineFeed = false;
            if ((begin < end || Fill()) && buffer[begin] == '\n') ++begin;
        }
        longLine.clear();
        bool partial = false;
        for (;;) {
            if (begin == end && !Fill()) {
                line = longLine;
                number += partial;
                return partial;
            }
            const char* start = buffer.data() + begin;
            size_t available = end - begin;
            const char* cr = static_cast<const char*>(std::memchr(start, '\r', available));
            if (cr == nullptr) {
                longLine.append(start, available);
                begin = end;
                partial = true;
                continue;
            }
            size_t length = static_cast<size_t>(cr - start);
            begin += length + 1;
            if (begin == end) {
                skipLineFeed = true;
            } else if (buffer[begin] == '\n') {
                ++begin;
            }
            if (!partial) {
                line = {start, length};
            } else {
                line = longLine.append(start, length);
            }
            ++number;
            return true;
        }
    }

    // The number of the last line read, from 1.
    int32_t Number() const { return number; }

private:
    bool Fill() {
        ssize_t n;
        do n = ::read(fd, buffer.data(), buffer.size());
        while (n < 0 && errno == EINTR);
        if (n < 0)
            throw ParseFailure{kFileMissing, std::string("cannot be read: ") + std::strerror(errno), 0};
        begin = 0;
        end = static_cast<size_t>(n);
        return n > 0;
    }

    int fd;
    std::vector<char> buffer;
    size_t begin = 0, end = 0;
    bool skipLineFeed = false;  // the last line ended with the buffer's last byte, a CR
    std::string longLine;       // a line that ran over the end of the buffer
    int32_t number = 0;
};

// Characters from 1-based `position`, fewer or none at the end of the line.
std::string_view Mid(std::string_view line, size_t position, size_t length = std::string_view::npos) {
    return position - 1 < line.size() ? line.substr(position - 1, length) : std::string_view{};
}

// Per character: its hex value, with kLower for a lower-case digit, or kNotHex. The two flags are
// multiples of 256, so sums of these values keep the right low byte.
constexpr uint32_t kLower = 0x100, kNotHex = 0x200;
constexpr std::array<uint16_t, 256> kDigit = [] {
    std::array<uint16_t, 256> table{};
    table.fill(kNotHex);
    for (uint16_t i = 0; i < 10; ++i) table['0' + i] = i;
    for (uint16_t i = 0; i < 6; ++i) {
        table['A' + i] = static_cast<uint16_t>(10 + i);
        table['a' + i] = static_cast<uint16_t>((10 + i) | kLower);
    }
    return table;
}();

uint32_t Digit(char c) {
    return kDigit[static_cast<unsigned char>(c)];
}

// The digits after a line's type (trailing blanks and line feeds left out, as they lose nothing), read in
// one pass: the parse and its explanations both work from this.
struct Scan {
    std::string_view digits;
    uint32_t flags = 0;  // kLower and kNotHex of all the digits together
    uint32_t sum = 0;    // of the digit pairs, the checksum's included
};

Scan ScanLine(std::string_view line) {
    Scan scan;
    std::string_view digits = line.substr(std::min<size_t>(2, line.size()));
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t' || digits.back() == '\n'))
        digits.remove_suffix(1);
    scan.digits = digits;
    uint32_t flags = 0, highs = 0, lows = 0;
    size_t i = 0;
    for (; i + 1 < digits.size(); i += 2) {
        uint32_t high = Digit(digits[i]), low = Digit(digits[i + 1]);
        flags |= high | low;
        highs += high;
        lows += low;
    }
    if (i < digits.size()) flags |= Digit(digits[i]);
    scan.flags = flags & (kLower | kNotHex);
    scan.sum = (highs << 4) + lows;
    return scan;
}

// A field of exactly `digits` hex digits; anything else makes the file invalid.
uint32_t HexField(std::string_view line, size_t position, size_t digits, const char* what) {
    std::string_view field = Mid(line, position, digits);
    uint32_t value = 0, flags = field.size() == digits ? 0 : kNotHex;
    for (char c : field) {
        flags |= Digit(c);
        value = value << 4 | (Digit(c) & 15);
    }
    if (flags & kNotHex)
        throw ParseFailure{kFileInvalid,
                           std::string(what) + " is not " + std::to_string(digits) + " hex digits"};
    return value;
}

struct Record {
    int32_t address;
    int32_t bytes;  // data bytes the count gives
    int32_t words;
    std::string_view data;
};

// The address, the number of words of `width` bits and the data text of a data record.
Record ReadRecord(std::string_view line, int16_t addressDigits, int16_t width) {
    int32_t bytesPerWord = width / 8;
    int32_t count = static_cast<int32_t>(HexField(line, 3, 2, "the count"));
    Record record{};
    record.address =
        static_cast<int32_t>(HexField(line, 5, static_cast<size_t>(addressDigits), "the address"));
    record.bytes = count - (addressDigits / 2 + 1);
    record.words = record.bytes / bytesPerWord;
    if (record.words < 0)
        throw ParseFailure{kFileInvalid, "the count " + ToHex(static_cast<uint32_t>(count), 2) +
                                             " is too small to hold the address and the checksum"};
    record.data = Mid(line, static_cast<size_t>(addressDigits) + 5,
                      2 * static_cast<size_t>(bytesPerWord) * static_cast<size_t>(record.words));
    return record;
}

// The text of an "S0" record: its data digits taken two at a time as character codes, blanks trimmed.
std::string DecodeHeaderText(std::string_view line) {
    if (line.size() < 10) throw ParseFailure{kFileInvalid, "an \"S0\" line of fewer than 10 characters"};
    std::string_view digits = line.substr(8, line.size() - 10);
    std::string text;
    for (size_t i = 0; i < digits.size(); i += 2) {
        std::optional<uint32_t> code = ParseHex(digits.substr(i, 2));
        if (!code) throw ParseFailure{kFileInvalid, "the text of the \"S0\" line is not hex"};
        text += static_cast<char>(*code);
    }
    size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The width of a "DW" line: positions 3 and 4, blanks trimmed, as a decimal number.
int16_t ReadWidth(std::string_view line) {
    std::string_view text = Mid(line, 3, 2);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int16_t width = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), width);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw ParseFailure{kFileMissing,
                           "the \"DW\" width " + Shown(Mid(line, 3, 2)) + " is not a decimal number"};
    return width;
}

// Hex digits of an address field for each record type that has one.
size_t AddressDigits(char type) {
    switch (type) {
        case '0':
        case '1':
        case '9':
            return 4;
        case '2':
        case '8':
            return 6;
        case '3':
        case '7':
            return 8;
        default:
            return 0;
    }
}

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
                    throw ParseFailure{kFileMissing, "data record before the first \"S0\" line"};
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
                                   "image \"" + image->TagName + "\" starting here has no \"" +
                                       image->strFileTerminator + "\" terminator",
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
        if (scan.flags & kNotHex) {  // somewhere on the line: the data must hold none
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

    // The radio takes data only in whole 4-digit words, and finds out after the flash is erased.
    void NoteTable(const Table& table) {
        if (table.digits % 4 == 0) return;
        notes->refusals.push_back(
            {table.unevenLine, "the table at address 0x" + ToHex(static_cast<uint32_t>(table.address), 8) +
                                   " holds " + std::to_string(table.digits) +
                                   " data digits, not whole 4-digit words: the radio refuses "
                                   "it (error 54) after erasing its flash"});
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

}  // namespace kx6000
