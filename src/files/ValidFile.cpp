#include "files/ValidFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct ParseFailure {
    int32_t number;
};

// Reads lines ended by CR LF or CR; a line feed alone is part of the line.
class LineReader {
public:
    explicit LineReader(const std::string& path)
        : fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)), buffer(256 * 1024) {
        struct stat info {};
        // Anything but a regular file (a folder, a FIFO, a device) is no download file.
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) throw ParseFailure{kFileMissing};
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
            return true;
        }
    }

private:
    bool Fill() {
        ssize_t n;
        do n = ::read(fd, buffer.data(), buffer.size());
        while (n < 0 && errno == EINTR);
        if (n < 0) throw ParseFailure{kFileMissing};
        begin = 0;
        end = static_cast<size_t>(n);
        return n > 0;
    }

    int fd;
    std::vector<char> buffer;
    size_t begin = 0, end = 0;
    bool skipLineFeed = false;  // the last line ended with the buffer's last byte, a CR
    std::string longLine;       // a line that ran over the end of the buffer
};

// Characters from 1-based `position`, fewer or none at the end of the line.
std::string_view Mid(std::string_view line, size_t position, size_t length = std::string_view::npos) {
    return position - 1 < line.size() ? line.substr(position - 1, length) : std::string_view{};
}

// A field of exactly `digits` hex digits; anything else makes the file invalid.
uint32_t HexField(std::string_view line, size_t position, size_t digits) {
    std::string_view field = Mid(line, position, digits);
    std::optional<uint32_t> value = field.size() == digits ? ParseHex(field) : std::nullopt;
    if (!value) throw ParseFailure{kFileInvalid};
    return *value;
}

struct Record {
    int32_t address;
    int32_t words;
    std::string_view data;
};

// The address, the number of words of `width` bits and the data text of a data record.
Record ReadRecord(std::string_view line, int16_t addressDigits, int16_t width) {
    int32_t bytesPerWord = width / 8;
    if (bytesPerWord == 0) throw ParseFailure{kFileInvalid};
    int32_t count = static_cast<int32_t>(HexField(line, 3, 2));
    Record record{};
    record.address = static_cast<int32_t>(HexField(line, 5, static_cast<size_t>(addressDigits)));
    record.words = (count - (addressDigits / 2 + 1)) / bytesPerWord;
    // A count too small to hold the address and the checksum.
    if (record.words < 0) throw ParseFailure{kFileInvalid};
    record.data = Mid(line, static_cast<size_t>(addressDigits) + 5,
                      2 * static_cast<size_t>(bytesPerWord) * static_cast<size_t>(record.words));
    return record;
}

// Appends hex text in upper case, the form the radio conversation carries.
void AppendHexUpper(std::string& to, std::string_view hex) {
    static const std::array<char, 256> upper = [] {
        std::array<char, 256> table{};
        for (char c : std::string_view("0123456789ABCDEF")) table[static_cast<unsigned char>(c)] = c;
        for (char c : std::string_view("abcdef"))
            table[static_cast<unsigned char>(c)] = static_cast<char>(c - 32);
        return table;
    }();
    size_t at = to.size();
    to.resize(at + hex.size());
    for (char c : hex) {
        char digit = upper[static_cast<unsigned char>(c)];
        if (digit == 0) throw ParseFailure{kFileInvalid};
        to[at++] = digit;
    }
}

// The text of an "S0" record: its data digits taken two at a time as character codes, blanks trimmed.
std::string DecodeHeaderText(std::string_view line) {
    if (line.size() < 10) throw ParseFailure{kFileInvalid};
    std::string_view digits = line.substr(8, line.size() - 10);
    std::string text;
    for (size_t i = 0; i < digits.size(); i += 2) {
        std::optional<uint32_t> code = ParseHex(digits.substr(i, 2));
        if (!code) throw ParseFailure{kFileInvalid};
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
        throw ParseFailure{kFileMissing};
    return width;
}

class Parser {
public:
    Parser(const std::string& path, colFiles& files, ParserState& state, bool tagSearch)
        : reader(path), key(path), files(files), state(state), tagSearch(tagSearch) {}

    // Image after image until the end of the file.
    void Run() {
        std::string_view line;
        while (ReadHeader(line)) {
            ReadData(line);
            imageCompleted = true;
        }
    }

private:
    // The header part of an image; true with its first data record in `line`,
    // false at a proper end of the file.
    bool ReadHeader(std::string_view& line) {
        bool headerSeen = false;
        for (;;) {
            if (!reader.Next(line)) {
                if (imageCompleted) return false;
                throw ParseFailure{kFileInvalid};
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
            } else if (type == "S0") {
                StartImage(line);
                headerSeen = true;
            } else if (type == "S1" || type == "S2" || type == "S3") {
                state.AddressDigits = static_cast<int16_t>(2 * (type[1] - '0') + 2);
                if (!files.Exists(key)) throw ParseFailure{kFileMissing};
                image = files.Item(key);
                image->strFileType = type;
                image->strFileTerminator = type == "S1" ? "S9" : type == "S2" ? "S8" : "S7";
                if (!headerSeen) throw ParseFailure{kFileInvalid};
                return true;
            } else {
                throw ParseFailure{kFileInvalid};
            }
        }
    }

    void StartImage(std::string_view line) {
        if (imageCompleted) {
            key += "1";
            imageCompleted = false;
        }
        auto file = std::make_shared<clsFile>();
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

    // The data records from `line` to the image's terminator, gathered into
    // runs of contiguous addresses cut into blocks of 1020 digits.
    void ReadData(std::string_view line) {
        colDefTables& tables = image->Definitiontables();
        std::shared_ptr<colDataBlocks> blocks;
        std::string pending;
        int32_t tableLength = 0;
        int64_t expected = 0;
        while (line.substr(0, 2) != image->strFileTerminator) {
            if (line.substr(0, 2) != image->strFileType) throw ParseFailure{kFileInvalid};
            Record record = ReadRecord(line, state.AddressDigits, state.DataWidth);
            if (!blocks || record.address != expected) {
                if (tableLength != 0) tables.SetLength(std::exchange(tableLength, 0));
                if (!pending.empty()) blocks->Add(std::exchange(pending, {}));
                tables.Add(record.address);
                blocks = tables.Item(tables.Count() - 1).DataBlocks;
            }
            tableLength += record.words;
            AppendHexUpper(pending, record.data);
            if (pending.size() > kBlockDigits) {
                blocks->Add(pending.substr(0, kBlockDigits));
                pending.erase(0, kBlockDigits);
            }
            expected = int64_t{record.address} + record.words;
            if (!reader.Next(line)) throw ParseFailure{kFileMissing};  // no terminator
        }
        if (tableLength != 0) tables.SetLength(tableLength);
        if (!pending.empty()) blocks->Add(std::move(pending));
        if (tagSearch && !image->TagName.starts_with("ZMA")) image->ParseFile();
    }

    LineReader reader;
    std::string key;
    colFiles& files;
    ParserState& state;
    bool tagSearch;
    bool imageCompleted = false;
    std::string hardware, device;  // from the last "MD" line with a comma, for every later image
    colFiles::FilePtr image;
};

}  // namespace

int32_t ParseDownloadFile(const std::string& strFileName, colFiles& files, ParserState& state,
                          bool tagSearch) {
    try {
        Parser(strFileName, files, state, tagSearch).Run();
        return 0;
    } catch (const ParseFailure& failure) {
        return failure.number;
    } catch (const std::exception&) {
        return kFileMissing;  // any other failure of the platform during the parse
    }
}

}  // namespace kx6000
