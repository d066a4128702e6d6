#include "radio/clsRadio.h"

#include <algorithm>

#include "support/Errors.h"
#include "support/Hex.h"

namespace kx6000 {
namespace {

// A hex field as a signed number of its width: eight digits give two's complement.
int32_t HexNumber(std::string_view text) {
    std::optional<uint32_t> value = ParseHex(text);
    if (!value) throw TypeMismatch();
    return static_cast<int32_t>(*value);
}

template <typename T>
const T& At(const std::vector<T>& items, int32_t position) {
    if (position < 1 || position > static_cast<int32_t>(items.size())) throw InvalidArgument();
    return items[static_cast<size_t>(position - 1)];
}

}  // namespace

int16_t colFlashBlocks::FindBlock(int32_t AddressInBlock) const {
    // 64-bit sums: a block that ends past 0x7FFFFFFF is still searched correctly.
    for (const auto& block : blocks) {
        int64_t start = block->StartAddress;
        if (start <= AddressInBlock && AddressInBlock < start + block->Length) return block->ID;
    }
    return -1;
}

std::shared_ptr<clsFlashBlock> colFlashBlocks::Add(int16_t ID, std::string_view StartAddress,
                                                   std::string_view Length, const std::string& sKey) {
    auto block =
        std::make_shared<clsFlashBlock>(clsFlashBlock{ID, HexNumber(StartAddress), HexNumber(Length)});
    if (!sKey.empty() && std::ranges::find(keys, sKey) != keys.end()) {
        throw RuntimeFailure(457, "This key is already associated with an element of this collection");
    }
    blocks.push_back(block);
    keys.push_back(sKey);
    return block;
}

std::shared_ptr<clsFlashBlock> colFlashBlocks::Item(int32_t position) const {
    return At(blocks, position);
}

std::shared_ptr<clsFlashBlock> colFlashBlocks::Item(const std::string& key) const {
    auto found = key.empty() ? keys.end() : std::ranges::find(keys, key);
    if (found == keys.end()) throw InvalidArgument();
    return blocks[static_cast<size_t>(found - keys.begin())];
}

void colFlashBlocks::Remove(int32_t position) {
    At(blocks, position);
    blocks.erase(blocks.begin() + (position - 1));
    keys.erase(keys.begin() + (position - 1));
}

std::shared_ptr<clsConfiguration> colConfigurations::Add(std::string_view Data, const std::string& /*sKey*/) {
    // The product text ends at the first "0000" word that leaves room for the
    // terminator, the address and the status; without one, the last twelve
    // digits are the address and the status.
    size_t productLength = std::string_view::npos;
    for (size_t p = 0; p < Data.size() && Data.size() - p >= 16; p += 4) {
        if (Data.substr(p, 4) == "0000") {
            productLength = p;
            break;
        }
    }
    size_t addressAt = productLength + 4;
    if (productLength == std::string_view::npos) {
        if (Data.size() < 12) throw InvalidArgument();
        productLength = Data.size() - 12;
        addressAt = productLength;
    }
    auto configuration = std::make_shared<clsConfiguration>();
    for (size_t i = 0; i < productLength; i += 4) {
        int32_t code = HexNumber(Data.substr(i, std::min<size_t>(4, productLength - i)));
        if (code > 255) throw InvalidArgument();
        configuration->ProductID += static_cast<char>(code);
    }
    configuration->ConfigurationAddress = HexNumber(Data.substr(addressAt, 8));
    configuration->Status = HexNumber(Data.substr(addressAt + 8, 4));
    if (std::string_view rest = Data.substr(addressAt + 12); !rest.empty()) {
        // Both IDs are two digits: a shorter tail lacks one, as a text that is no number.
        if (rest.size() < 4) throw TypeMismatch();
        configuration->NetWorkID = static_cast<int16_t>(HexNumber(rest.substr(0, 2)));
        configuration->DeviceID = static_cast<int16_t>(HexNumber(rest.substr(2, 2)));
    }
    configurations.push_back(configuration);
    return configuration;
}

std::shared_ptr<clsConfiguration> colConfigurations::Item(int32_t position) const {
    return At(configurations, position);
}

void colConfigurations::Remove(int32_t position) {
    At(configurations, position);
    configurations.erase(configurations.begin() + (position - 1));
}

}  // namespace kx6000
