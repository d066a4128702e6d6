#include "sim/Scenario.h"

#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "support/Hex.h"

namespace kx6000::sim {

using nlohmann::json;

namespace {

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw std::runtime_error("scenario: " + where + " " + what);
}

std::string Join(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
}

// Every field of `object` must be one of `known`, so that a misspelt fault never goes unnoticed.
void CheckObject(const json& object, const std::string& where, std::initializer_list<const char*> known) {
    if (!object.is_object()) Fail(where.empty() ? "top level" : where, "must be an object");
    for (const auto& [key, value] : object.items()) {
        bool found = false;
        for (const char* name : known) found = found || key == name;
        if (found) continue;
        std::string names;
        for (const char* name : known) names += std::string(names.empty() ? "" : ", ") + name;
        Fail(Join(where, key), "is not a known field (known here: " + names + ")");
    }
}

int64_t Integer(const json& object, const char* key, const std::string& where, int64_t min, int64_t max,
                int64_t fallback) {
    if (!object.contains(key)) return fallback;
    const json& value = object.at(key);
    if (!value.is_number_integer() || value.get<int64_t>() < min || value.get<int64_t>() > max)
        Fail(Join(where, key),
             "must be a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    return value.get<int64_t>();
}

bool Boolean(const json& object, const char* key, const std::string& where, bool fallback) {
    if (!object.contains(key)) return fallback;
    if (!object.at(key).is_boolean()) Fail(Join(where, key), "must be true or false");
    return object.at(key).get<bool>();
}

// A hex text of exactly `digits` digits, as the radio's words are written ("8104", "0060", "33").
uint32_t HexField(const json& value, const std::string& where, int digits) {
    std::string text = value.is_string() ? value.get<std::string>() : "";
    auto parsed = ParseHex(text);
    if (!parsed || text.size() != static_cast<size_t>(digits))
        Fail(where, "must be a text of " + std::to_string(digits) + " hex digits");
    return *parsed;
}

// Addresses and lengths: a decimal number, or a hex text with or without "0x".
uint32_t Address(const json& value, const std::string& where) {
    if (value.is_number_unsigned() && value.get<uint64_t>() <= 0xFFFFFFFFu) return value.get<uint32_t>();
    if (value.is_string()) {
        std::string text = value.get<std::string>();
        if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) text = text.substr(2);
        if (auto parsed = ParseHex(text)) return *parsed;
    }
    Fail(where, "must be a number or a hex text of 1 to 8 digits (\"0x10000\")");
}

std::vector<BlockSetup> Blocks(const json& list, const std::string& where) {
    if (!list.is_array() || list.empty()) Fail(where, "must be a list of one or more blocks");
    std::vector<BlockSetup> blocks;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string at = where + "[" + std::to_string(i) + "]";
        CheckObject(list[i], at, {"start", "length"});
        if (!list[i].contains("start") || !list[i].contains("length")) Fail(at, "needs a start and a length");
        BlockSetup block{Address(list[i]["start"], at + ".start"),
                         Address(list[i]["length"], at + ".length")};
        if (block.length == 0 || uint64_t{block.start} + block.length > 0x100000000u)
            Fail(at, "must have a length above 0 and end within 32-bit addresses");
        blocks.push_back(block);
    }
    // The flash structure reply carries four words per block in one frame of at most 255 words.
    if (blocks.size() > 63) Fail(where, "may hold at most 63 blocks");
    return blocks;
}

std::vector<ConfigurationSetup> Configurations(const json& list, const std::string& where) {
    if (!list.is_array()) Fail(where, "must be a list");
    std::vector<ConfigurationSetup> configurations;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string at = where + "[" + std::to_string(i) + "]";
        CheckObject(list[i], at, {"productId", "address", "status"});
        if (!list[i].contains("productId") || !list[i]["productId"].is_string())
            Fail(at + ".productId", "must be a text");
        if (!list[i].contains("address")) Fail(at, "needs an address");
        ConfigurationSetup configuration{list[i]["productId"].get<std::string>(),
                                         Address(list[i]["address"], at + ".address"),
                                         static_cast<uint16_t>(Integer(list[i], "status", at, 0, 0xFFFF, 0))};
        // One word per character, in a data reply of at most 255 words with the address and status.
        if (configuration.productId.empty() || configuration.productId.size() > 240 ||
            configuration.productId.find('\0') != std::string::npos)
            Fail(at + ".productId", "must have 1 to 240 characters, none of code 0");
        configurations.push_back(configuration);
    }
    return configurations;
}

