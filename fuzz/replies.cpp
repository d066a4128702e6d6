// The protocol's handling of the radio's replies. The first byte picks the command whose reply the rest
// is; a port that frames the bytes as the serial port does hands them over read by read. The same bytes
// also go, as text, to the frame and configuration record decoders on their own. What must hold: LastError
// afterwards is 0 or a number of the component's error table, and decoded data is what the frame carried.
#include <algorithm>
#include <cstdint>
#include <string>

#include "protocol/clsProtocol.h"
#include "radio/clsRadio.h"
#include "resources/ResourceTexts.h"
#include "support/Errors.h"
#include "support/Hex.h"
#include "support/Program.h"

namespace {

using namespace kx6000;

void CheckErrorNumber() {
    if (std::find(kErrorNumbers.begin(), kErrorNumbers.end(), LastError) == kErrorNumbers.end())
        __builtin_trap();
}

// Replies word by word as the serial port's framed read gives them: a read ends at "AFAF" or after a
// whole data reply ("43" and its words); bytes running out are a time-out (42).
class ReplyPort : public IPort {
public:
    explicit ReplyPort(std::string hex) : hex(std::move(hex)) {}

    void OpenPort() override {}
    std::string ReadBinary(int16_t, const std::string& terminator, bool& found) override {
        found = false;
        std::string collected;
        uint32_t owed = 0;
        while (at + 4 <= hex.size()) {
            std::string word = hex.substr(at, 4);
            at += 4;
            collected += word;
            bool complete = false;
            if (owed > 0) {
                complete = --owed == 0;
            } else if (word.starts_with("43")) {
                owed = *ParseHex(std::string_view(word).substr(2)) + 1;
            } else if (word == terminator) {
                found = true;
            }
            if (found || complete) {
                LastError = 0;
                return collected;
            }
        }
        LastError = 42;
        return "";
    }
    void WriteBinary(const std::string&) override { LastError = 0; }
    void ClosePort() override {}
    void SetPortParameters(const std::string&, int32_t) override {}
    void WaitForReset() override {}
    int16_t Step() const override { return 64; }
    void ResetRadio() override {}
    void StopTimer() override {}

private:
    std::string hex;
    size_t at = 0;
};

constexpr const char* kCommands[] = {"31", "37", "70", "7F", "32", "38"};

void Transaction(const uint8_t* data, size_t size) {
    ResetProgramState();
    std::string hex;
    for (size_t i = 1; i < size; ++i) hex += ToHex(data[i], 2);
    std::string command = kCommands[data[0] % std::size(kCommands)];
    ReplyPort port(hex);
    clsProtocol protocol;
    clsRadio radio;
    protocol.SendCommand(port, 100, command, "", &radio);
    CheckErrorNumber();
    if (LastError != 0 || command != "37") return;
    // One block per eight digits of start and eight of length, numbered in reply order.
    int16_t id = 0;
    for (const auto& block : *radio.FlashBlocks)
        if (block->ID != id++) __builtin_trap();
}

void FrameData(const std::string& text) {
    ResetProgramState();
    clsProtocol protocol;
    std::string words = protocol.ExtractFrameData(text);
    CheckErrorNumber();
    if (LastError == 0 && (words.size() % 4 != 0 || text.compare(4, words.size(), words) != 0))
        __builtin_trap();
}

void ConfigurationRecord(const std::string& text) {
    ResetProgramState();
    colConfigurations configurations;
    try {
        configurations.Add(text);
    } catch (const RuntimeFailure&) {
        // The documented answer to a record that does not decode.
        if (configurations.Count() != 0) __builtin_trap();
        return;
    }
    if (configurations.Count() != 1 || configurations.Item(1)->ProductID.size() > text.size() / 4 + 1)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Transaction(data, size);
    // Raw text reaches the decoders' checks of their digits; hex text their decoding.
    std::string text(reinterpret_cast<const char*>(data), size), hex;
    for (size_t i = 1; i < size; ++i) hex += ToHex(data[i], 2);
    for (const std::string& input : {text, hex}) {
        FrameData(input);
        ConfigurationRecord(input);
    }
    return 0;
}
