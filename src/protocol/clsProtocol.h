// The radio protocol: command frames and the radio's replies.
#pragma once

#include <string>

namespace kx6000 {

class clsProtocol {
public:
    // The baud rate the radio's line was at before the last change, as list text.
    const std::string& PreviousBaudRate() const { return previousBaudRate; }
    void PreviousBaudRate(std::string strBaudRate) { previousBaudRate = std::move(strBaudRate); }

private:
    std::string previousBaudRate;
};

}  // namespace kx6000
