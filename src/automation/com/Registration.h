// The server's own type library, embedded in the program.
#pragma once

#include "automation/com/Interface.h"

namespace kx6000::com {

// Loaded from the program's resources without registering it; null (said on stderr) when it cannot be.
ITypeLib* OwnTypeLibrary();

}  // namespace kx6000::com
