#include "sim/SimulatedRadio.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "sim/Frames.h"
#include "sim/LoopbackLine.h"
#include "sim/PtyLine.h"
#include "support/Hex.h"

namespace kx6000::sim {

namespace {

constexpr uint8_t kResetByte = 0x5E;
constexpr uint8_t kLogonByte = 0x21;
constexpr uint8_t kSpecialLogon[] = {0x3B, 0x1D, 0x5C};
constexpr uint8_t kLogonReply = 0x2A;
constexpr uint8_t kOwnApplicationStarted = 0x3F;
constexpr uint8_t kDataReply = 0x43, kStructureReply = 0x46, kInformationReply = 0x49;
constexpr int kBootBaud = 19200;

const char* CommandName(uint8_t code) {
    switch (code) {
        case 0x30:
            return "Set Baud Rate";
        case 0x31:
            return "Report Configuration";
        case 0x32:
            return "Unlock Flash";
        case 0x33:
            return "Erase Flash";
        case 0x34:
            return "Set Flash Address";
        case 0x35:
            return "Write Flash Data";
        case 0x36:
            return "Reset Radio";
        case 0x37:
            return "Report Flash Structure";
        case 0x38:
            return "Confirm Ready";
        case 0x39:
            return "Lock Flash";
        case 0x3A:
            return "Set Memory Target";
        case 0x70:
            return "Flash ID";
        case 0x7F:
            return "Flash OTP";
        default:
            return "";
    }
}

// The data words each command carries; -1: one or more (a write), -2: any number (a block list).
int DataWords(uint8_t code) {
    switch (code) {
        case 0x30:
        case 0x3A:
            return 1;
        case 0x34:
            return 2;
        case 0x35:
            return -1;
        case 0x32:
        case 0x33:
        case 0x39:
            return -2;
        default:
            return 0;
    }
}

void AppendWord(std::vector<uint8_t>& bytes, uint16_t word) {
    bytes.push_back(static_cast<uint8_t>(word >> 8));
    bytes.push_back(static_cast<uint8_t>(word));
}

std::vector<uint8_t> Words(std::initializer_list<uint16_t> words) {
    std::vector<uint8_t> bytes;
    for (uint16_t word : words) AppendWord(bytes, word);
    return bytes;
}

std::vector<uint8_t> ReplyFrame(uint8_t type, const std::vector<uint16_t>& words, bool corrupt) {
    uint16_t first = static_cast<uint16_t>(type << 8 | words.size());
    std::vector<uint8_t> bytes;
    AppendWord(bytes, first);
    for (uint16_t word : words) AppendWord(bytes, word);
    AppendWord(bytes, static_cast<uint16_t>(Checksum(first, words) ^ (corrupt ? 0x0001 : 0)));
    return bytes;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t byte : bytes) text += ToHex(byte, 2);
    return text;
}

int BaudFromCode(uint16_t code) {
    switch (code) {
        case 0x0060:
            return 115200;
        case 0x0010:
            return 19200;
        case 0x0008:
            return 9600;
        default:
            return 0;
    }
}

std::chrono::milliseconds Ms(int ms) {
    return std::chrono::milliseconds(ms);
}

std::unique_ptr<Line> MakeLine(LineKind kind, bool realtime, Trace& trace) {
    if (kind == LineKind::Loopback) return std::make_unique<LoopbackLine>(realtime, trace);
#ifdef _WIN32
    throw std::system_error(std::make_error_code(std::errc::not_supported), "simulated radio: no pty here");
#else
    return std::make_unique<PtyLine>(realtime, trace);
#endif
}

}  // namespace

struct SimulatedRadio::Impl {
    Impl(Scenario scenario, Options options);
    ~Impl();
    void Run();

    // Work due at a time; guarded work belongs to one life of the radio and is dropped by a restart.
    using Action = std::function<void(Clock::time_point)>;
    void At(Clock::time_point at, Action action, bool guarded = true);
    std::optional<Clock::time_point> NextTimer() const;
    void AdvanceTo(Clock::time_point now);

    void Send(Clock::time_point at, const std::vector<uint8_t>& bytes);
    void Reply(Clock::time_point at, uint8_t command, std::vector<std::vector<uint8_t>> segments);
    void Note(Clock::time_point at, nlohmann::ordered_json event) { trace.Write(at, std::move(event)); }
    void EnterState(Clock::time_point at, RadioState next);

