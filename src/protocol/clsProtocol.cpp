#include "protocol/clsProtocol.h"

#include <array>
#include <utility>

#include "support/Errors.h"
#include "support/Hex.h"
#include "support/OutsideText.h"
#include "support/Program.h"

namespace kx6000 {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kCommandNames = {{
    {"30", "Set Baud Rate"},
    {"31", "Report Configuration"},
    {"32", "Unlock Flash"},
    {"33", "Erase Flash"},
    {"34", "Set Flash Address"},
    {"35", "Write Flash Data"},
    {"36", "Reset Radio"},
    {"37", "Report Flash Structure"},
    {"38", "Confirm Ready"},
    {"39", "Lock Flash"},
    {"3A", "Set Memory Target"},
    {"70", "Flash ID"},
    {"7F", "Flash OTP"},
}};

// The radio's error words and the numbers they are reported as.
constexpr std::array<std::pair<std::string_view, int32_t>, 15> kErrorWords = {{
    {"8001", 8001},
    {"8002", 55},
    {"8003", 8003},
    {"8101", 8101},
    {"8102", 8102},
    {"8103", 8103},
    {"8104", 8104},
    {"8105", 8105},
    {"8106", 8106},
    {"8107", 8107},
    {"8108", 8108},
    {"8109", 8109},
    {"810A", 8110},
    {"810B", 8111},
    {"810C", 8112},
}};

constexpr int kAttempts = 3;

std::string_view CommandName(std::string_view code) {
    for (auto [command, name] : kCommandNames) {
        if (command == code) return name;
    }
    return {};
}

// Where `word` stands on the reply's word grid, or npos.
size_t FindWord(std::string_view text, std::string_view word) {
    for (size_t at = 0; at + 4 <= text.size(); at += 4) {
        if (text.substr(at, 4) == word) return at;
    }
    return std::string_view::npos;
}

// Up to `length` characters from `position`, fewer or none at the end.
std::string_view Mid(std::string_view text, size_t position, size_t length) {
    return position < text.size() ? text.substr(position, length) : std::string_view{};
}

bool ReplyWordOfFrame(std::string_view word) {
    return word.starts_with("43") || word.starts_with("46") || word.starts_with("49");
}

}  // namespace

int16_t Percent(int64_t numerator, int64_t denominator) {
    int64_t scaled = numerator * 100, whole = scaled / denominator, twiceRest = 2 * (scaled % denominator);
    if (twiceRest > denominator || (twiceRest == denominator && whole % 2 != 0)) ++whole;
    return static_cast<int16_t>(whole);
}

int32_t clsProtocol::CheckDataLength(const std::string& strData) {
    if (strData.size() % 4 != 0) {
        LastError = kWrongLength;
        return 0;
    }
    LastError = 0;
    return static_cast<int32_t>(strData.size());
}

std::string clsProtocol::CalculateChecksum(const std::string& text) {
    uint32_t sum = 0;
    for (size_t at = 0; at < text.size(); at += 4) {
        std::optional<uint32_t> word = ParseHex(std::string_view(text).substr(at, 4));
        if (!word) {
            LastError = kChecksumError;
            return "";
        }
        sum += *word;
    }
    LastError = 0;
    return ToHex(0xFFFF - (sum & 0xFFFF), 4);
}

std::string clsProtocol::ExtractFrameData(const std::string& frame) {
    if (frame.empty()) {
        LastError = 57;
        return "";
    }
    std::optional<uint32_t> words = ParseHex(Mid(frame, 2, 2));
    if (!words || frame.size() != 4 * *words + 8) {
        LastError = kWrongLength;
        return "";
    }
    std::string checksum = CalculateChecksum(frame.substr(0, frame.size() - 4));
    if (LastError != 0) return "";
    if (checksum != frame.substr(frame.size() - 4)) {
        LastError = kChecksumError;
        return "";
    }
    return frame.substr(4, 4 * *words);
}

void clsProtocol::ParseResponse() {
    resendRequested = false;
    flashLocked = false;
    std::string_view reply = lastResponse, first = Mid(reply, 0, 4);
    LastError = 0;
    if (first == "AFAF") return;
    if (first == "AEAE") {
        // A block list: each keep-alive or terminator word counts a block; an
        // error word names the block at that count.
        std::string failed;
        int position = 0;
        for (size_t at = 0; at < reply.size(); at += 4) {
            std::string_view word = Mid(reply, at, 4);
            if (word == "AEAE" || word == "AFAF") {
                ++position;
            } else if (ReplyWordOfFrame(word)) {
                return;
            } else {
                failed += std::to_string(position % 100 / 10) + std::to_string(position % 10);
            }
        }
        if (failed.empty()) return;
        DownloadLog.WriteToLogFile("Error (Block id in position " + failed + ")");
        LastError = kBlockListError;
        resendRequested = true;
        return;
    }
    for (auto [word, number] : kErrorWords) {
        if (first == word) {
            LastError = number;
            resendRequested = word == "8001" || word == "8002" || word == "8003";
            flashLocked = word == "8104";
            return;
        }
    }
    if (!ReplyWordOfFrame(first)) LastError = 51;
}

