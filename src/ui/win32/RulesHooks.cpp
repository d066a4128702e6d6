#include "ui/win32/RulesHooks.h"

#include <cctype>

#include "manager/clsDLManager.h"
#include "support/Program.h"
#include "support/Version.h"

// rules: stand-ins until the shared window rules are wired in; they draw what the Qt window draws.

namespace kx6000 {
namespace {

std::string Upper(const std::string& text, size_t count) {
    std::string upper;
    for (size_t i = 0; i < count && i < text.size(); ++i)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    return upper;
}

}  // namespace

std::string TitleText(bool mfx) {
    return Text(mfx ? 2 : 1) + " - v" + VersionText() + (Debug ? " - Testmode" : "");
}

std::pair<std::string, unsigned long> StatusCell(int32_t status) {
    if (status == 0) return {Text(1011), 0x000000};
    if (status == 1) return {Text(1012), 0xFF0000};  // blue
    if (status == 2) return {Text(1013), 0x0000FF};  // red
    return {std::to_string(status), 0x000000};
}

bool IsHardware(const std::string& productId) {
    return Upper(productId, 3) == "KXA";
}

std::pair<std::string, bool> TypeCell(const std::string& productId) {
    // The type code: the first and fifth characters.
    std::string code = Upper(productId, 1) + (productId.size() >= 5 ? Upper(productId.substr(4), 1) : "");
    if (code == "ZF") return {Text(1004), true};
    if (code == "ZG") return {Text(1002), true};
    if (code == "ZB") return {Text(1001), Debug};
    if (IsHardware(productId)) return {Text(1003), true};
    return {"Non Standard", true};
}

std::string EraseEntry(const std::string& productId, bool ids, int network, int device) {
    return (ids ? DeviceIdText(network, device) : "0000") + "|" + productId + "|";
}

}  // namespace kx6000