    void OnByte(uint8_t byte, Clock::time_point at);
    void Logon(Clock::time_point at);
    void BeginRestart(Clock::time_point at, const char* cause);
    void Restart(Clock::time_point at);
    void OnFrame(Clock::time_point at, CommandFrame received);
    void BlockList(Clock::time_point at, uint8_t code, int occurrence, const std::vector<uint16_t>& ids);
    std::vector<uint16_t> Record(const Configuration& configuration) const;
    bool CorruptReply(uint8_t command);
    Device& Selected() { return devices[target]; }
    const Device& FindDevice(uint8_t networkId, uint8_t deviceId) const;

    Scenario scenario;
    Clock::time_point start = Clock::now();
    Trace trace;
    std::unique_ptr<Line> line;

    mutable std::mutex mutex;
    RadioState state;
    int baud;
    bool restarting = false;  // between a reset and the restart signal nothing is listened to
    bool flooding = false;    // keep-alive words for ever, as fast as the line takes them
    uint64_t life = 1;
    std::multimap<Clock::time_point, std::pair<uint64_t, Action>> timers;
    std::optional<Clock::time_point> frameDeadline, applicationDeadline, ownApplicationDeadline;

    std::vector<Device> devices;  // the radio first
    size_t target = 0;
    std::optional<uint64_t> writePointer;  // bytes
    FrameReader frame;
    std::vector<uint8_t> bootBytes, incomingApplication, application;
    std::vector<ReceivedFrame> frames;
    Counts counts;
    std::map<uint8_t, int> occurrences, dataReplies;
    int framesSeen = 0, writesSeen = 0;

    std::atomic<bool> stop{false};
    std::thread thread;
};

SimulatedRadio::Impl::Impl(Scenario scenarioIn, Options options)
    : scenario(std::move(scenarioIn)),
      trace(options.tracePath, start),
      line(MakeLine(options.line, options.realtime, trace)),
      state(scenario.startState),
      baud(scenario.startBaud) {
    if (options.adapterLatency) line->SetAdapterLatency(*options.adapterLatency);
    devices.emplace_back(scenario.radio, scenario.addressUnitBytes, scenario.faults);
    for (const auto& device : scenario.devices)
        devices.emplace_back(device, scenario.addressUnitBytes, scenario.faults);
    if (state == RadioState::Upgrade)
        ownApplicationDeadline = start + Ms(scenario.timing.ownApplicationAfterMs);
    if (scenario.powerCycleAfterSeconds) {
        auto after = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(*scenario.powerCycleAfterSeconds));
        At(
            start + after, [this](Clock::time_point at) { ++counts.powerCycles, Restart(at); }, false);
    }
    Note(start, {{"event", "start"},
                 {"device", line->DevicePath()},
                 {"model", scenario.model},
                 {"state", StateName(state)},
                 {"baud", baud}});
    thread = std::thread([this] { Run(); });
}

SimulatedRadio::Impl::~Impl() {
    stop = true;
    line->Wake();
    thread.join();
}

void SimulatedRadio::Impl::Run() {
    std::unique_lock lock(mutex);
    while (!stop) {
        Clock::time_point now = Clock::now();
        for (const auto& byte : line->Deliver(now)) {
            AdvanceTo(byte.at);
            OnByte(byte.value, byte.at);
        }
        AdvanceTo(now);
        line->Transmit(now);
        if (flooding && line->Idle()) {
            // A few hundred words ahead: the line, not the radio's memory, holds the flood back.
            constexpr int kWords = 256;
            Send(now, std::vector<uint8_t>(2 * kWords, 0xAE));
            counts.floodedWords += kWords;
        }
        std::optional<Clock::time_point> deadline = NextTimer();
        if (auto lineDeadline = line->NextDeadline())
            deadline = deadline ? std::min(*deadline, *lineDeadline) : *lineDeadline;
        lock.unlock();
        Line::Events events = line->Wait(deadline);
        lock.lock();
        if (events.received) line->Receive(Clock::now(), baud);
        // A close is told before the closer's lock goes, and nothing tells when it goes: a flag still kept by
        // a lock is looked at once more.
        if (events.closed && line->ReleaseStaleExclusive())
            At(
                Clock::now() + Ms(100), [this](Clock::time_point) { line->ReleaseStaleExclusive(); }, false);
    }
}