void clsProtocol::SendCommand(IPort& port, int16_t intTimeout, const std::string& strCommand,
                              const std::string& strData, clsRadio* radio) {
    int32_t digits = CheckDataLength(strData);
    if (LastError != 0) return;
    std::string frame = strCommand + ToHex(static_cast<uint32_t>(digits / 4), 2) + strData;
    frame += CalculateChecksum(frame);  // text that is not hex is refused by the port's write
    std::string logLine = "Command (" + std::string(CommandName(strCommand)) + ") : " + frame;
    for (int attempt = 1;; ++attempt) {
        resendRequested = false;
        DownloadLog.WriteToLogFile(std::string(logLine));
        port.WriteBinary(frame);
        if (LastError != 0 || intTimeout == 0) return;
        Transaction(port, intTimeout, strCommand, radio);
        // A garbled frame ("8001", "8002", "8003") goes again; a block list's error does not.
        if (!resendRequested || LastError == kBlockListError) return;
        if (attempt == kAttempts) {
            LastError = 58;
            return;
        }
    }
}

void clsProtocol::Transaction(IPort& port, int16_t timeout, const std::string& command, clsRadio* radio) {
    bool terminator = false;
    if (command == "31" && radio != nullptr) {
        // One read per configuration record, and a last one for the terminator.
        radio->Configurations = std::make_shared<colConfigurations>();
        do {
            lastResponse = port.ReadBinary(timeout, "AFAF", terminator);
            if (LastError != 0) return;
            DownloadLog.WriteToLogFile("Response : " + lastResponse);
            ParseResponse();
            if (LastError != 0) return;
            ParseConfigurations(*radio->Configurations);
            if (LastError != 0) return;
        } while (!terminator);
        return;
    }
    lastResponse = port.ReadBinary(timeout, "AFAF", terminator);
    if (LastError != 0) return;
    DownloadLog.WriteToLogFile("Response : " + lastResponse);
    ParseResponse();
    if (LastError != 0) return;
    if (command == "37" && radio != nullptr) {
        radio->FlashBlocks = std::make_shared<colFlashBlocks>();
        ParseFlashStructure(*radio->FlashBlocks);
    } else if (command == "70" || command == "7F") {
        LogFlashInformation();
    }
}

void clsProtocol::LogFlashInformation() {
    size_t end = FindWord(lastResponse, "AFAF");
    if (end == std::string::npos) {
        LastError = kWrongLength;
        return;
    }
    std::string data = ExtractFrameData(lastResponse.substr(0, end));
    if (LastError == 0) DownloadLog.WriteToLogFile(data);
}

void clsProtocol::ParseFlashStructure(colFlashBlocks& FlashBlocks) {
    size_t end = FindWord(lastResponse, "AFAF");
    if (end == std::string::npos) {
        LastError = kWrongLength;
        return;
    }
    std::string data = ExtractFrameData(lastResponse.substr(0, end));
    if (LastError != 0) return;
    try {
        // Eight digits of start address and eight of length per block; IDs in reply order.
        for (size_t at = 0; at < data.size(); at += 16) {
            FlashBlocks.Add(static_cast<int16_t>(at / 16), Mid(data, at, 8), Mid(data, at + 8, 8));
        }
    } catch (const RuntimeFailure&) {
        LastError = kWrongLength;
    }
}

void clsProtocol::ParseConfigurations(colConfigurations& Configurations) {
    std::string_view rest = lastResponse;
    auto dropKeepAlives = [&rest] {
        while (rest.starts_with("AEAE")) rest.remove_prefix(4);
    };
    dropKeepAlives();
    while (!rest.empty() && rest.size() != 4) {
        std::optional<uint32_t> words = ParseHex(Mid(rest, 2, 2));
        if (!words) {
            LastError = kWrongLength;
            return;
        }
        std::string frame(rest.substr(0, 4 * *words + 8));
        std::string data = ExtractFrameData(frame);
        if (LastError != 0) return;
        try {
            Configurations.Add(data);
        } catch (const RuntimeFailure&) {
            LastError = kWrongLength;
            return;
        }
        rest.remove_prefix(frame.size());
        dropKeepAlives();
    }
}

void clsProtocol::GetFlashBlocks(IPort& port, clsRadio& radio) {
    SendCommand(port, 2000, "37", "", &radio);
}

void clsProtocol::SetDeviceID(IPort& port, const std::string& strID) {
    SendCommand(port, 2000, "3A", strID);
}

void clsProtocol::GetConfiguration(UIForm& form, IPort& port, clsRadio& radio, std::string* strFiles) {
    form.ResetProgessBar();
    form.SetLabels(false);
    form.StatusPanelStatus(Text(2006));
    SendCommand(port, 12000, "31", "", &radio);
    if (LastError != 0) return;
    form.UpdateLabels(*radio.Configurations);
    for (const auto& configuration : *radio.Configurations) {
        ConfigLog.WriteToLogFile("Configuration: " + configuration->ProductID + "|" +
                                 "Status: " + std::to_string(configuration->Status));
    }
    if (!form.UIDisplay() && strFiles != nullptr) {
        strFiles->clear();
        for (const auto& configuration : *radio.Configurations) {
            *strFiles +=
                ListName(configuration->ProductID) + "|" + std::to_string(configuration->Status) + "|";
        }
    }
}

}  // namespace kx6000
