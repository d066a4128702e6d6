// Where the component keeps its files on this machine.
#pragma once

#include <string>
#include <string_view>

#include "platform/Places.h"

namespace kx6000 {

// The component's root folder: KX6000_ROOT, else the system's default (C:\, or
// $XDG_DATA_HOME/kx6000-download, else ~/.local/share/kx6000-download). Read from the environment at each
// call.
std::string RootFolder();

// A file directly in the root folder, its name's letter case kept.
std::string RootPath(std::string_view fileName);

// A log file: in KX6000_LOG_FOLDER when it is set (one folder per radio of a production run), else in
// the root folder.
std::string LogPath(std::string_view fileName);

// The serial device of port 1 to 4: KX6000_PORT<n>, else the settings value
// Port<n>, else the system's device of the port (COMn, /dev/ttyS<n-1>).
std::string PortDevicePath(int port);

}  // namespace kx6000
