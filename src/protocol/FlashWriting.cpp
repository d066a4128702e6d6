// Erasing a configuration's block, and writing a download image into the
// blocks its address runs touch.

#include <algorithm>
#include <limits>

#include "protocol/clsProtocol.h"
#include "support/Errors.h"
#include "support/Hex.h"
#include "support/OutsideText.h"
#include "support/Program.h"

namespace kx6000 {
namespace {

constexpr int kPasses = 3;

}  // namespace

void clsProtocol::EraseFlashBlock(UIForm& form, IPort& port, const clsRadio& radio,
                                  const std::string& strConfigName) {
    form.StatusPanelStatus(Text(2010));
    int16_t id = -1;
    for (const auto& configuration : *radio.Configurations) {
        if (NamesConfiguration(strConfigName, configuration->ProductID)) {
            id = radio.FlashBlocks->FindBlock(configuration->ConfigurationAddress);
            break;
        }
    }
    if (id == -1) return;
    std::string block = ToHex(static_cast<uint16_t>(id), 4);
    for (const char* command : {"32", "33", "39"}) {
        SendCommand(port, 2000, command, block);
        if (LastError != 0) return;
    }
}

std::optional<std::vector<int16_t>> TouchedBlocks(const clsFile& image, const colFlashBlocks& FlashBlocks) {
    std::vector<int16_t> ids;
    const colDefTables& tables = image.Definitiontables();
    for (int32_t t = 0; t < tables.Count(); ++t) {
        DataDefinition table = tables.Item(t);
        int64_t address = std::stoll(table.Address);
        for (int64_t remaining = table.Length; remaining > 0;) {
            bool inRange = address >= std::numeric_limits<int32_t>::min() &&
                           address <= std::numeric_limits<int32_t>::max();
            int16_t id = inRange ? FlashBlocks.FindBlock(static_cast<int32_t>(address)) : -1;
            if (id == -1) return std::nullopt;
            if (std::ranges::find(ids, id) == ids.end()) ids.push_back(id);
            const clsFlashBlock& block = *FlashBlocks.Item(id + 1);
            int64_t covered = int64_t{block.StartAddress} + block.Length - address;
            address += covered;
            remaining -= covered;
        }
    }
    return ids;
}

void clsProtocol::BuildBlockList(std::string& list, const clsFile& CurrentFile,
                                 const colFlashBlocks& FlashBlocks) {
    try {
        std::optional<std::vector<int16_t>> ids = TouchedBlocks(CurrentFile, FlashBlocks);
        if (!ids) {
            LastError = kAddressError;
            return;
        }
        // Each block once, in the order first touched.
        for (int16_t id : *ids) list += ToHex(static_cast<uint16_t>(id), 4);
        LastError = list.empty() ? kAddressError : 0;
    } catch (const RuntimeFailure& failure) {
        ShowErrorMessage(failure.number, failure.what());
    } catch (const std::logic_error&) {
        ShowErrorMessage(13, "Type mismatch");  // a start address that is not a number
    }
}

void clsProtocol::WriteFileData(UIForm& form, IPort& port, const clsFile& CurrentFile) {
    try {
        const colDefTables& tables = CurrentFile.Definitiontables();
        int64_t total = 0, sent = 0;
        for (int32_t t = 0; t < tables.Count(); ++t) total += tables.Item(t).DataBlocks->Count();
        for (int32_t t = 0; t < tables.Count(); ++t) {
            DataDefinition table = tables.Item(t);
            std::string address = ToHex(static_cast<uint32_t>(std::stol(table.Address)), 8);
            SendCommand(port, 2000, "34", address);  // its outcome shows in the next command's
            DownloadLog.WriteToLogFile("Address:" + address);
            for (int32_t b = 0; b < table.DataBlocks->Count(); ++b) {
                form.ProgressBar(Percent(++sent, total));
                SendCommand(port, 2000, "35", table.DataBlocks->Item(b));
                if (LastError != 0) return;
            }
        }
        form.ProgressBar(100);
        LastError = 0;
    } catch (const std::exception&) {
        LastError = 53;
    }
}

void clsProtocol::WriteDataToFlash(UIForm& form, IPort& port, const clsFile& CurrentFile,
                                   const colFlashBlocks& FlashBlocks) {
    form.StatusPanelStatus(Text(2014));
    std::string list;
    BuildBlockList(list, CurrentFile, FlashBlocks);
    if (LastError != 0) return;
    form.StatusPanelStatus(Text(2009));
    SendCommand(port, 2000, "32", list);
    if (LastError != 0) return;
    // A radio that reports its flash locked while it is written is erased and written again.
    for (int pass = 1; pass <= kPasses; ++pass) {
        form.StatusPanelStatus(Text(2010));
        SendCommand(port, 2000, "33", list);
        if (LastError != 0) return;
        form.StatusPanelStatus(Text(2011));
        form.FileNameTextBox(CurrentFile.TagName);
        WriteFileData(form, port, CurrentFile);
        if (!flashLocked) break;
    }
    if (LastError != 0) return;
    form.StatusPanelStatus(Text(2018));
    SendCommand(port, 2000, "39", list);
}

}  // namespace kx6000
