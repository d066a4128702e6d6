// The parser against srec_cat, an S-record tool no one here wrote: for files it
// makes from random data, every run holds the bytes srec_cat reads back.

#include <random>

#include "TestEnvironment.h"
#include "files/SRecords.h"

namespace kx6000::test {
namespace {

class CrossCheckTest : public ComponentTest {
protected:
    void Run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }
};

TEST_F(CrossCheckTest, RunsHoldTheBytesSrecCatReads) {
    const std::vector<std::pair<uint32_t, size_t>> ranges = {{0x100, 700}, {0x2000, 1531}, {0x9001, 33}};
    std::mt19937 random(6100);
    std::string inputs;
    for (auto [address, size] : ranges) {
        std::string blob;
        for (size_t i = 0; i < size; ++i) blob += static_cast<char>(random());
        std::string name = (folder / ("range" + std::to_string(address) + ".bin")).string();
        WriteFile(name, blob);
        inputs += " " + name + " -binary -offset " + std::to_string(address);
    }
    // The record type, its address bytes, and what is done to srec_cat's CR LF output.
    for (auto [type, addressBytes, rewrite] : {std::tuple{"S1", 2, "cat"},
                                               {"S2", 3, "tr -d '\\n'"},
                                               {"S3", 4, "tr 'A-F' 'a-f'"},
                                               {"S2", 3, "cat"}}) {
        std::string made = (folder / "made.srec").string(), file = (folder / "file.srec").string();
        Run("srec_cat" + inputs + " -o " + made + " -address-length=" + std::to_string(addressBytes) +
            " -disable=data-count -execution-start-address=0 -line-termination=crlf -output_block_size=" +
            std::to_string(16 + 3 * addressBytes));
        Run(std::string(rewrite) + " < " + made + " > " + file);
        Run("srec_cat " + made + " -o " + (folder / "back.bin").string() + " -binary");
        std::string back = ReadFile(folder / "back.bin");

        // srec_cat addresses bytes: a first file sets the width to 8 bits for the next.
        ResetProgramState();
        clsDLManager& manager = NewManager();
        WriteFile(folder / "width.srec", "DW 8\r\nS0030000FC\r\nS1040000AA51\r\nS9030000FC\r\n");
        ASSERT_EQ(manager.LoadFiles((folder / "width.srec").string() + "|" + file), 0) << rewrite;

        const clsFile& image = *manager.LoadedFiles()->Item(file);
        EXPECT_EQ(image.strFileType, type);
        const colDefTables& tables = image.Definitiontables();
        ASSERT_EQ(tables.Count(), 3) << type << " " << rewrite;
        for (int32_t t = 0; t < tables.Count(); ++t) {
            DataDefinition table = tables.Item(t);
            auto [address, size] = ranges[static_cast<size_t>(t)];
            EXPECT_EQ(table.Address, std::to_string(address));
            EXPECT_EQ(table.Length, static_cast<int32_t>(size));
            EXPECT_EQ(HexBytes(table.DataBlocks->GetAllData()),
                      std::vector<uint8_t>(back.begin() + address, back.begin() + address + size))
                << rewrite;
        }
    }
}

}  // namespace
}  // namespace kx6000::test
