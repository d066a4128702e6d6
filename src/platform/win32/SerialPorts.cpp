#include "platform/SerialPorts.h"

namespace kx6000 {

std::vector<SerialPortInfo> SerialPorts() {
    return {};
}

std::string DefaultPortDevice(int port, const std::vector<SerialPortInfo>&) {
    return "\\\\.\\COM" + std::to_string(port);
}

}  // namespace kx6000
