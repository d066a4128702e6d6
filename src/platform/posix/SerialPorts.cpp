#include "platform/SerialPorts.h"

namespace kx6000 {

std::vector<SerialPortInfo> SerialPorts() {
    return {};
}

std::string DefaultPortDevice(int port, const std::vector<SerialPortInfo>& present) {
    return static_cast<size_t>(port) <= present.size() ? present[static_cast<size_t>(port) - 1].device : "";
}

}  // namespace kx6000
