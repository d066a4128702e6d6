// The line to the radio as the protocol and the manager use it: hex text in and
// out, framed reads with time-outs, the radio's reset. Outcomes go to LastError.
#pragma once

#include <cstdint>
#include <string>

namespace kx6000 {

class IPort {
public:
    virtual ~IPort() = default;

    virtual void OpenPort() = 0;
    // One reply: with a four-digit `strExist` a framed read ending at that word or
    // after one data reply; otherwise a text read ending where `strExist` appears.
    virtual std::string ReadBinary(int16_t intTimeout, const std::string& strExist,
                                   bool& blnTerminatorFound) = 0;
    virtual void WriteBinary(const std::string& strData) = 0;
    virtual void ClosePort() = 0;
    virtual void SetPortParameters(const std::string& strBaudRate, int32_t comInputMode) = 0;
    virtual void WaitForReset() = 0;
    // Hex digits written per write while the upgrade application is sent.
    virtual int16_t Step() const = 0;
    // Writes the radio's reset byte 0x5E.
    virtual void ResetRadio() = 0;
    virtual void StopTimer() = 0;
};

}  // namespace kx6000