void SimulatedRadio::Impl::At(Clock::time_point at, Action action, bool guarded) {
    timers.emplace(at, std::make_pair(guarded ? life : 0, std::move(action)));
}

std::optional<Clock::time_point> SimulatedRadio::Impl::NextTimer() const {
    std::optional<Clock::time_point> next;
    for (const auto& deadline : {frameDeadline, applicationDeadline, ownApplicationDeadline})
        if (deadline && (!next || *deadline < *next)) next = deadline;
    if (!timers.empty() && (!next || timers.begin()->first < *next)) next = timers.begin()->first;
    return next;
}

void SimulatedRadio::Impl::AdvanceTo(Clock::time_point now) {
    for (;;) {
        std::optional<Clock::time_point> next = NextTimer();
        if (!next || *next > now) return;
        Clock::time_point at = *next;
        if (frameDeadline == at) {
            frameDeadline.reset();
            Note(at, {{"event", "intercharacter timeout"}, {"dropped", HexText(frame.Pending())}});
            frame.Clear();
            Reply(at, 0, {Words({kIntercharacterTimeout, kDoneWord})});
        } else if (applicationDeadline == at) {
            applicationDeadline.reset();
            application = std::move(incomingApplication);
            incomingApplication.clear();
            ++counts.receivedApplications;
            Note(at, {{"event", "upgrade application received"}, {"bytes", application.size()}});
            EnterState(at, RadioState::Running);
            Reply(at, 0, {Words({kDoneWord})});
        } else if (ownApplicationDeadline == at) {
            ownApplicationDeadline.reset();
            ++counts.ownApplications;
            Note(at, {{"event", "own upgrade application"}});
            Send(at, {kOwnApplicationStarted});
            EnterState(at, RadioState::Running);
            At(at + Ms(scenario.timing.ownApplicationEndMs),
               [this](Clock::time_point when) { Send(when, Words({kDoneWord})); });
        } else {
            auto [guard, action] = std::move(timers.begin()->second);
            timers.erase(timers.begin());
            if (guard == 0 || guard == life) action(at);
        }
    }
}

void SimulatedRadio::Impl::Send(Clock::time_point at, const std::vector<uint8_t>& bytes) {
    if (!scenario.faults.silent) line->Send(bytes, baud, at);
}

// Each segment goes out after the scenario's keep-alive words: for "31" every data reply and the final
// terminator are segments of their own, for every other command the whole reply is one.
void SimulatedRadio::Impl::Reply(Clock::time_point at, uint8_t command,
                                 std::vector<std::vector<uint8_t>> segments) {
    const auto& faults = scenario.faults;
    Clock::time_point when = at;
    std::string hex;
    for (auto& segment : segments) {
        for (int i = 0; i < faults.keepAliveWords; ++i) {
            hex += "AEAE";
            if (when == at)
                Send(when, Words({kKeepAliveWord}));
            else
                At(when, [this](Clock::time_point t) { Send(t, Words({kKeepAliveWord})); });
            when += Ms(faults.keepAliveIntervalMs);
        }
        hex += HexText(segment);
        if (when == at)
            Send(when, segment);
        else
            At(when, [this, bytes = std::move(segment)](Clock::time_point t) { Send(t, bytes); });
    }
    nlohmann::ordered_json event = {{"event", "reply"}, {"hex", hex}, {"baud", baud}};
    if (command != 0) event["command"] = ToHex(command, 2);
    Note(at, event);
}

void SimulatedRadio::Impl::EnterState(Clock::time_point at, RadioState next) {
    state = next;
    Note(at, {{"event", "state"}, {"state", StateName(state)}, {"baud", baud}});
}

