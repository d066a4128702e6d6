#include <gtest/gtest.h>

#include "radio/clsRadio.h"
#include "support/Errors.h"

namespace kx6000::test {
namespace {

TEST(RadioTest, FindBlockTakesTheFirstBlockHoldingTheAddress) {
    colFlashBlocks blocks;
    EXPECT_EQ(blocks.FindBlock(0), -1) << "no blocks";
    blocks.Add(0, "00000000", "00010000");
    blocks.Add(1, "00010000", "00010000");
    blocks.Add(2, "00018000", "00010000");  // overlaps block 1
    blocks.Add(3, "FFFF0000", "00001000");  // a negative start
    blocks.Add(4, "7FFFF000", "00002000");  // ends past 0x7FFFFFFF
    const std::pair<int32_t, int16_t> cases[] = {
        {0, 0},        {0xFFFF, 0}, {0x10000, 1}, {0x18000, 1},    {0x1FFFF, 1},    {0x20000, 2},
        {0x28000, -1}, {-65536, 3}, {-1, -1},     {0x7FFFFFFF, 4}, {0x7FFFF000, 4},
    };
    for (auto [address, id] : cases) EXPECT_EQ(blocks.FindBlock(address), id) << std::hex << address;
    blocks.Add(5, "0", "10", "boot");
    EXPECT_THROW(blocks.Add(6, "10", "10", "boot"), RuntimeFailure) << "a key used twice";
    EXPECT_THROW(blocks.Add(6, "", "10"), RuntimeFailure) << "an empty text is no number";
}

TEST(RadioTest, ConfigurationRecordsDecodeOrFailForTheCaller) {
    struct Case {
        const char* what;
        std::string record;
        std::string productId;
        int32_t address, status;
        int16_t network, device;
        int failure = 0;  // the number of the failure thrown, else 0
    };
    // A record: a word per product character up to a 0000 word, an address of eight digits, a status of
    // four, then two digits each of network and device ID.
    const Case cases[] = {
        {"with identifiers", "0041004200000001F00000030507", "AB", 0x1F000, 3, 5, 7},
        {"without identifiers", "0041004200000001F0000003", "AB", 0x1F000, 3, 0, 0},
        {"no terminator: the last twelve digits", "004100420001f000FFFF", "AB", 0x1F000, 65535, 0, 0},
        // The address's high word is "0000", but too near the end to be the terminator.
        {"no terminator, address below 0x10000", "004100420000F0000003", "AB", 0xF000, 3, 0, 0},
        {"code 0 ends the product early", "00410000800000000002000000030000", "A", -2147483648, 2, 0, 0},
        {"no product", "0000000000100000", "", 16, 0, 0, 0},
        {"the shortest record", "0001F0000003", "", 0x1F000, 3, 0, 0},
        {"shorter than address and status", "0001F000003", "", 0, 0, 0, 0, 5},
        {"a character code above 255", "014100000001F0000003", "", 0, 0, 0, 0, 5},
        {"XX: not hex", "0041XX000001F0000003", "", 0, 0, 0, 0, 13},
        {"a network without a device ID", "004100000001F000000305", "", 0, 0, 0, 0, 13},
        {"one digit of network ID: no device ID to cut out", "0000AAAAAAAAAAAAA", "", 0, 0, 0, 0, 13},
        {"one digit of device ID", "004100000001F0000003050", "", 0, 0, 0, 0, 13},
    };
    for (const Case& c : cases) {
        try {
            auto got = colConfigurations().Add(c.record);
            EXPECT_EQ(std::tie(got->ProductID, got->ConfigurationAddress, got->Status, got->NetWorkID,
                               got->DeviceID),
                      std::tie(c.productId, c.address, c.status, c.network, c.device))
                << c.what;
            EXPECT_EQ(c.failure, 0) << c.what;
        } catch (const RuntimeFailure& e) {
            EXPECT_EQ(e.number, c.failure) << c.what;
        }
    }
}

}  // namespace
}  // namespace kx6000::test
