// The component's resource string table, compiled in and looked up by number.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kx6000 {

// The text of resource `id`; empty when the table has no such entry.
std::string_view LoadResString(int id);

// The help topic of the main window.
inline constexpr int32_t kMainWindowHelpContext = 2368;

// Every error number the component knows, in ascending order; the message of n
// is resource 10000 + n.
inline constexpr std::array<int32_t, 47> kErrorNumbers = {
    0,    1,    2,    11,   12,   13,   14,   15,   21,   22,   23,   24,   25,   31,   32,  33,
    34,   35,   36,   41,   42,   43,   44,   51,   52,   53,   54,   55,   56,   57,   58,  59,
    8001, 8002, 8003, 8101, 8102, 8103, 8104, 8105, 8106, 8107, 8108, 8109, 8110, 8111, 8112};

}  // namespace kx6000