void SimulatedRadio::Impl::OnByte(uint8_t byte, Clock::time_point at) {
    if (restarting) return;
    bool listensToReset = !scenario.specialMode;
    switch (state) {
        case RadioState::Application:
            if (byte == kResetByte && listensToReset) ++counts.resetBytes, BeginRestart(at, "reset byte");
            break;
        case RadioState::Boot:
            if (byte == kResetByte && listensToReset) {
                ++counts.resetBytes, BeginRestart(at, "reset byte");
                break;
            }
            bootBytes.push_back(byte);
            if (bootBytes.size() > 3) bootBytes.erase(bootBytes.begin());
            if (byte == kLogonByte) {
                ++counts.logons;
                Note(at, {{"event", "logon"},
                          {"answered", !scenario.specialMode && !scenario.faults.noLogonReply}});
                if (!scenario.specialMode) Logon(at);
            } else if (std::equal(bootBytes.begin(), bootBytes.end(), std::begin(kSpecialLogon),
                                  std::end(kSpecialLogon))) {
                ++counts.specialLogons;
                Note(at, {{"event", "special logon"}, {"answered", !scenario.faults.noLogonReply}});
                Logon(at);
            }
            break;
        case RadioState::Upgrade:
            // Every byte after the logon belongs to the upgrade application, a 0x5E included.
            incomingApplication.push_back(byte);
            ownApplicationDeadline.reset();
            applicationDeadline = at + Ms(scenario.timing.applicationIdleMs);
            break;
        case RadioState::Running:
            frameDeadline = at + Ms(scenario.timing.intercharacterMs);
            if (auto whole = frame.Push(byte)) OnFrame(at, std::move(*whole));
            break;
    }
}

void SimulatedRadio::Impl::Logon(Clock::time_point at) {
    if (scenario.faults.noLogonReply) return;
    Send(at, {kLogonReply});
    bootBytes.clear();
    incomingApplication.clear();
    EnterState(at, RadioState::Upgrade);
    ownApplicationDeadline = at + Ms(scenario.timing.ownApplicationAfterMs);
}

void SimulatedRadio::Impl::BeginRestart(Clock::time_point at, const char* cause) {
    Note(at, {{"event", "restarting"}, {"cause", cause}});
    restarting = true;
    frame.Clear();
    frameDeadline.reset();
    applicationDeadline.reset();
    ownApplicationDeadline.reset();
    At(at + Ms(scenario.timing.restartDelayMs), [this](Clock::time_point when) { Restart(when); });
}

void SimulatedRadio::Impl::Restart(Clock::time_point at) {
    ++life;  // whatever the previous life still meant to send is forgotten
    ++counts.restarts;
    flooding = false;
    baud = kBootBaud;
    for (auto& device : devices) device.LockAll();
    target = 0;
    writePointer.reset();
    frame.Clear();
    bootBytes.clear();
    incomingApplication.clear();
    frameDeadline.reset();
    applicationDeadline.reset();
    ownApplicationDeadline.reset();
    EnterState(at, RadioState::Boot);
    const auto& faults = scenario.faults;
    restarting = faults.keepAliveStormWords > 0;
    for (int i = 0; i < faults.keepAliveStormWords; ++i)
        At(at + Ms(i * faults.keepAliveStormIntervalMs),
           [this](Clock::time_point when) { Send(when, Words({kKeepAliveWord})); });
    At(at + Ms(faults.keepAliveStormWords * faults.keepAliveStormIntervalMs), [this](Clock::time_point when) {
        restarting = false;
        Send(when, {scenario.restartSignal});
        Note(when, {{"event", "restart signal"}, {"hex", ToHex(scenario.restartSignal, 2)}});
    });
}

std::vector<uint16_t> SimulatedRadio::Impl::Record(const Configuration& configuration) const {
    std::vector<uint16_t> words;
    for (char c : configuration.productId) words.push_back(static_cast<uint8_t>(c));
    words.push_back(0x0000);
    words.push_back(static_cast<uint16_t>(configuration.address >> 16));
    words.push_back(static_cast<uint16_t>(configuration.address));
    words.push_back(configuration.status);
    if (scenario.model == 6200)
        words.push_back(static_cast<uint16_t>(configuration.networkId << 8 | configuration.deviceId));
    return words;
}

bool SimulatedRadio::Impl::CorruptReply(uint8_t command) {
    int count = ++dataReplies[command];
    for (const auto& fault : scenario.faults.corruptChecksums)
        if (fault.command == command && (fault.reply == 0 || fault.reply == count)) return true;
    return false;
}

