#include "platform/SerialDevice.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <optional>
#include <string_view>

#include "platform/win32/SerialLine.h"
#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

constexpr DWORD kSliceMs = 10;           // the longest a read blocks before the caller's pump runs again
constexpr DWORD kWriteGivesUpMs = 2000;  // a device that takes nothing for this long is given up
constexpr DWORD kDriverLateMs = 100;     // past its own timeouts, a request is cancelled

HANDLE Handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

DeviceError Failed(DWORD error) {
    std::error_code code(static_cast<int>(error), std::system_category());
    return {KindOf(code), code};
}

DeviceError FailedWhileOpen(DWORD error) {
    std::error_code code(static_cast<int>(error), std::system_category());
    return {KindWhileOpen(code), code};
}

// A read waits at most `slice` ms for the first byte and ends 1 ms after the last one that came (wine ends a
// read by the first byte only after the whole slice); with no slice it takes what is there. A write gives up
// after 2 seconds without a byte taken.
bool SetTimeouts(HANDLE handle, DWORD slice) {
    COMMTIMEOUTS timeouts{slice > 0 ? 1 : MAXDWORD, 0, slice, 0, kWriteGivesUpMs};
    return SetCommTimeouts(handle, &timeouts) != 0;
}

bool SetLine(HANDLE handle, uint32_t baudRate) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(handle, &line)) return false;
    line = LineSettings(line, baudRate);
    return SetCommState(handle, &line) != 0;
}

// A port as the system reaches it: the DOS name opened ("COM1") and the device behind that name
// ("\Device\Serial0"); the device is empty where the system names none (wine's ports linked after it
// started).
struct Port {
    std::wstring dosName, device;
};

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// The DOS device name in a text, read as the system reads it: either slash, without the prefix "\\.\" or
// "\\?\" and without the blanks, dots and colon it drops at the end. Empty for a path (a file, a folder).
std::wstring DosName(const std::string& text) {
    std::wstring name = Wide(text);
    std::ranges::replace(name, L'/', L'\\');
    for (std::wstring_view prefix : {L"\\\\.\\", L"\\\\?\\"}) {
        if (name.starts_with(prefix)) {
            name.erase(0, prefix.size());
            break;
        }
    }
    while (!name.empty() && (name.back() == L' ' || name.back() == L'.' || name.back() == L':'))
        name.pop_back();
    return name.find(L'\\') == std::wstring::npos ? Upper(name) : L"";
}

