// Where the component keeps its files on this machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Places.h"
#include "platform/SerialPorts.h"

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

// Why a port reaches its device.
enum class PortSource {
    Environment,  // KX6000_PORT<n>
    Settings,     // the settings value Port<n>
    Found,        // a device present, chosen by the port's place among them (Linux) or its COM number
    System,       // the system's name of the port, though no such device was found (COMn)
    None,         // nothing: no device is there for the port
};

struct PortRoute {
    int port = 1;
    std::string device;  // empty for PortSource::None
    PortSource source = PortSource::None;
    std::optional<SerialPortInfo> info;  // the device as found, when it is among the present ones
};

// What port 1 to 4 reaches: KX6000_PORT<n>, else the settings value Port<n>, else the device the system
// offers for it among `present`.
PortRoute RoutePort(int port, const std::vector<SerialPortInfo>& present);

// The serial device of port 1 to 4, empty when there is none.
std::string PortDevicePath(int port);

// The device a route reaches, for a person: "/dev/ttyUSB0 (FTDI FT232R USB UART)", or that there is none.
std::string RouteText(const PortRoute& route);

}  // namespace kx6000
