// The serial port over the system's serial device: raw 8N1 at the radio's rates, exclusive
// use, hex text in and out, and the reply framing and time-outs of the radio
// conversation.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/SerialDevice.h"
#include "port/IPort.h"

namespace kx6000 {

class clsSerial : public IPort {
public:
    // The device this port drives, taking effect at the next OpenPort.
    void CommPort(std::string devicePath) { device = std::move(devicePath); }
    // The devices every port opens from now on: the system's serial device when `opener` is empty. Tests
    // put a line of their own in its place.
    static void SetDeviceOpener(DeviceOpener opener);

    void OpenPort() override;
    std::string ReadBinary(int16_t intTimeout, const std::string& strExist,
                           bool& blnTerminatorFound) override;
    void WriteBinary(const std::string& strData) override;
    void ClosePort() override;
    void SetPortParameters(const std::string& strBaudRate, int32_t comInputMode) override;
    void WaitForReset() override;
    int16_t Step() const override { return 2; }
    void ResetRadio() override { WriteBinary("5E"); }
    void StopTimer() override;

private:
    // One pass of a waiting loop: the event pump, then a wait of at most one slice
    // for bytes; takes one received byte as two hex digits into `hex`.
    // False when the device failed or a stop was asked (LastError is then 15).
    bool Poll(std::string& hex);
    // Runs the event pump; the longest a wait may block before it runs again, in milliseconds.
    static int Slice();
    // A stop asked for: 15, the stop said in the download log as a stop.
    void Stopped();
    // Waits until the bytes written last have left the line.
    void WaitWrittenOut();
    std::string ReadFramed(int16_t timeout, const std::string& terminator, bool& terminatorFound);
    std::string ReadText(int16_t timeout, const std::string& wanted);
    void Fail(int32_t number, DeviceFailure kind, std::error_code error);
    void Fail(int32_t number, DeviceError error) { Fail(number, error.kind, error.code); }

    std::string device;
    std::string baudRate = "9600";  // a new port's settings, until SetPortParameters
    std::unique_ptr<Device> port;   // while open
    std::string received;           // bytes read from the device and not yet taken
    size_t taken = 0;
    // When the last bytes written have left the line: a close or speed change waits for it.
    std::chrono::steady_clock::time_point writtenOut;
};

}  // namespace kx6000
