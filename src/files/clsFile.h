// The download file model: one clsFile per image, its definition tables (runs
// of contiguous addresses) and their data as hex text cut into data blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kx6000 {

class JoinedText;

// The data of one address run: hex texts (at most 1020 digits each as the
// parser fills them), indexed from 0.
class colDataBlocks {
public:
    void Add(std::string strData) { blocks.push_back(std::move(strData)); }
    // The block at a 0-based index; an index outside the blocks is a RuntimeFailure (5).
    const std::string& Item(int32_t lngIndex) const;
    int32_t Count() const { return static_cast<int32_t>(blocks.size()); }
    // Every block in order, joined without separators.
    std::string GetAllData() const;
    // The bytes the blocks hold (two hex digits each).
    size_t Bytes() const {
        size_t digits = 0;
        for (const std::string& block : blocks) digits += block.size();
        return digits / 2;
    }

private:
    std::vector<std::string> blocks;
};

// One address run of an image. Copies share their data blocks.
struct DataDefinition {
    std::string Address;  // the start address (signed 32-bit) as decimal text
    int32_t Length = 0;   // in data words
    std::shared_ptr<colDataBlocks> DataBlocks = std::make_shared<colDataBlocks>();
};

// The address runs of an image in file order, indexed from 0.
class colDefTables {
public:
    // Appends a run at that address with length 0 and no data; gives 0.
    int32_t Add(int32_t lngStartAddress);
    // A copy of the run at a 0-based index; an index outside the runs is a RuntimeFailure (5).
    DataDefinition Item(int32_t lngIndex) const;
    int32_t Count() const { return static_cast<int32_t>(tables.size()); }
    // Sets the length of the run added last.
    void SetLength(int32_t lngNewLength);

private:
    std::vector<DataDefinition> tables;
};

// One image of a download file.
class clsFile {
public:
    std::string Name;               // its key in the file collection
    std::string TagName;            // the header text, or the tag found in the data
    std::string strHardware;        // five characters from the file's "MD" line, or empty
    std::string strDeviceID;        // two characters from the "MD" line, or empty
    std::string strNetWorkID;       // "00" with a hardware code, else empty
    std::string strFileType;        // "S1", "S2" or "S3"
    std::string strFileTerminator;  // "S9", "S8" or "S7"
    std::string SourceFile;         // the file it was read from, as named
    int32_t ImageInFile = 1;        // its place among the images of that file

    // The image as a technician knows it: "file.s28", or "file.s28 (image 2)" for a later image of a file.
    std::string ShownName() const;

    int16_t intNumberOfBits() const { return numberOfBits; }
    // The data word width: 8, 16 or 32. Any other width sets LastError to 34
    // and keeps the blank word of the width before.
    void intNumberOfBits(int16_t value);

    colDefTables& Definitiontables() { return definitionTables; }
    const colDefTables& Definitiontables() const { return definitionTables; }

    // The tag search: a tag marker on the word grid of a table's data replaces
    // TagName with the text that follows it.
    void ParseFile();

private:
    std::string ExtractTag(size_t p, const JoinedText& text) const;

    int16_t numberOfBits = 0;
    int16_t digitsPerWord = 0;
    std::string blankWord;  // a data word of zeros
    colDefTables definitionTables;
};

}  // namespace kx6000
