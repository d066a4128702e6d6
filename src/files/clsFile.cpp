#include "files/clsFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "support/Errors.h"
#include "support/Hex.h"
#include "support/Program.h"

namespace kx6000 {

std::string clsFile::ShownName() const {
    return ImageInFile == 1 ? SourceFile : SourceFile + " (image " + std::to_string(ImageInFile) + ")";
}

namespace {

constexpr std::string_view kTagMarker = "2A2F69426262456C2F2A";
constexpr std::string_view kMarkerWord = "2A2F";
constexpr size_t kNotFound = std::string::npos;

}  // namespace

// A table's data blocks read as one text, without copying them together.
class JoinedText {
public:
    explicit JoinedText(const colDataBlocks& blocks) : blocks(blocks) {
        size_t start = 0;
        for (int32_t i = 0; i < blocks.Count(); ++i) {
            starts.push_back(start);
            start += blocks.Item(i).size();
        }
        starts.push_back(start);
    }

    size_t size() const { return starts.back(); }

    // Up to `length` characters from `position`, fewer at the end of the text.
    std::string Mid(size_t position, size_t length) const {
        std::string text;
        for (size_t b = BlockOf(position); text.size() < length && position < size(); ++b) {
            const std::string& block = blocks.Item(static_cast<int32_t>(b));
            size_t offset = position - starts[b];
            size_t take = std::min(length - text.size(), block.size() - offset);
            text.append(block, offset, take);
            position += take;
        }
        return text;
    }

    // The first of the positions start, start + L, start + 2L, ... (L the word's
    // length) at which the text holds `word`; kNotFound when there is none.
    size_t FindString(std::string_view word, size_t start) const {
        if (word.empty()) return kNotFound;
        size_t position = start;
        for (size_t b = BlockOf(start); position + word.size() <= size(); ++b) {
            // The positions wholly inside this block, compared in place; then one that runs into the next.
            const std::string& block = blocks.Item(static_cast<int32_t>(b));
            for (; position + word.size() <= starts[b + 1]; position += word.size()) {
                const char* at = block.data() + (position - starts[b]);
                if (at[0] == word[0] && (word.size() == 1 || at[1] == word[1]) &&
                    std::memcmp(at, word.data(), word.size()) == 0)
                    return position;
            }
            if (position < starts[b + 1] && position + word.size() <= size()) {
                if (Mid(position, word.size()) == word) return position;
                position += word.size();
            }
        }
        return kNotFound;
    }

private:
    size_t BlockOf(size_t position) const {
        auto next = std::upper_bound(starts.begin(), starts.end() - 1, position);
        return static_cast<size_t>(next - starts.begin()) - 1;
    }

    const colDataBlocks& blocks;
    std::vector<size_t> starts;  // where each block begins in the joined text; last: its size
};

const std::string& colDataBlocks::Item(int32_t lngIndex) const {
    if (lngIndex < 0 || lngIndex >= Count()) throw InvalidArgument();
    return blocks[static_cast<size_t>(lngIndex)];
}

std::string colDataBlocks::GetAllData() const {
    std::string all;
    for (const std::string& block : blocks) all += block;
    return all;
}

int32_t colDefTables::Add(int32_t lngStartAddress) {
    tables.push_back({std::to_string(lngStartAddress), 0, std::make_shared<colDataBlocks>()});
    return 0;
}

DataDefinition colDefTables::Item(int32_t lngIndex) const {
    if (lngIndex < 0 || lngIndex >= Count()) throw InvalidArgument();
    return tables[static_cast<size_t>(lngIndex)];
}

void colDefTables::SetLength(int32_t lngNewLength) {
    if (!tables.empty()) tables.back().Length = lngNewLength;
}

void clsFile::intNumberOfBits(int16_t value) {
    numberOfBits = value;
    digitsPerWord = static_cast<int16_t>(value / 4);
    if (value == 8 || value == 16 || value == 32) {
        blankWord.assign(static_cast<size_t>(digitsPerWord), '0');
    } else {
        LastError = 34;
    }
}

void clsFile::ParseFile() {
    try {
        for (int32_t t = 0; t < definitionTables.Count(); ++t) {
            DataDefinition table = definitionTables.Item(t);
            JoinedText text(*table.DataBlocks);
            for (size_t p = text.FindString(kMarkerWord, 0); p != kNotFound;
                 p = text.FindString(kMarkerWord, p + kMarkerWord.size())) {
                if (text.Mid(p, kTagMarker.size()) == kTagMarker) {
                    TagName = ExtractTag(p, text);
                    return;
                }
            }
        }
    } catch (const RuntimeFailure& failure) {
        ShowErrorMessage(failure.number, failure.what());
    }
}

std::string clsFile::ExtractTag(size_t p, const JoinedText& text) const {
    // One character per data word after the marker and any blank words, up to
    // the next blank word on the same grid; nothing when none follows.
    std::string tag;
    try {
        size_t digits = static_cast<size_t>(digitsPerWord);
        size_t i = p + kTagMarker.size();
        while (!blankWord.empty() && text.Mid(i, digits) == blankWord) i += digits;
        size_t end = text.FindString(blankWord, i);
        for (size_t w = i; end != kNotFound && w < end; w += digits) {
            std::optional<uint32_t> code = ParseHex(text.Mid(w, digits));
            if (!code) throw TypeMismatch();
            if (*code > 255) throw InvalidArgument();
            tag += static_cast<char>(*code);
        }
    } catch (const RuntimeFailure& failure) {
        ShowErrorMessage(failure.number, failure.what());
        tag.clear();
    }
    return tag;
}

}  // namespace kx6000
