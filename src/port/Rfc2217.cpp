#include "port/Rfc2217.h"

namespace kx6000 {
namespace {

constexpr uint8_t kSe = 240, kSb = 250, kWill = 251, kWont = 252, kDo = 253, kDont = 254, kIac = 255;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;
// The client's commands; the server answers each with the same code plus 100.
constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5,
                  kPurgeData = 12;
constexpr uint8_t kServer = 100, kNotifyLineState = 6;
constexpr uint8_t kParityNone = 1, kStopBits1 = 1, kDtrOn = 8, kRtsOn = 11, kPurgeReceiveBuffer = 1;
constexpr uint8_t kBreakDetected = 0x10;

std::string Bytes(std::initializer_list<uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string Command(uint8_t code, std::string_view value) {
    return Bytes({kIac, kSb, kComPortOption, code}) + Rfc2217Codec::Escape(value) + Bytes({kIac, kSe});
}

std::string Command(uint8_t code, uint8_t value) {
    return Command(code, Bytes({value}));
}

bool Wanted(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

}  // namespace

std::string Rfc2217Codec::Start() {
    started = true;
    std::string asked;
    for (uint8_t option : {kBinary, kSuppressGoAhead}) {
        ours[option] = theirs[option] = Agreement::Asked;
        asked += Bytes({kIac, kWill, option, kIac, kDo, option});
    }
    ours[kComPortOption] = Agreement::Asked;
    return asked + Bytes({kIac, kWill, kComPortOption});
}

Rfc2217Codec::Agreement Rfc2217Codec::ComPort() const {
    return ours[kComPortOption];
}

std::string Rfc2217Codec::Escape(std::string_view data) {
    std::string escaped;
    escaped.reserve(data.size());
    for (char byte : data) {
        escaped += byte;
        if (static_cast<uint8_t>(byte) == kIac) escaped += byte;
    }
    return escaped;
}

std::string Rfc2217Codec::SetLine(uint32_t rate) {
    return Command(kSetBaudRate, Bytes({static_cast<uint8_t>(rate >> 24), static_cast<uint8_t>(rate >> 16),
                                        static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)})) +
           Command(kSetDataSize, 8) + Command(kSetParity, kParityNone) + Command(kSetStopSize, kStopBits1);
}

std::string Rfc2217Codec::RaiseModemLines() {
    return Command(kSetControl, kDtrOn) + Command(kSetControl, kRtsOn);
}

std::string Rfc2217Codec::PurgeReceived() {
    ++purgesOwed;
    return Command(kPurgeData, kPurgeReceiveBuffer);
}

void Rfc2217Codec::Feed(std::string_view bytes, std::string& data) {
    for (char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        switch (parse) {
            case Parse::Data:
                if (byte == kIac)
                    parse = Parse::Command;
                else if (purgesOwed == 0)
                    data += c;
                break;
            case Parse::Command:
                parse = Parse::Data;
                if (byte == kIac) {
                    if (purgesOwed == 0) data += c;
                } else if (byte == kSb) {
                    sub.clear();
                    parse = Parse::Sub;
                } else if (byte >= kWill && byte <= kDont) {
                    verb = byte;
                    parse = Parse::Option;
                }  // the other commands (go-ahead, no-operation, ...) carry nothing for the line
                break;
            case Parse::Option:
                Negotiate(verb, byte);
                parse = Parse::Data;
                break;
            case Parse::Sub:
                if (byte == kIac)
                    parse = Parse::SubCommand;
                else
                    sub += c;
                break;
            case Parse::SubCommand:
                if (byte == kIac) {
                    sub += c;
                    parse = Parse::Sub;
                } else {
                    // IAC SE ends it; any other command there ends a malformed one the same way.
                    Subnegotiated();
                    parse = Parse::Data;
                }
                break;
        }
    }
}

void Rfc2217Codec::Negotiate(uint8_t command, uint8_t option) {
    const bool enable = command == kWill || command == kDo;
    // DO and DONT are about what this end does; WILL and WONT about what the server does.
    Agreement& state = command == kDo || command == kDont ? ours[option] : theirs[option];
    const uint8_t yes = command == kDo || command == kDont ? kWill : kDo;
    const uint8_t no = command == kDo || command == kDont ? kWont : kDont;
    const bool acceptable =
        command == kDo || command == kDont ? Wanted(option) || option == kComPortOption : Wanted(option);
    // Only a change of state is answered, so two ends never echo each other for ever.
    if (enable) {
        if (state == Agreement::Accepted) return;
        if (acceptable && started) {
            if (state != Agreement::Asked) replies += Bytes({kIac, yes, option});
            state = Agreement::Accepted;
        } else {
            replies += Bytes({kIac, no, option});
        }
    } else if (state != Agreement::Refused) {
        if (state == Agreement::Accepted) replies += Bytes({kIac, no, option});
        state = Agreement::Refused;
    }
}

void Rfc2217Codec::Subnegotiated() {
    if (sub.size() < 2 || static_cast<uint8_t>(sub[0]) != kComPortOption) return;
    const auto code = static_cast<uint8_t>(sub[1]);
    const std::string_view value = std::string_view(sub).substr(2);
    if (code == kServer + kSetBaudRate && value.size() == 4) {
        uint32_t rate = 0;
        for (char byte : value) rate = rate << 8 | static_cast<uint8_t>(byte);
        acknowledgedRate = rate;
    } else if (code == kServer + kPurgeData && purgesOwed > 0) {
        --purgesOwed;
    } else if (code == kServer + kNotifyLineState && value.size() == 1) {
        lineBroke = lineBroke || (static_cast<uint8_t>(value[0]) & kBreakDetected) != 0;
    }  // the other answers and the modem state change nothing here
}

}  // namespace kx6000