// Serial ports are named COM1 to COM255, whichever driver serves them.
bool IsComName(std::wstring_view name) {
    if (name.size() < 4 || name.size() > 6 || !name.starts_with(L"COM") || name[3] == L'0') return false;
    if (!std::all_of(name.begin() + 3, name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
        return false;
    return std::stoi(std::wstring(name.substr(3))) <= 255;
}

// The port a name reaches, following the system's links from name to name (AUX to COM1); none when the
// name is no serial port (NUL, CON, PRN, a file, a folder).
std::optional<Port> PortOf(const std::string& text) {
    Port port{DosName(text), L""};
    for (int link = 0; link < 8 && !port.dosName.empty(); ++link) {
        wchar_t target[1024] = L"";
        if (QueryDosDeviceW(port.dosName.c_str(), target, std::size(target)) == 0) break;
        // The first of the names is the one in force.
        std::wstring_view first(target);
        std::wstring_view linked;
        for (std::wstring_view prefix : {L"\\DosDevices\\", L"\\??\\", L"\\GLOBAL??\\"})
            if (first.starts_with(prefix)) linked = first.substr(prefix.size());
        if (linked.empty()) {
            port.device = Upper(std::wstring(first));
            break;
        }
        port.dosName = Upper(std::wstring(linked));
    }
    if (!IsComName(port.dosName)) return std::nullopt;
    return port;
}

// Some virtual port drivers, and wine, let a second program open a port: the programs of this component
// also claim it by a named object that exists while one of them holds the port. It is named after the
// device, so every name reaching the port claims the same.
HANDLE Claim(const Port& port) {
    std::wstring claimed = port.device.empty() ? port.dosName : port.device;
    std::ranges::replace(claimed, L'\\', L'/');  // an object's name holds no backslash past its namespace
    HANDLE claim = CreateMutexW(nullptr, FALSE, (L"Global\\KX6000Download " + claimed).c_str());
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return claim;
}

// How a request on the port ended.
enum class Ended { ByItself, ByMessage, Failed };

// Starts a request on the port (ReadFile or WriteFile, given the request's OVERLAPPED) and waits until it
// ends; `done` is what it moved, GetLastError() why it failed. With `slice` (ms), a message to this thread's
// windows (a call to the automation server, a click) ends the wait at once, so that the caller's event pump
// runs: the request is then cancelled with what it had.
template <class Start>
Ended Transfer(HANDLE port, HANDLE event, DWORD& done, Start start, std::optional<DWORD> slice = {}) {
    OVERLAPPED request{};
    request.hEvent = event;
    done = 0;
    if (!start(request) && GetLastError() != ERROR_IO_PENDING) return Ended::Failed;
    DWORD woke = WAIT_OBJECT_0;
    if (slice) woke = MsgWaitForMultipleObjects(1, &event, FALSE, *slice + kDriverLateMs, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0) CancelIo(port);
    // A request its timeouts ended is no failure: wine says ERROR_TIMEOUT, Windows nothing. Nor is the abort
    // of the cancel just made; one the request ended with by itself is the driver's, an adapter pulled out.
    if (!GetOverlappedResult(port, &request, &done, TRUE) && GetLastError() != ERROR_TIMEOUT &&
        (woke == WAIT_OBJECT_0 || GetLastError() != ERROR_OPERATION_ABORTED))
        return Ended::Failed;
    return woke == WAIT_OBJECT_0 + 1 ? Ended::ByMessage : Ended::ByItself;
}

void Release(std::intptr_t& handle) {
    if (handle != -1) CloseHandle(Handle(handle));
    handle = -1;
}

}  // namespace

DeviceFailure KindOf(std::error_code code) {
    if (!code) return DeviceFailure::None;
    switch (code.value()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_DEVICE:
            return DeviceFailure::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return DeviceFailure::InUse;
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_OPERATION_ABORTED:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_BROKEN_PIPE:
            return DeviceFailure::HungUp;
        default:
            return DeviceFailure::Other;
    }
}

DeviceFailure KindWhileOpen(std::error_code code) {
    switch (code.value()) {
        // What Windows and the USB serial drivers say of an adapter pulled out while the port is open.
        case ERROR_ACCESS_DENIED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_BAD_COMMAND:
        case ERROR_OPERATION_ABORTED:
            return DeviceFailure::HungUp;
        default:
            break;
    }
    // Once open, the port is there and held by this program.
    const DeviceFailure kind = KindOf(code);
    return kind == DeviceFailure::NotFound || kind == DeviceFailure::InUse ? DeviceFailure::Other : kind;
}

DCB LineSettings(DCB line, uint32_t baudRate) {
    line.DCBlength = sizeof line;
    line.BaudRate = baudRate;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fTXContinueOnXoff = TRUE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    line.fAbortOnError = FALSE;
    // Unused without flow control, yet checked: some CDC and virtual port drivers report XON and XOFF as
    // one character, which SetCommState refuses, or limits beyond their own buffer.
    line.XonChar = 0x11;
    line.XoffChar = 0x13;
    line.XonLim = 0;
    line.XoffLim = 0;
    return line;
}

SerialDevice::~SerialDevice() {
    Release(handle);
    Release(claim);
    Release(requestEnded);
}

DeviceError SerialDevice::Open(const std::string& path, uint32_t baudRate) {
    if (baudRate != 9600 && baudRate != 19200 && baudRate != 115200) return Failed(ERROR_INVALID_PARAMETER);
    // Nothing is opened for a name that reaches no serial port.
    const std::optional<Port> reached = PortOf(path);
    if (!reached) return Failed(ERROR_BAD_DEVICE);
    if (requestEnded == -1) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (event == nullptr) return Failed(GetLastError());
        requestEnded = reinterpret_cast<std::intptr_t>(event);
    }
    HANDLE claimed = Claim(*reached);
    if (claimed == nullptr) return Failed(GetLastError());
    claim = reinterpret_cast<std::intptr_t>(claimed);
    // Overlapped, so that a wait for the radio can end on a message to the program's windows.
    HANDLE port = CreateFileW((L"\\\\.\\" + reached->dosName).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        DeviceError failed = Failed(GetLastError());
        Release(claim);
        return failed;
    }
    if (!SetLine(port, baudRate) || !SetTimeouts(port, kSliceMs)) {
        DeviceError failed = FailedWhileOpen(GetLastError());
        CloseHandle(port);
        Release(claim);
        return failed;
    }
    handle = reinterpret_cast<std::intptr_t>(port);
    return {};
}

void SerialDevice::Drain() {
    if (handle != -1) FlushFileBuffers(Handle(handle));
}

DeviceError SerialDevice::Close() {
    HANDLE port = Handle(handle);
    handle = -1;
    Release(claim);
    if (!CloseHandle(port))
        return {DeviceFailure::Other, {static_cast<int>(GetLastError()), std::system_category()}};
    return {};
}

void SerialDevice::DiscardInput() {
    PurgeComm(Handle(handle), PURGE_RXCLEAR);
}

DeviceError SerialDevice::Write(const char* data, size_t size) {
    HANDLE port = Handle(handle);
    for (size_t written = 0; written < size;) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - written, 1 << 20));
        DWORD done = 0;
        if (Transfer(port, Handle(requestEnded), done, [&](OVERLAPPED& request) {
                return WriteFile(port, data + written, chunk, nullptr, &request);
            }) == Ended::Failed)
            return FailedWhileOpen(GetLastError());
        if (done == 0) return FailedWhileOpen(ERROR_TIMEOUT);
        written += done;
    }
    return {};
}

DeviceError SerialDevice::Read(std::string& into, int milliseconds) {
    into.clear();
    HANDLE port = Handle(handle);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    // Slices of at most 10 ms: a read blocks no longer, and ends as soon as a byte is there, or a message.
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        DWORD slice = static_cast<DWORD>(std::clamp<decltype(left)>(left, 0, kSliceMs));
        if (!SetTimeouts(port, slice)) return FailedWhileOpen(GetLastError());
        // One read a call: a radio that never stops sending cannot grow the buffer.
        char buffer[4096];
        DWORD got = 0;
        const Ended ended = Transfer(
            port, Handle(requestEnded), got,
            [&](OVERLAPPED& request) { return ReadFile(port, buffer, sizeof buffer, nullptr, &request); },
            slice);
        if (ended == Ended::Failed) return FailedWhileOpen(GetLastError());
        if (got > 0) {
            into.assign(buffer, got);
            return {};
        }
        if (ended == Ended::ByMessage) return {};  // the caller's pump comes first
        if (slice == 0) break;
    }
    // A port whose far end went away gives empty reads under wine; only the port's state tells.
    DWORD errors = 0;
    if (!ClearCommError(port, &errors, nullptr)) return FailedWhileOpen(GetLastError());
    return {};
}

}  // namespace kx6000