void SimulatedRadio::Impl::OnFrame(Clock::time_point at, CommandFrame received) {
    frameDeadline.reset();
    const std::vector<uint8_t>& bytes = received.bytes;
    const std::vector<uint16_t>& words = received.words;
    uint8_t code = received.code, count = bytes[1];
    uint16_t checksum = received.checksum;
    bool checksumOk = received.checksumOk;
    std::string data = HexText(std::vector<uint8_t>(bytes.begin() + 2, bytes.end() - 2));
    frames.push_back({HexText(bytes), code, data, checksumOk});
    Note(at, {{"event", "frame"},
              {"code", ToHex(code, 2)},
              {"name", CommandName(code)},
              {"data", data},
              {"checksum", ToHex(checksum, 4)},
              {"checksumOk", checksumOk}});
    if (scenario.faults.keepAliveFlood) {
        flooding = true;
        return;
    }

    auto error = [&](uint16_t word) { Reply(at, code, {Words({word, kDoneWord})}); };
    int period = scenario.faults.garbleEveryNthFrame;
    if (period > 0 && ++framesSeen % period == 0) {
        Note(at, {{"event", "frame garbled on the line"}});
        return error(kChecksumError);
    }
    if (!checksumOk) return error(kChecksumError);
    if (*CommandName(code) == '\0') return error(kCommandUnknown);
    int occurrence = ++occurrences[code];
    for (const auto& fault : scenario.faults.errorWords)
        if (fault.command == code && !fault.block &&
            (fault.occurrence == 0 || fault.occurrence == occurrence))
            return error(fault.word);
    int expected = DataWords(code);
    if ((expected >= 0 && count != expected) || (expected == -1 && count == 0)) return error(kBadDataLength);

    switch (code) {
        case 0x30: {
            int next = BaudFromCode(words[0]);
            const auto& refused = scenario.faults.refusedBaudCodes;
            if (next == 0 || std::find(refused.begin(), refused.end(), words[0]) != refused.end())
                return error(kBaudUnsupported);
            // The component switches its own port 10 ms after the frame; the answer comes at the new speed.
            baud = next;
            Note(at, {{"event", "baud"}, {"baud", baud}});
            At(at + Ms(scenario.timing.baudSwitchMs),
               [this](Clock::time_point when) { Reply(when, 0x30, {Words({kDoneWord})}); });
            return;
        }
        case 0x31: {
            std::vector<std::vector<uint8_t>> segments;
            for (const auto& device : devices)
                for (const auto& configuration : device.Configurations())
                    segments.push_back(ReplyFrame(kDataReply, Record(configuration), CorruptReply(0x31)));
            segments.push_back(Words({kDoneWord}));
            return Reply(at, code, std::move(segments));
        }
        case 0x32:
        case 0x33:
        case 0x39:
            return BlockList(at, code, occurrence, words);
        case 0x34: {
            uint32_t address = uint32_t{words[0]} << 16 | words[1];
            if (!Selected().Contains(address)) {
                writePointer.reset();
                return error(kInvalidAddress);
            }
            writePointer = uint64_t{address} * static_cast<uint64_t>(scenario.addressUnitBytes);
            return Reply(at, code, {Words({kDoneWord})});
        }
        case 0x35: {
            if (!writePointer) return error(kNoAddress);
            if (++writesSeen <= scenario.faults.lockedWrites) return error(kFlashLocked);
            std::vector<uint8_t> data(bytes.begin() + 2, bytes.end() - 2);
            uint16_t result = Selected().Write(*writePointer, data);
            if (result != kDoneWord) return error(result);
            *writePointer += data.size();
            return Reply(at, code, {Words({kDoneWord})});
        }
        case 0x36:
            return BeginRestart(at, "Reset Radio");
        case 0x37: {
            auto reply = ReplyFrame(kStructureReply, Selected().StructureWords(), CorruptReply(0x37));
            AppendWord(reply, kDoneWord);
            return Reply(at, code, {reply});
        }
        case 0x38:
            return Reply(at, code, {Words({kDoneWord})});
        case 0x3A: {
            uint8_t networkId = static_cast<uint8_t>(words[0] >> 8),
                    deviceId = static_cast<uint8_t>(words[0]);
            if (words[0] != 0 && scenario.model != 6200) return error(kUnknownNetwork);
            bool knownNetwork = networkId == 0;
            std::optional<size_t> found;
            for (size_t i = 0; i < devices.size(); ++i) {
                knownNetwork = knownNetwork || devices[i].NetworkId() == networkId;
                if (devices[i].NetworkId() == networkId && devices[i].DeviceId() == deviceId) found = i;
            }
            if (!found) return error(knownNetwork ? kUnknownDevice : kUnknownNetwork);
            target = *found;
            writePointer.reset();  // an address always belongs to one memory
            return Reply(at, code, {Words({kDoneWord})});
        }
        case 0x70:
        case 0x7F: {
            // The flash chip's maker and part words, or its one-time-programmable serial words.
            std::vector<uint16_t> information = code == 0x70
                                                    ? std::vector<uint16_t>{0x0089, 0x8818}
                                                    : std::vector<uint16_t>{0x4B58, 0x3631, 0x0000, 0x1234};
            auto reply = ReplyFrame(kInformationReply, information, CorruptReply(code));
            AppendWord(reply, kDoneWord);
            return Reply(at, code, {reply});
        }
    }
}

