// Where this system keeps things: the defaults the component's paths fall back on.
#pragma once

#include <string>

namespace kx6000 {

// The separator this system joins a folder and a name with.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// An environment variable's value, empty when it is not set.
std::string Environment(const char* name);

// The root folder when KX6000_ROOT is not set.
std::string DefaultRootFolder();

// The logs' folder when neither KX6000_LOG_FOLDER nor KX6000_ROOT is set: the root folder, written as the
// component writes it in its log names.
std::string DefaultLogFolder();

// The folder of the running program.
std::string ProgramFolder();

// Where this program's writes to `folder` end up when the folder is the system's: `folder` itself, or the
// user's VirtualStore copy of it when Windows redirects them (a standard user under UAC running a 32-bit
// program that asks for no elevation level).
std::string WrittenFolder(const std::string& folder);

}  // namespace kx6000
