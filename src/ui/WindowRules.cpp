#include "ui/WindowRules.h"

#include <cctype>
#include <filesystem>

#include "manager/clsDLManager.h"
#include "platform/SerialPorts.h"
#include "port/NetworkLine.h"
#include "radio/clsRadio.h"
#include "resources/ResourceTexts.h"
#include "support/Paths.h"
#include "support/Version.h"
#include "support/modHelp.h"

namespace kx6000 {
namespace {

// The longest file name text the file dialog gives back; a longer choice fails as the dialog would.
constexpr size_t kMaxFileNameText = 2048;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The resource texts themselves: the command line prints statuses where no manager has loaded them.
std::string TextOf(int id) {
    return std::string(LoadResString(id));
}

bool IsHardwareId(const std::string& productId) {
    return Upper(productId.substr(0, 3)) == "KXA";
}

TableRow RowOf(const clsConfiguration& configuration, bool kx6200) {
    TableRow row;
    row.productId = configuration.ProductID;
    StatusShown status = StatusOf(configuration.Status);
    row.status = status.text;
    row.statusColour = status.colour;
    // The window shows the IDs in decimal; the radio takes them as the hex digits it reported them in.
    row.eraseEntry = "0000";
    if (kx6200) {
        row.networkId = std::to_string(configuration.NetWorkID);
        row.deviceId = std::to_string(configuration.DeviceID);
        row.eraseEntry = DeviceIdText(configuration.NetWorkID, configuration.DeviceID);
    }
    row.eraseEntry += "|" + configuration.ProductID + "|";
    return row;
}

}  // namespace

std::array<std::string, kPortItems.size()> PortTips(const std::vector<SerialPortInfo>& present) {
    std::array<std::string, kPortItems.size()> tips;
    for (size_t i = 0; i < tips.size(); ++i) {
        const PortRoute route = RoutePort(static_cast<int>(i) + 1, present);
        tips[i] = RouteText(route) +
                  (NetworkLine::Names(route.device) ? std::string(", ") + NetworkLine::kKind : "");
    }
    return tips;
}

StatusShown StatusOf(int32_t status) {
    switch (status) {
        case 0:
            return {TextOf(1011), {0, 0, 0}, true};
        case 1:
            return {TextOf(1012), {0, 0, 255}, true};
        case 2:
            return {TextOf(1013), {255, 0, 0}, true};
        default:
            return {std::to_string(status), {0, 0, 0}, false};
    }
}

ConfigurationKind KindOf(const std::string& productId) {
    std::string code = Upper(productId.substr(0, 1) + (productId.size() >= 5 ? productId.substr(4, 1) : ""));
    if (code == "ZF") return ConfigurationKind::RadioApplication;
    if (code == "ZG") return ConfigurationKind::FpgaImage;
    if (code == "ZB") return ConfigurationKind::BootCode;
    return IsHardwareId(productId) ? ConfigurationKind::Hardware : ConfigurationKind::NonStandard;
}

bool Erasable(ConfigurationKind kind, bool testMode) {
    return kind != ConfigurationKind::BootCode || testMode;
}

const clsConfiguration* HardwareConfiguration(const colConfigurations& list) {
    for (const auto& configuration : list) {
        if (IsHardwareId(configuration->ProductID)) return configuration.get();
    }
    return nullptr;
}

ConfigurationTable TableOf(const colConfigurations& list, bool kx6200, bool testMode) {
    ConfigurationTable table;
    for (const auto& configuration : list) {
        // Once the rows are full, what is left is not shown, a hardware configuration included.
        if (table.rows.size() == kTableRows) {
            table.tooLong = true;
            break;
        }
        const ConfigurationKind kind = KindOf(configuration->ProductID);
        if (kind == ConfigurationKind::Hardware && !table.hardware) {
            table.hardware = RowOf(*configuration, kx6200);
            table.hardware->type = TextOf(1003);
            if (configuration->Status == 0) table.hardware->status.clear();  // a sound one shows no status
            continue;
        }
        TableRow row = RowOf(*configuration, kx6200);
        static const int kTypeTexts[] = {1004, 1002, 1001, 1003};  // in the order of ConfigurationKind
        row.type = kind == ConfigurationKind::NonStandard ? "Non Standard" : TextOf(kTypeTexts[int(kind)]);
        row.box = Erasable(kind, testMode);
        if (kind == ConfigurationKind::Hardware) table.hardware->box = true;  // no command reads it
        table.rows.push_back(std::move(row));
    }
    return table;
}

WindowTexts TextsFor(bool kx6200, bool testMode) {
    return {.title = TextOf(kx6200 ? 2 : 1) + " - v" + VersionText() + (testMode ? " - Testmode" : ""),
            .frame = TextOf(1005),
            .product = TextOf(1007),
            .status = TextOf(1008),
            .networkId = TextOf(1021),
            .deviceId = TextOf(1022),
            .currentDownload = TextOf(1009),
            .progress = TextOf(1010),
            .hardware = TextOf(1003),
            .statusTag = TextOf(2000),
            .idHeadings = kx6200};
}

FileChoice ChosenFiles(bool cancelled, const std::vector<std::string>& paths) {
    if (cancelled) return {"", 31, "File selection cancelled"};
    std::string text;
    if (paths.size() == 1) {
        text = paths.front();
    } else if (paths.size() > 1) {
        auto folderEnd = [](const std::string& path) {
            return path.find_last_of(std::filesystem::path::preferred_separator == '/' ? "/" : "\\/");
        };
        const size_t cut = folderEnd(paths.front());
        text = cut == 0 ? "/" : paths.front().substr(0, cut);  // a file at the root keeps the root
        for (const std::string& path : paths) text += '\0' + path.substr(folderEnd(path) + 1);
    }
    if (text.empty() || text.size() > kMaxFileNameText) return {"", 32, "No file has been selected"};
    return {text, 0, ""};
}

void OpenWindowHelp(int32_t windowHandle) {
    std::string path = modHelp::GetHelpFilePath();
    modHelp::SetApplicationHelpFile(path);
    modHelp::ShowHelp(windowHandle, kMainWindowHelpContext, path);
}

void WindowRules::Clear() {
    table = {};
    ticked = {};
    controls.erase = false;
}

bool WindowRules::Fill(const colConfigurations& list, bool kx6200, bool testMode) {
    table = TableOf(list, kx6200, testMode);
    return !table.tooLong;
}

void WindowRules::Tick(int row, bool value) {
    ticked.at(static_cast<size_t>(row)) = value;
    controls.erase = false;
    for (bool tick : ticked) controls.erase = controls.erase || tick;
}

std::string WindowRules::EraseList() const {
    std::string list;
    for (size_t r = 1; r <= table.rows.size(); ++r) {
        if (ticked[r]) list += table.rows[r - 1].eraseEntry;
    }
    return list;
}

bool WindowRules::Begin() {
    if (busy) return false;
    busy = true;
    controls = {.report = false, .erase = false, .download = false, .port = false};
    return true;
}

void WindowRules::End() {
    controls = {};
    busy = false;
}

}  // namespace kx6000