void CheckAddresses(const DeviceSetup& device, const std::string& where) {
    for (const auto& configuration : device.configurations) {
        bool inside = false;
        for (const auto& block : device.blocks)
            inside = inside || (configuration.address >= block.start &&
                                uint64_t{configuration.address} < uint64_t{block.start} + block.length);
        if (!inside) Fail(where, "holds \"" + configuration.productId + "\" at an address outside its flash");
    }
}

RadioState StateFromName(const json& value, const std::string& where) {
    for (RadioState state :
         {RadioState::Application, RadioState::Boot, RadioState::Upgrade, RadioState::Running})
        if (value.is_string() && value.get<std::string>() == StateName(state)) return state;
    Fail(where, "must be one of \"application\", \"boot\", \"upgrade\", \"running\"");
}

void ReadFaults(const json& object, Faults& faults) {
    const std::string where = "faults";
    CheckObject(object, where,
                {"silent", "noLogonReply", "keepAlive", "errorWords", "lockedWrites", "refusedBaudCodes",
                 "corruptChecksums", "keepAliveStorm", "keepAliveFlood", "garbleEveryNthFrame",
                 "unlistedTags", "tagStatus"});
    faults.silent = Boolean(object, "silent", where, false);
    faults.noLogonReply = Boolean(object, "noLogonReply", where, false);
    faults.keepAliveFlood = Boolean(object, "keepAliveFlood", where, false);
    if (object.contains("keepAlive")) {
        const json& keepAlive = object["keepAlive"];
        CheckObject(keepAlive, "faults.keepAlive", {"words", "intervalMs"});
        faults.keepAliveWords = static_cast<int>(Integer(keepAlive, "words", "faults.keepAlive", 0, 1000, 1));
        faults.keepAliveIntervalMs =
            static_cast<int>(Integer(keepAlive, "intervalMs", "faults.keepAlive", 0, 60000, 0));
    }
    if (object.contains("errorWords")) {
        const json& list = object["errorWords"];
        if (!list.is_array()) Fail("faults.errorWords", "must be a list");
        for (size_t i = 0; i < list.size(); ++i) {
            std::string at = "faults.errorWords[" + std::to_string(i) + "]";
            CheckObject(list[i], at, {"command", "word", "block", "occurrence"});
            if (!list[i].contains("command") || !list[i].contains("word"))
                Fail(at, "needs a command and a word");
            ErrorWordFault fault;
            fault.command = static_cast<uint8_t>(HexField(list[i]["command"], at + ".command", 2));
            fault.word = static_cast<uint16_t>(HexField(list[i]["word"], at + ".word", 4));
            if (list[i].contains("block"))
                fault.block = static_cast<uint16_t>(Integer(list[i], "block", at, 0, 0xFFFF, 0));
            fault.occurrence = static_cast<int>(Integer(list[i], "occurrence", at, 0, 1000000, 0));
            faults.errorWords.push_back(fault);
        }
    }
    faults.lockedWrites = static_cast<int>(Integer(object, "lockedWrites", where, 0, 1000000, 0));
    if (object.contains("refusedBaudCodes")) {
        const json& list = object["refusedBaudCodes"];
        if (!list.is_array()) Fail("faults.refusedBaudCodes", "must be a list");
        for (size_t i = 0; i < list.size(); ++i)
            faults.refusedBaudCodes.push_back(static_cast<uint16_t>(
                HexField(list[i], "faults.refusedBaudCodes[" + std::to_string(i) + "]", 4)));
    }
    if (object.contains("corruptChecksums")) {
        const json& list = object["corruptChecksums"];
        if (!list.is_array()) Fail("faults.corruptChecksums", "must be a list");
        for (size_t i = 0; i < list.size(); ++i) {
            std::string at = "faults.corruptChecksums[" + std::to_string(i) + "]";
            CheckObject(list[i], at, {"command", "reply"});
            if (!list[i].contains("command")) Fail(at, "needs a command");
            CorruptChecksumFault fault;
            fault.command = static_cast<uint8_t>(HexField(list[i]["command"], at + ".command", 2));
            if (fault.command != 0x31 && fault.command != 0x37 && fault.command != 0x70 &&
                fault.command != 0x7F)
                Fail(at + ".command",
                     "must be a command with a data reply: \"31\", \"37\", \"70\" or \"7F\"");
            fault.reply = static_cast<int>(Integer(list[i], "reply", at, 0, 1000000, 0));
            faults.corruptChecksums.push_back(fault);
        }
    }
    if (object.contains("keepAliveStorm")) {
        const json& storm = object["keepAliveStorm"];
        CheckObject(storm, "faults.keepAliveStorm", {"words", "intervalMs"});
        faults.keepAliveStormWords =
            static_cast<int>(Integer(storm, "words", "faults.keepAliveStorm", 1, 100000, 100));
        faults.keepAliveStormIntervalMs =
            static_cast<int>(Integer(storm, "intervalMs", "faults.keepAliveStorm", 1, 60000, 10));
    }
    faults.garbleEveryNthFrame =
        static_cast<int>(Integer(object, "garbleEveryNthFrame", where, 0, 1000000, 0));
    faults.unlistedTags = Boolean(object, "unlistedTags", where, false);
    faults.tagStatus = static_cast<uint16_t>(Integer(object, "tagStatus", where, 0, 0xFFFF, 0));
}

