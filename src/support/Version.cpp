#include "support/Version.h"

#include <cstdio>

namespace kx6000 {

std::string VersionText() {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d.%02d", kVersionMajor, kVersionMinor, kVersionRevision);
    return text;
}

}  // namespace kx6000