void SimulatedRadio::Impl::BlockList(Clock::time_point at, uint8_t code, int occurrence,
                                     const std::vector<uint16_t>& ids) {
    std::vector<uint8_t> reply;
    for (uint16_t id : ids) {
        std::optional<uint16_t> word;
        for (const auto& fault : scenario.faults.errorWords)
            if (fault.command == code && fault.block == id &&
                (fault.occurrence == 0 || fault.occurrence == occurrence))
                word = fault.word;
        if (!word)
            word = code == 0x32   ? Selected().Unlock(id)
                   : code == 0x33 ? Selected().Erase(id)
                                  : Selected().Lock(id);
        AppendWord(reply, *word);
    }
    AppendWord(reply, kDoneWord);
    Reply(at, code, {reply});
}

const Device& SimulatedRadio::Impl::FindDevice(uint8_t networkId, uint8_t deviceId) const {
    for (const auto& device : devices)
        if (device.NetworkId() == networkId && device.DeviceId() == deviceId) return device;
    throw std::out_of_range("simulated radio: no device " + ToHex(networkId, 2) + ToHex(deviceId, 2));
}

SimulatedRadio::SimulatedRadio(Scenario scenario, Options options)
    : impl(std::make_unique<Impl>(std::move(scenario), std::move(options))) {}

SimulatedRadio::~SimulatedRadio() = default;

const std::string& SimulatedRadio::DevicePath() const {
    return impl->line->DevicePath();
}

RadioState SimulatedRadio::State() const {
    std::lock_guard lock(impl->mutex);
    return impl->state;
}

int SimulatedRadio::Baud() const {
    std::lock_guard lock(impl->mutex);
    return impl->baud;
}

Counts SimulatedRadio::Counters() const {
    std::lock_guard lock(impl->mutex);
    return impl->counts;
}

std::vector<ReceivedFrame> SimulatedRadio::Frames() const {
    std::lock_guard lock(impl->mutex);
    return impl->frames;
}

std::vector<uint8_t> SimulatedRadio::ReceivedApplication() const {
    std::lock_guard lock(impl->mutex);
    return impl->application;
}

std::vector<Configuration> SimulatedRadio::Configurations() const {
    std::lock_guard lock(impl->mutex);
    std::vector<Configuration> all;
    for (const auto& device : impl->devices)
        all.insert(all.end(), device.Configurations().begin(), device.Configurations().end());
    return all;
}

std::vector<BlockState> SimulatedRadio::Blocks(uint8_t networkId, uint8_t deviceId) const {
    std::lock_guard lock(impl->mutex);
    return impl->FindDevice(networkId, deviceId).Blocks();
}

std::vector<uint8_t> SimulatedRadio::Flash(uint32_t address, size_t count, uint8_t networkId,
                                           uint8_t deviceId) const {
    std::lock_guard lock(impl->mutex);
    auto bytes = impl->FindDevice(networkId, deviceId).Read(address, count);
    if (!bytes) throw std::out_of_range("simulated radio: flash range outside the blocks");
    return *bytes;
}

void SimulatedRadio::PowerCycle() {
    {
        std::lock_guard lock(impl->mutex);
        impl->At(
            Clock::now(), [this](Clock::time_point at) { ++impl->counts.powerCycles, impl->Restart(at); },
            false);
    }
    impl->line->Wake();
}

}  // namespace kx6000::sim