void ReadTiming(const json& object, Timing& timing) {
    const std::string where = "timing";
    CheckObject(object, where,
                {"restartDelayMs", "ownApplicationAfterMs", "ownApplicationEndMs", "applicationIdleMs",
                 "intercharacterMs", "baudSwitchMs"});
    auto get = [&](const char* key, int fallback) {
        return static_cast<int>(Integer(object, key, where, 1, 60000, fallback));
    };
    timing.restartDelayMs = get("restartDelayMs", timing.restartDelayMs);
    timing.ownApplicationAfterMs = get("ownApplicationAfterMs", timing.ownApplicationAfterMs);
    timing.ownApplicationEndMs = get("ownApplicationEndMs", timing.ownApplicationEndMs);
    timing.applicationIdleMs = get("applicationIdleMs", timing.applicationIdleMs);
    timing.intercharacterMs = get("intercharacterMs", timing.intercharacterMs);
    timing.baudSwitchMs = get("baudSwitchMs", timing.baudSwitchMs);
}

}  // namespace

const char* StateName(RadioState state) {
    switch (state) {
        case RadioState::Application:
            return "application";
        case RadioState::Boot:
            return "boot";
        case RadioState::Upgrade:
            return "upgrade";
        case RadioState::Running:
            return "running";
    }
    return "?";
}

DeviceSetup DefaultRadioSetup() {
    DeviceSetup radio;
    for (uint32_t i = 0; i < 8; ++i) radio.blocks.push_back({i * 0x10000u, 0x10000u});
    radio.configurations = {
        {"ZMA1B_01.00", 0x00000100, 0}, {"ZMA1F_01.02.03.04", 0x00010000, 0}, {"KXA61_HW01", 0x00070000, 0}};
    return radio;
}

