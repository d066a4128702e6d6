#include "port/clsSerial.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "platform/Holders.h"
#include "port/NetworkLine.h"
#include "port/modTimer.h"
#include "support/Errors.h"
#include "support/Hex.h"
#include "support/Program.h"

namespace kx6000 {
namespace {

constexpr int kPollMs = 10;
// With an event pump the wait is shorter: the pump's owner answers its callers (a D-Bus caller's
// GetLastError, Cancel) within this time, whatever the radio does meanwhile.
constexpr int kPumpedPollMs = 2;
constexpr std::chrono::microseconds kFarEndTakes{2000};
constexpr int kKeptKeepAlives = 100;

bool KnownRate(const std::string& rate) {
    return rate == "9600" || rate == "19200" || rate == "115200";
}

std::error_code Code(std::errc error) {
    return std::make_error_code(error);
}

// The error number of a device that could not be opened.
int32_t OpenFailure(DeviceFailure kind) {
    return kind == DeviceFailure::NotFound ? kNoSuchPort
           : kind == DeviceFailure::InUse  ? kPortInUse
                                           : kPortFailed;
}

// True when the hex text holds `wanted` where the last byte's two digits could
// have completed it: earlier places were looked at on earlier passes.
bool NewlyContains(const std::string& text, const std::string& wanted) {
    size_t from = text.size() > wanted.size() + 1 ? text.size() - wanted.size() - 1 : 0;
    return text.find(wanted, from) != std::string::npos;
}

// The end of a wait: the timer stops, and the read gives `text`, or nothing
// with the error number of a failed one.
std::string Ended(std::string text, int32_t error = 0) {
    modTimer::EndTimer();
    if (error == 0) return text;
    LastError = error;
    return "";
}

struct Opener {
    std::mutex mutex;
    DeviceOpener make;
};

Opener& TheOpener() {
    static Opener opener;
    return opener;
}

std::unique_ptr<Device> MakeDevice(const std::string& path) {
    DeviceOpener make;
    {
        std::lock_guard lock(TheOpener().mutex);
        make = TheOpener().make;
    }
    if (NetworkLine::Names(path)) return std::make_unique<NetworkLine>();
    return make ? make(path) : std::make_unique<SerialDevice>();
}

}  // namespace

void clsSerial::SetDeviceOpener(DeviceOpener opener) {
    std::lock_guard lock(TheOpener().mutex);
    TheOpener().make = std::move(opener);
}

void clsSerial::Fail(int32_t number, DeviceFailure kind, std::error_code error) {
    LastError = number;
    LastPortFailure = {device, kind, error};
    std::string holders = kind == DeviceFailure::InUse && !NetworkLine::Names(device) ? Holders(device) : "";
    DownloadLog.WriteToLogFile("Serial port " + device + ": " + error.message() +
                               (holders.empty() ? "" : "; held by " + holders));
}

void clsSerial::Stopped() {
    LastError = kPortFailed;
    LastPortFailure = {device, DeviceFailure::Stopped, Code(std::errc::interrupted)};
    DownloadLog.WriteToLogFile("Serial port " + device + ": stopped by the caller");
}

int clsSerial::Slice() {
    if (EventPump) EventPump();
    return EventPump ? kPumpedPollMs : kPollMs;
}

void clsSerial::OpenPort() {
    if (port) return Fail(kPortInUse, DeviceFailure::InUse, Code(std::errc::device_or_resource_busy));
    if (!KnownRate(baudRate))
        return Fail(kPortFailed, DeviceFailure::Other, Code(std::errc::invalid_argument));
    std::unique_ptr<Device> opened = MakeDevice(device);
    if (DeviceError error = opened->Open(device, static_cast<uint32_t>(std::stoul(baudRate))))
        return Fail(OpenFailure(error.kind), error);
    port = std::move(opened);
    received.clear();
    taken = 0;
    LastError = 0;
}

void clsSerial::ClosePort() {
    if (!port) {
        LastError = 0;
        return;
    }
    WaitWrittenOut();
    DeviceError error = port->Close();
    port.reset();
    received.clear();
    taken = 0;
    if (error) return Fail(kPortFailed, error);
    LastError = 0;
}

void clsSerial::WaitWrittenOut() {
    // The last frame leaves at the speed it was written at. A pty, a USB adapter or a network connection
    // says it is drained before the far end has the bytes, so the bytes' own time on the line is waited
    // out too.
    for (auto now = std::chrono::steady_clock::now(); now < writtenOut;
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            writtenOut - now, std::chrono::milliseconds(Slice())));
    port->Drain();
}

void clsSerial::SetPortParameters(const std::string& strBaudRate, int32_t /*comInputMode: always binary*/) {
    // A line that changes its speed in place stays open; it discards its input as a reopened one would.
    if (port && KnownRate(strBaudRate)) {
        WaitWrittenOut();
        if (std::optional<DeviceError> changed =
                port->ChangeSpeed(static_cast<uint32_t>(std::stoul(strBaudRate)))) {
            received.clear();
            taken = 0;
            if (*changed) return Fail(kPortFailed, *changed);
            baudRate = strBaudRate;
            LastError = 0;
            return;
        }
    }
    ClosePort();
    if (LastError != 0) return;
    baudRate = strBaudRate;
    OpenPort();
}

