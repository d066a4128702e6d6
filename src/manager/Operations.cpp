// The three radio operations and the frame they share.

#include <charconv>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include "files/FileChecks.h"
#include "files/FileHelpers.h"
#include "files/Overlaps.h"
#include "manager/Plan.h"
#include "manager/clsDLManager.h"
#include "port/IPort.h"
#include "protocol/clsProtocol.h"
#include "radio/clsRadio.h"
#include "support/Errors.h"
#include "support/Hex.h"
#include "support/Program.h"

namespace kx6000 {
namespace {

// An erase with no configurations read on the port: "Response - configuration not found".
constexpr int32_t kNotReported = 8102;
// What an unexpected failure inside an operation ends it with.
constexpr int32_t kUnexpected = 53;

const char* const kFpgaWarning =
    "You are attempting to upgrade FPGA software. This may cause damage on your radio. Only do this after "
    "consulting the product release notes. Do you want to continue? ";

// A decimal ID text as a number.
std::optional<int64_t> Decimal(const std::string& text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string DeviceIdText(int64_t network, int64_t device) {
    return ToHex(static_cast<uint32_t>(network & 0xFF), 2) + ToHex(static_cast<uint32_t>(device & 0xFF), 2);
}

int16_t clsDLManager::Operate(int successText, bool download, const std::function<void()>& steps) {
    // The window's event pump let a second operation in: the running one keeps its error number.
    if (OperationRunning) return kInUse;
    OperationRunning = true;
    try {
        if (Port) {
            steps();
        } else {
            LastError = kNoSuchPort;  // no SetPort yet
        }
    } catch (const RuntimeFailure& failure) {
        ShowErrorMessage(failure.number, failure.what());
        LastError = kUnexpected;
    } catch (const std::exception& failure) {
        ShowErrorMessage(0, failure.what());
        LastError = kUnexpected;
    }
    if (download) {
        try {
            DeleteTempFiles();
        } catch (const std::filesystem::filesystem_error& failure) {
            // Shown, but the radio's outcome stands.
            ShowErrorMessage(failure.code().value(), failure.code().message());
        }
    }
    int32_t result = LastError;
    uiForm->StatusPanelStatus(result == 0 ? Text(successText) : ErrorStatusText(result));
    if (Port) Port->ClosePort();
    LastError = result;  // the outcome is the operation's, not the close's
    uiForm->StatusPanelBaud(Text(3000));
    DownloadLog.CloseLogFile();
    ConfigLog.CloseLogFile();
    Files.reset();
    loadChecks.clear();
    OperationRunning = false;
    return static_cast<int16_t>(result);
}

bool clsDLManager::EnterUpgradeMode() {
    // A bad upgrade application is refused before the radio is reset: nothing would run in it.
    colFiles::FilePtr application = ReadUpgradeApplication();
    if (LastError != 0) return false;
    Protocol->LogRadioIntoUpgradeMode(*uiForm, *Port);
    leftInUpgradeMode = LastError == 0;
    if (LastError != 0) return false;
    StartUpgradeApplication(application);
    return LastError == 0;
}

colFiles::FilePtr clsDLManager::ReadUpgradeApplication() {
    LastError = 0;  // the last operation's number is no failure of this one
    if (!FileExists(upgradeFileName)) return nullptr;
    FileCheck check = CheckFile(upgradeFileName, *Files, parser, radioType == RADIO_FMX);
    colFiles::FilePtr application = Files->Exists(upgradeFileName) ? Files->Item(upgradeFileName) : nullptr;
    // The upgrade application is never one of the files a download writes.
    for (std::string key = upgradeFileName; Files->Exists(key); key += "1") Files->Remove(key);
    LastError = check.result;
    if (LastError == 0 && application->Definitiontables().Count() == 0) LastError = kFileInvalid;
    if (LastError == 0) return application;
    std::string why = check.notes.failure ? check.notes.failure->text : "it holds no data";
    if (check.notes.failure && check.notes.failure->line > 0)
        why = "line " + std::to_string(check.notes.failure->line) + ": " + why;
    uiForm->ShowRefusal("Nothing was sent to the radio: the upgrade application " + upgradeFileName +
                        " is not valid (" + why + ")");
    return nullptr;
}

void clsDLManager::StartUpgradeApplication(const colFiles::FilePtr& application) {
    if (application) {
        Protocol->SendUpgradeApplication(*uiForm, *Port, *application);
        return;
    }
    // No file: the radio starts an upgrade application of its own.
    bool terminator = false;
    Port->ReadBinary(2000, "3F", terminator);
    if (LastError == 0) Port->ReadBinary(2000, "AFAF", terminator);
}

void clsDLManager::ReadBack(const std::string& header, std::string* strFiles) {
    ConfigLog.WriteToLogFile(std::string(header));
    Protocol->GetConfiguration(*uiForm, *Port, *radio, strFiles);
    if (LastError != 0) return;
    Protocol->RestartRadio(*uiForm, *Port);
    leftInUpgradeMode = false;
}

int16_t clsDLManager::ReportConfigurations(std::string* strFiles) {
    return Operate(2020, false, [&] {
        radio = std::make_shared<clsRadio>();
        Files = std::make_unique<colFiles>();
        DownloadLog.OpenLogFile();
        ConfigLog.OpenLogFile();
        Protocol->SetUpgradeMode(0);
        if (EnterUpgradeMode()) ReadBack("Report Configurations...", strFiles);
    });
}

std::optional<std::string> clsDLManager::FindHardwareConfiguration(const std::string& strHardware) const {
    for (const auto& configuration : *radio->Configurations) {
        if (configuration->ProductID.substr(0, 5) == strHardware)
            return std::to_string(configuration->NetWorkID);
    }
    return std::nullopt;
}

int16_t clsDLManager::DownLoad(std::string* strFilesToReport) {
    return Operate(2017, true, [&] { DownloadSteps(strFilesToReport); });
}

int16_t clsDLManager::DryRun(DownloadPlan& plan) {
    plan = {};
    planning = &plan;
    int16_t result = Operate(2020, true, [&] { DownloadSteps(nullptr); });
    planning = nullptr;
    return result;
}

void clsDLManager::DownloadSteps(std::string* strFilesToReport) {
    const auto start = std::chrono::steady_clock::now();
    radio = std::make_shared<clsRadio>();
    if (!Files) Files = std::make_unique<colFiles>();  // no LoadFiles: nothing to write
    DownloadLog.OpenLogFile();
    ConfigLog.OpenLogFile();
    // ID texts that are no numbers could not address a device: refused before the radio is touched.
    for (const colFiles::FilePtr& file : *Files) {
        bool usesNetwork = !file->strDeviceID.empty() && file->strHardware.empty();
        if ((!file->strDeviceID.empty() && !Decimal(file->strDeviceID)) ||
            (usesNetwork && !Decimal(file->strNetWorkID))) {
            LastError = kFileInvalid;
            return;
        }
    }
    // The radio would find data that is not whole words only after erasing the block, and the
    // configuration living there with it.
    if (std::string uneven = UnevenTable(*Files); !uneven.empty()) {
        uiForm->ShowRefusal("Nothing was sent to the radio: " + uneven);
        LastError = kFileInvalid;
        return;
    }
    // Addresses the flash cannot take as given are refused before the radio is touched.
    if (std::optional<AddressRefusal> refusal = RefuseAddresses(*Files)) {
        uiForm->ShowRefusal(refusal->text);
        LastError = kAddressError;
        return;
    }
    Protocol->SetUpgradeMode(0);
    if (radioType == RADIO_FMX) {
        for (const colFiles::FilePtr& file : *Files) {
            if (!file->TagName.starts_with("ZMA1G")) continue;
            // A dry run notes the question and logs on as a Yes would have it.
            if (planning) {
                planning->fpgaQuestion = true;
            } else if (!uiForm->AskQuestion(kFpgaWarning)) {
                LastError = 1;
                return;
            }
            Protocol->SetUpgradeMode(1);
        }
    } else {
        Protocol->SetUpgradeMode(uiForm->AccessLevel());
    }
    if (!EnterUpgradeMode()) return;
    Protocol->NegotiateBaud(*uiForm, *Port, blnUI ? uiForm->BaudRateIndex() : 0);
    if (LastError != 0) return;
    ConfigLog.WriteToLogFile("Before download...");
    const auto reading = std::chrono::steady_clock::now();
    Protocol->GetConfiguration(*uiForm, *Port, *radio, strFilesToReport);
    if (LastError != 0) return;
    const auto read = std::chrono::steady_clock::now() - reading;
    WriteFiles(strFilesToReport);
    if (planning) return EndDryRun(start, read);
    if (LastError == 0) ReadBack("After download...", strFilesToReport);
}

void clsDLManager::EndDryRun(std::chrono::steady_clock::time_point start,
                             std::chrono::steady_clock::duration read) {
    // What stopped the plan is what the download would end with; the radio is restarted all the same.
    planning->result = LastError;
    planning->baud = Protocol->PreviousBaudRate();
    Protocol->RestartRadio(*uiForm, *Port);
    if (LastError != 0) return;
    leftInUpgradeMode = false;
    // The download reads the configurations once more after writing.
    planning->measuredSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start + read).count();
    const double baud = planning->baud.empty() ? 19200 : std::stod(planning->baud);
    planning->lineSeconds = static_cast<double>(planning->LineBytes()) * 10 / baud;
}

bool clsDLManager::RefuseSharedBlocks(const std::vector<colFiles::FilePtr>& files,
                                      const std::vector<std::string>& targets, size_t first) {
    const colFlashBlocks& blocks = *radio->FlashBlocks;
    std::map<int16_t, size_t> writer;  // a block's ID and the first image writing it
    for (size_t j = first; j < files.size(); ++j) {
        if (targets[j] != targets[first]) continue;
        std::optional<std::vector<int16_t>> ids = TouchedBlocks(*files[j], blocks);
        if (!ids) continue;  // refused with 52 when its turn comes
        for (int16_t id : *ids) {
            auto [earlier, added] = writer.emplace(id, j);
            if (added) continue;
            const clsFlashBlock& block = *blocks.Item(id + 1);
            uiForm->ShowRefusal(ImageLabel(*files[earlier->second]) + " and " + ImageLabel(*files[j]) +
                                " both write flash block " + std::to_string(id) + " (" +
                                HexAddress(block.StartAddress) + " to " +
                                HexAddress(int64_t{block.StartAddress} + block.Length - 1) +
                                "): erasing it for the second would erase the first");
            LastError = kAddressError;
            return true;
        }
    }
    return false;
}

bool clsDLManager::SelectDevice(const clsFile& file, std::string& device) {
    std::string network = file.strNetWorkID;
    if (!file.strHardware.empty()) {
        std::optional<std::string> found = FindHardwareConfiguration(file.strHardware);
        if (!found) {
            LastError = 25;
            return false;
        }
        network = *found;
    }
    if (file.strDeviceID.empty()) return true;  // the device chosen before stays
    device = DeviceIdText(*Decimal(network), *Decimal(file.strDeviceID));
    Protocol->SetDeviceID(*Port, device);
    return LastError == 0;
}

bool clsDLManager::AcceptLosses(const std::vector<colFiles::FilePtr>& files,
                                const std::vector<std::string>& targets, size_t first,
                                const std::string& device) {
    std::vector<PlannedImage> planned;
    for (size_t j = first; j < files.size(); ++j) {
        PlannedImage image;
        // An image that fits no block is refused with 52 when its turn comes.
        if (targets[j] == targets[first] && PlanImage(*files[j], *radio->FlashBlocks, device, image))
            planned.push_back(std::move(image));
    }
    std::vector<LostConfiguration> lost =
        LostWith(planned, *radio->Configurations, *radio->FlashBlocks, device);
    if (planning) {
        planning->lost.insert(planning->lost.end(), lost.begin(), lost.end());
        return true;
    }
    if (lost.empty()) return true;
    std::vector<std::string> sentences;
    for (const LostConfiguration& configuration : lost) sentences.push_back(configuration.Sentence());
    if (uiForm->ConfirmLoss(sentences)) return true;
    // Declined with nothing erased: the radio goes back to work rather than wait in upgrade mode.
    Protocol->RestartRadio(*uiForm, *Port);
    leftInUpgradeMode = LastError != 0;
    LastError = 1;
    return false;
}

void clsDLManager::WriteFiles(std::string* strFilesToReport) {
    std::vector<colFiles::FilePtr> files(Files->begin(), Files->end());
    std::vector<std::string> targets = ImageTargets(*Files);
    std::set<std::string> checked;  // the flashes whose images were checked against each other
    std::string device = "0000";    // the memory target: the radio itself until an image names a device
    for (size_t i = 0; i < files.size(); ++i) {
        const colFiles::FilePtr& file = files[i];
        if (planning) planning->refusedImage = ImageLabel(*file);
        if (!SelectDevice(*file, device)) return;
        Protocol->GetFlashBlocks(*Port, *radio);
        if (LastError != 0) return;
        // Before the first erase of a flash: no two images of the run may share one of its blocks, and what
        // their erases take with them is said.
        if (checked.insert(targets[i]).second &&
            (RefuseSharedBlocks(files, targets, i) || !AcceptLosses(files, targets, i, device)))
            return;
        if (planning) {
            PlannedImage image;
            if (!PlanImage(*file, *radio->FlashBlocks, device, image)) {
                LastError = kAddressError;
                return;
            }
            planning->images.push_back(std::move(image));
            continue;
        }
        Protocol->WriteDataToFlash(*uiForm, *Port, *file, *radio->FlashBlocks);
        if (LastError != 0 && StopRequested != 0) CloseStoppedWrite(*file, strFilesToReport);
        if (LastError != 0) return;
    }
    if (planning) planning->refusedImage.clear();
}

void clsDLManager::CloseStoppedWrite(const clsFile& file, std::string* strFilesToReport) {
    const int32_t result = LastError;
    // The blocks the image's unlock opened; it was sent only once they were known.
    std::string list;
    for (int16_t id : TouchedBlocks(file, *radio->FlashBlocks).value_or(std::vector<int16_t>{}))
        list += ToHex(static_cast<uint16_t>(id), 4);
    StopHeldUntil = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    // The stop came while the radio's reply was on its way: it is read to its end first, or it would be
    // taken for the lock's reply, and the lock's for the configurations'.
    bool ended = false;
    Port->ReadBinary(2000, "AFAF", ended);
    Protocol->SendCommand(*Port, 2000, "39", list);
    if (LastError == 0) {
        ConfigLog.WriteToLogFile("After download (stopped)...");
        Protocol->GetConfiguration(*uiForm, *Port, *radio, strFilesToReport);
    }
    StopHeldUntil = {};
    LastError = result;  // the operation ends as stopped
}

int16_t clsDLManager::EraseSelected(const std::string& FilesToErase, std::string* strFilesToReport) {
    return Operate(2021, false, [&] {
        Files = std::make_unique<colFiles>();
        DownloadLog.OpenLogFile();
        ConfigLog.OpenLogFile();
        if (!radio) {
            // No report or download on this port: no name can be found, and the radio is left alone.
            DownloadLog.WriteToLogFile("No configurations have been read on this port: nothing is erased");
            LastError = kNotReported;
            return;
        }
        std::string list = FilesToErase;
        if (list.ends_with('|')) list.pop_back();
        std::vector<std::string> fields;
        for (size_t start = 0, end;; start = end + 1) {
            end = list.find('|', start);
            fields.push_back(list.substr(start, end - start));
            if (end == std::string::npos) break;
        }
        Protocol->SetUpgradeMode(uiForm->AccessLevel());
        if (!EnterUpgradeMode()) return;
        // Whole pairs only: a last field without its partner is left alone.
        for (size_t i = 0; i + 1 < fields.size(); i += 2) {
            const std::string &device = fields[i], &name = fields[i + 1];
            if (device != "0000") {
                Protocol->SetDeviceID(*Port, device);
                if (LastError != 0) return;
            }
            // The radio's own blocks are read when no earlier step of this object read any.
            if (device != "0000" || radio->FlashBlocks->Count() == 0) {
                Protocol->GetFlashBlocks(*Port, *radio);
                if (LastError != 0) return;
            }
            Protocol->EraseFlashBlock(*uiForm, *Port, *radio, name);
            if (LastError != 0) return;
        }
        ReadBack("After erased...", strFilesToReport);
    });
}

}  // namespace kx6000