Scenario ParseScenario(const std::string& text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& error) {
        throw std::runtime_error(std::string("scenario: not valid JSON: ") + error.what());
    }
    CheckObject(root, "",
                {"model", "start", "addressUnitBytes", "restartSignal", "specialMode",
                 "powerCycleAfterSeconds", "flash", "configurations", "devices", "faults", "timing"});
    Scenario scenario;
    scenario.model = static_cast<int>(Integer(root, "model", "", 0, 99999, 6100));
    if (scenario.model != 6100 && scenario.model != 6200) Fail("model", "must be 6100 or 6200");
    if (root.contains("start")) {
        const json& start = root["start"];
        CheckObject(start, "start", {"state", "baud"});
        if (start.contains("state")) scenario.startState = StateFromName(start["state"], "start.state");
        scenario.startBaud = static_cast<int>(Integer(start, "baud", "start", 0, 115200, 19200));
        if (scenario.startBaud != 9600 && scenario.startBaud != 19200 && scenario.startBaud != 115200)
            Fail("start.baud", "must be 9600, 19200 or 115200");
    }
    scenario.addressUnitBytes = static_cast<int>(Integer(root, "addressUnitBytes", "", 1, 4, 2));
    if (scenario.addressUnitBytes == 3) Fail("addressUnitBytes", "must be 1, 2 or 4");
    if (root.contains("restartSignal")) {
        scenario.restartSignal = static_cast<uint8_t>(HexField(root["restartSignal"], "restartSignal", 2));
        if (scenario.restartSignal != 0x56 && scenario.restartSignal != 0x76)
            Fail("restartSignal", "must be \"56\" or \"76\"");
    }
    scenario.specialMode = Boolean(root, "specialMode", "", false);
    if (root.contains("powerCycleAfterSeconds")) {
        const json& value = root["powerCycleAfterSeconds"];
        if (!value.is_number() || value.get<double>() < 0 || value.get<double>() > 86400)
            Fail("powerCycleAfterSeconds", "must be a number of seconds from 0 to 86400");
        scenario.powerCycleAfterSeconds = value.get<double>();
    }
    if (root.contains("flash")) scenario.radio.blocks = Blocks(root["flash"], "flash");
    if (root.contains("configurations"))
        scenario.radio.configurations = Configurations(root["configurations"], "configurations");
    CheckAddresses(scenario.radio, "configurations");
    if (root.contains("devices")) {
        const json& list = root["devices"];
        if (scenario.model != 6200) Fail("devices", "are attached to a KX6200 only (\"model\": 6200)");
        if (!list.is_array()) Fail("devices", "must be a list");
        std::set<int> seen;
        for (size_t i = 0; i < list.size(); ++i) {
            std::string at = "devices[" + std::to_string(i) + "]";
            CheckObject(list[i], at, {"networkId", "deviceId", "flash", "configurations"});
            if (!list[i].contains("networkId") || !list[i].contains("deviceId") || !list[i].contains("flash"))
                Fail(at, "needs a networkId, a deviceId and a flash");
            DeviceSetup device;
            device.networkId = static_cast<uint8_t>(Integer(list[i], "networkId", at, 0, 255, 0));
            device.deviceId = static_cast<uint8_t>(Integer(list[i], "deviceId", at, 0, 255, 0));
            int key = device.networkId * 256 + device.deviceId;
            if (key == 0) Fail(at, "may not use network 0, device 0: that is the radio itself");
            if (!seen.insert(key).second) Fail(at, "repeats the network and device IDs of an earlier device");
            device.blocks = Blocks(list[i]["flash"], at + ".flash");
            if (list[i].contains("configurations"))
                device.configurations = Configurations(list[i]["configurations"], at + ".configurations");
            CheckAddresses(device, at + ".configurations");
            scenario.devices.push_back(device);
        }
    }
    uint64_t bytes = 0;
    for (const auto& block : scenario.radio.blocks)
        bytes += uint64_t{block.length} * scenario.addressUnitBytes;
    for (const auto& device : scenario.devices)
        for (const auto& block : device.blocks) bytes += uint64_t{block.length} * scenario.addressUnitBytes;
    if (bytes > (256u << 20)) Fail("flash", "adds up to more than 256 MiB over all devices");
    if (root.contains("faults")) ReadFaults(root["faults"], scenario.faults);
    if (root.contains("timing")) ReadTiming(root["timing"], scenario.timing);
    return scenario;
}

Scenario LoadScenario(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("scenario: cannot read " + path);
    std::ostringstream text;
    text << file.rdbuf();
    try {
        return ParseScenario(text.str());
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
}

}  // namespace kx6000::sim
