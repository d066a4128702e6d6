#include "platform/Holders.h"

namespace kx6000 {

// Windows names a COM port's holder only to administrators' tools: the port is just said to be in use.
std::string Holders(const std::string& /*device*/) {
    return "";
}

}  // namespace kx6000
