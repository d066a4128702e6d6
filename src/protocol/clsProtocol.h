// The radio protocol: command frames and the radio's replies, upgrade mode,
// the flash structure and configurations, and writing and erasing flash.
// Outcomes are error numbers in LastError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/clsFile.h"
#include "port/IPort.h"
#include "radio/clsRadio.h"
#include "ui/UIForm.h"

namespace kx6000 {

class clsProtocol {
public:
    // --- Upgrade mode ---
    // Any value but 0 selects the special logon (the radio is power-cycled by hand).
    void SetUpgradeMode(int16_t Value);
    // Resets the radio into its boot code and logs on: 0, 21, 22 or a port code.
    void LogRadioIntoUpgradeMode(UIForm& form, IPort& port);
    // Sends the upgrade application's bytes raw and waits for the radio's "AFAF".
    void SendUpgradeApplication(UIForm& form, IPort& port, const clsFile& BootFile);
    // Moves both ends to the fastest rate the list index allows: 0 or 56.
    void NegotiateBaud(UIForm& form, IPort& port, int16_t intListIndex);
    // Restarts the radio out of upgrade mode and the port back to 19200.
    void RestartRadio(UIForm& form, IPort& port);
    // The last rate a baud switch confirmed ("9600", "19200" or "115200").
    const std::string& PreviousBaudRate() const { return previousBaudRate; }
    void PreviousBaudRate(std::string strNewBaudRate) { previousBaudRate = std::move(strNewBaudRate); }

    // --- Flash structure and configurations ---
    // Reads the flash blocks into radio.FlashBlocks.
    void GetFlashBlocks(IPort& port, clsRadio& radio);
    // Reads the configurations into radio.Configurations, shows and logs them and,
    // without the window, lists them in *strFiles as "ProductID|Status|" entries.
    void GetConfiguration(UIForm& form, IPort& port, clsRadio& radio, std::string* strFiles);
    // Selects the radio ("0000") or one of its devices (network and device ID, two hex digits each).
    void SetDeviceID(IPort& port, const std::string& strID);

    // --- Erasing and writing flash ---
    // Unlocks, erases and locks the block holding the named configuration.
    void EraseFlashBlock(UIForm& form, IPort& port, const clsRadio& radio, const std::string& strConfigName);
    // Writes one download image into the blocks its address runs touch.
    void WriteDataToFlash(UIForm& form, IPort& port, const clsFile& CurrentFile,
                          const colFlashBlocks& FlashBlocks);

    // --- The command transaction ---
    // Sends one command frame and reads and classifies the reply; with a time-out of 0 nothing is read.
    // "31" fills radio->Configurations, "37" radio->FlashBlocks. A reply asking for the frame again
    // ("8001", "8002", "8003") sends it again, three times in all, then gives 58.
    void SendCommand(IPort& port, int16_t intTimeout, const std::string& strCommand,
                     const std::string& strData, clsRadio* radio = nullptr);
    // The number of hex digits of whole words, else 0 and LastError 54.
    int32_t CheckDataLength(const std::string& strData);
    // The complement of the 16-bit sum of the text's words; LastError 55 for a text that is not hex.
    std::string CalculateChecksum(const std::string& text);
    // The data words of one checked reply frame; LastError 57, 54 or 55 otherwise.
    std::string ExtractFrameData(const std::string& frame);
    // Classifies LastResponse into LastError, ResendRequested and FlashLocked.
    void ParseResponse();

    const std::string& LastResponse() const { return lastResponse; }
    bool ResendRequested() const { return resendRequested; }
    bool FlashLocked() const { return flashLocked; }

private:
    void ResetAndWait(UIForm& form, IPort& port);
    // One fall-back reset by command at `rate`, the restart awaited at 19200; true when it came.
    bool ResetAtRate(IPort& port, const std::string& rate);
    void SetBaudRate(UIForm& form, IPort& port, const std::string& code, const std::string& rate);
    // The reply part of a command: the reads, ParseResponse and the reply's parser.
    void Transaction(IPort& port, int16_t timeout, const std::string& command, clsRadio* radio);
    // A read of one reply into LastResponse.
    void ReadReply(IPort& port, int16_t timeout);
    void ParseFlashStructure(colFlashBlocks& FlashBlocks);
    void ParseConfigurations(colConfigurations& Configurations);
    void LogFlashInformation();
    void BuildBlockList(std::string& list, const clsFile& CurrentFile, const colFlashBlocks& FlashBlocks);
    void WriteFileData(UIForm& form, IPort& port, const clsFile& CurrentFile);

    std::string previousBaudRate;
    std::string lastResponse;
    bool resendRequested = false;
    bool flashLocked = false;
};

// The IDs of the flash blocks an image's runs touch, each once, in the order first touched; nothing when an
// address lies in no block. A start address that is not a number throws std::logic_error.
std::optional<std::vector<int16_t>> TouchedBlocks(const clsFile& image, const colFlashBlocks& FlashBlocks);

// (numerator / denominator) × 100, rounded to the nearest whole number, halves to even.
int16_t Percent(int64_t numerator, int64_t denominator);

}  // namespace kx6000
