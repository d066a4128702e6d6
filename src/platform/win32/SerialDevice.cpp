#include "platform/SerialDevice.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

constexpr DWORD kSliceMs = 10;           // the longest a read blocks before the caller's pump runs again
constexpr DWORD kWriteGivesUpMs = 2000;  // a device that takes nothing for this long is given up

HANDLE Handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

DeviceError Failed(DWORD error) {
    std::error_code code(static_cast<int>(error), std::system_category());
    return {KindOf(code), code};
}

// A read waits at most `slice` ms for the first byte and returns as soon as one is there; a write gives up
// after 2 seconds without a byte taken.
bool SetTimeouts(HANDLE handle, DWORD slice) {
    COMMTIMEOUTS timeouts{MAXDWORD, slice > 0 ? MAXDWORD : 0, slice, 0, kWriteGivesUpMs};
    return SetCommTimeouts(handle, &timeouts) != 0;
}

bool SetLine(HANDLE handle, uint32_t baudRate) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(handle, &line)) return false;
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
    return SetCommState(handle, &line) != 0;
}

// Some virtual port drivers, and wine, let a second program open a port: the programs of this component
// also claim it by a named object that exists while one of them holds the port.
HANDLE Claim(const std::string& device) {
    // Object names tell letter case apart, port names do not.
    std::string port = device.substr(device.find_last_of('\\') + 1);
    std::ranges::transform(port, port.begin(), [](unsigned char c) { return std::toupper(c); });
    HANDLE claim = CreateMutexW(nullptr, FALSE, Wide("Global\\KX6000Download " + port).c_str());
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return claim;
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

SerialDevice::~SerialDevice() {
    Release(handle);
    Release(claim);
}

DeviceError SerialDevice::Open(const std::string& path, uint32_t baudRate) {
    if (baudRate != 9600 && baudRate != 19200 && baudRate != 115200) return Failed(ERROR_INVALID_PARAMETER);
    std::string device = path.starts_with("\\\\.\\") ? path : "\\\\.\\" + path;
    HANDLE claimed = Claim(device);
    if (claimed == nullptr) return Failed(GetLastError());
    claim = reinterpret_cast<std::intptr_t>(claimed);
    HANDLE port = CreateFileW(Wide(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        DeviceError failed = Failed(GetLastError());
        Release(claim);
        return failed;
    }
    if (!SetLine(port, baudRate) || !SetTimeouts(port, kSliceMs)) {
        DeviceError failed = Failed(GetLastError());
        CloseHandle(port);
        Release(claim);
        // Once open, the port is there and held by this program.
        if (failed.kind == DeviceFailure::NotFound || failed.kind == DeviceFailure::InUse)
            failed.kind = DeviceFailure::Other;
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
        if (!WriteFile(port, data + written, chunk, &done, nullptr)) return Failed(GetLastError());
        if (done == 0) return Failed(ERROR_TIMEOUT);
        written += done;
    }
    return {};
}

DeviceError SerialDevice::Read(std::string& into, int milliseconds) {
    into.clear();
    HANDLE port = Handle(handle);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    // Slices of at most 10 ms: a read blocks no longer, and ends as soon as a byte is there.
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        DWORD slice = static_cast<DWORD>(std::clamp<decltype(left)>(left, 0, kSliceMs));
        if (!SetTimeouts(port, slice)) return Failed(GetLastError());
        // One read a call: a radio that never stops sending cannot grow the buffer.
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(port, buffer, sizeof buffer, &got, nullptr)) return Failed(GetLastError());
        if (got > 0) {
            into.assign(buffer, got);
            return {};
        }
        if (slice == 0) break;
    }
    // A port whose far end went away gives empty reads under wine; only the port's state tells.
    DWORD errors = 0;
    if (!ClearCommError(port, &errors, nullptr)) return Failed(GetLastError());
    return {};
}

}  // namespace kx6000