void clsSerial::WriteBinary(const std::string& strData) {
    std::string bytes;
    for (size_t i = 0; i + 1 < strData.size(); i += 2) {
        std::optional<uint32_t> value = ParseHex(std::string_view(strData).substr(i, 2));
        if (!value) break;
        bytes += static_cast<char>(*value);
    }
    if (strData.size() % 2 != 0 || bytes.size() * 2 != strData.size()) {
        LastError = kPortFailed;  // the text, not the device: nothing to tell about the device
        return;
    }
    if (!port) return Fail(kPortInUse, DeviceFailure::Other, Code(std::errc::bad_file_descriptor));
    // Writes come in long runs too (the upgrade application goes a byte a write): the pump runs for each.
    if (EventPump) EventPump();
    // A reply can only consist of bytes that arrive after the command.
    port->DiscardInput();
    received.clear();
    taken = 0;
    if (DeviceError error = port->Write(bytes.data(), bytes.size())) return Fail(kPortFailed, error);
    // Ten bits a byte at the line's speed, and never less than the far end
    // needs to take them before the speed may change.
    auto lineTime = std::chrono::microseconds(bytes.size() * 10'000'000 / std::stoul(baudRate));
    writtenOut =
        std::chrono::steady_clock::now() + std::max<std::chrono::microseconds>(lineTime, kFarEndTakes);
    LastError = 0;
}

bool clsSerial::Poll(std::string& hex) {
    const int slice = Slice();
    if (StopRequested != 0 && std::chrono::steady_clock::now() >= StopHeldUntil) {
        Stopped();
        return false;
    }
    if (!port) {
        Fail(kPortInUse, DeviceFailure::Other, Code(std::errc::bad_file_descriptor));
        return false;
    }
    if (taken == received.size()) {
        taken = 0;
        int left = modTimer::MillisecondsLeft();
        if (DeviceError error = port->Read(received, left < 0 ? slice : std::min(left, slice))) {
            Fail(kPortFailed, error);
            return false;
        }
    }
    modTimer::CheckTimer();
    if (taken < received.size()) hex += ToHex(static_cast<unsigned char>(received[taken++]), 2);
    return true;
}

std::string clsSerial::ReadBinary(int16_t intTimeout, const std::string& strExist, bool& blnTerminatorFound) {
    blnTerminatorFound = false;
    return strExist.size() == 4 ? ReadFramed(intTimeout, strExist, blnTerminatorFound)
                                : ReadText(intTimeout, strExist);
}

std::string clsSerial::ReadFramed(int16_t timeout, const std::string& terminator, bool& terminatorFound) {
    modTimer::StartTimer(timeout);
    std::string collected, word;
    uint32_t owed = 0;   // words still to come of a data reply, its checksum included
    int keepAlives = 0;  // the run of keep-alive words just collected
    bool complete = false;
    for (;;) {
        if (!Poll(word)) return Ended("");
        if (word.size() == 4) {
            bool keepAlive = owed == 0 && word == "AEAE";
            if (owed > 0) {
                complete = --owed == 0;
            } else if (word.starts_with("43")) {
                owed = *ParseHex(std::string_view(word).substr(2)) + 1;
            } else if (word == terminator) {
                terminatorFound = true;
            } else if (keepAlive) {
                modTimer::StartTimer(timeout);
            }
            keepAlives = keepAlive ? keepAlives + 1 : 0;
            // A radio may keep working for ever. Of a long run of keep-alive
            // words whole hundreds are dropped: a block's position counted
            // over them is told in two digits, so it stays as it was.
            if (keepAlives == 2 * kKeptKeepAlives) {
                collected.resize(collected.size() - 4 * kKeptKeepAlives);
                keepAlives = kKeptKeepAlives;
            }
            collected += word;
            word.clear();
        }
        if (modTimer::TimerExpired) return Ended("", kNoResponse);
        if (terminatorFound || complete) return Ended(collected);
    }
}

std::string clsSerial::ReadText(int16_t timeout, const std::string& wanted) {
    modTimer::StartTimer(timeout);
    std::string collected, chunk;
    int16_t keepAlives = 0;
    for (;;) {
        if (!Poll(chunk)) return Ended("");
        if (modTimer::TimerExpired) return Ended("", kNoResponse);
        if (NewlyContains(chunk, "AEAE")) {
            modTimer::StartTimer(timeout);
            collected += chunk;
            chunk.clear();
            if (++keepAlives > 50) return Ended("", kMaximumTime);
        }
        if (NewlyContains(chunk, wanted)) return Ended(collected + chunk);
    }
}

void clsSerial::WaitForReset() {
    modTimer::StartTimer(2000);
    std::string chunk;
    int keepAlives = 0;
    while (Poll(chunk)) {
        if (modTimer::TimerExpired) {
            LastError = kDidNotReset;
            break;
        }
        if (NewlyContains(chunk, "AEAE")) {
            modTimer::StartTimer(2000);
            chunk.clear();
            if (++keepAlives > 50) {
                LastError = kDidNotReset;  // a radio that keeps working never restarts
                break;
            }
        }
        if (NewlyContains(chunk, "56") || NewlyContains(chunk, "76")) {
            LastError = 0;
            break;
        }
    }
    modTimer::EndTimer();
}

void clsSerial::StopTimer() {
    modTimer::EndTimer();
}

}  // namespace kx6000
