// The serial devices Windows has, from two places merged by COM name: the Ports class through SetupAPI,
// which knows a device's bus, IDs, names and driver settings, and the system's table of COM names
// (HARDWARE\DEVICEMAP\SERIALCOMM), which holds every COM port present, also those whose driver lists no
// device in the class.
#include "platform/SerialPorts.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <devguid.h>
#include <setupapi.h>
// The device property keys, defined in this file rather than only named: initguid.h comes first.
#include <initguid.h>
// After initguid.h.
#include <devpkey.h>
#undef interface  // COM's word for a struct, which windows.h brings: here it is the USB interface's number

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The text of a device's property, its strings joined by NULs where it holds several (the hardware IDs);
// empty when the device has none.
std::string DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::wstring text(1024, L'\0');
    const auto room = static_cast<DWORD>((text.size() - 2) * sizeof(wchar_t));
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text.data()), room, nullptr))
        return "";
    return Utf8(text.substr(0, text.find(std::wstring(2, L'\0'))));
}

// The product's name as the device reports it over USB; empty for others, or before Windows 7.
std::string BusReportedName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::wstring text(256, L'\0');
    DEVPROPTYPE type = 0;
    const auto room = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    if (!SetupDiGetDevicePropertyW(set, &device, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                   reinterpret_cast<BYTE*>(text.data()), room, nullptr, 0))
        return "";
    return Utf8(text.c_str());
}

// The hex digits after `tag` in an ID ("VID_0403"), or empty.
std::string Field(const std::string& ids, const char* tag, size_t digits) {
    const size_t at = ids.find(tag);
    if (at == std::string::npos) return "";
    std::string field = ids.substr(at + std::char_traits<char>::length(tag), digits);
    const bool hex =
        field.size() == digits && std::ranges::all_of(field, [](char c) { return std::isxdigit(c); });
    return hex ? field : "";
}

// The serial number in a device's instance ID: USB\VID_0403&PID_6001\<serial>, where Windows makes up a
// text with '&' for a device that has none, or FTDIBUS\VID_0403+PID_6001+<serial>\0000, kept as FTDI's
// driver gives it, the channel's letter added.
std::string SerialNumber(const std::string& instance) {
    if (instance.starts_with("FTDIBUS\\")) {
        const size_t first = instance.find('+');
        const size_t second = first == std::string::npos ? first : instance.find('+', first + 1);
        if (second == std::string::npos) return "";
        return instance.substr(second + 1, instance.find('\\', second) - second - 1);
    }
    const std::string serial = instance.substr(instance.rfind('\\') + 1);
    return instance.starts_with("USB\\") && serial.find('&') == std::string::npos ? serial : "";
}

// The name a device's driver gave its port ("COM3", also "LPT1" in the same class) and, from an FTDI
// adapter's own settings, its latency timer: both in the device's key.
std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& device, std::optional<int>& latencyTimer) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return "";
    wchar_t name[64] = L"";
    DWORD size = sizeof name - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        name[0] = 0;
    DWORD timer = 0;
    size = sizeof timer;
    if (RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&timer), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD)
        latencyTimer = LatencyTimerOf(timer);
    RegCloseKey(key);
    return Utf8(name);
}

// A COM port's entry, with what the system's table alone tells: its name.
SerialPortInfo ComPort(const std::string& name) {
    SerialPortInfo port;
    port.device = "\\\\.\\" + name;
    port.stableName = name;
    return port;
}

SerialPortInfo DeviceInfo(HDEVINFO set, SP_DEVINFO_DATA& device, const std::string& name) {
    SerialPortInfo port = ComPort(name);
    wchar_t instance[512] = L"";
    SetupDiGetDeviceInstanceIdW(set, &device, instance, 512, nullptr);
    const std::string instanceId = Upper(Utf8(instance));
    const std::string ids = Upper(DeviceText(set, device, SPDRP_HARDWAREID)) + '\0' + instanceId;
    const std::string vendor = Field(ids, "VID_", 4), product = Field(ids, "PID_", 4);
    if (!vendor.empty() && !product.empty()) {
        port.vendorId = static_cast<uint16_t>(std::strtoul(vendor.c_str(), nullptr, 16));
        port.productId = static_cast<uint16_t>(std::strtoul(product.c_str(), nullptr, 16));
        // Windows' own CDC-ACM driver serves modems; any other USB serial driver, a converter chip.
        port.kind = Upper(DeviceText(set, device, SPDRP_SERVICE)) == "USBSER" ? PortKind::UsbModem
                                                                              : PortKind::UsbAdapter;
    }
    port.manufacturer = DeviceText(set, device, SPDRP_MFG);
    port.product = BusReportedName(set, device);
    port.serialNumber = SerialNumber(Utf8(instance));
    port.interface = Field(ids, "MI_", 2);
    port.description = DeviceText(set, device, SPDRP_FRIENDLYNAME);
    if (port.description.empty()) port.description = DeviceText(set, device, SPDRP_DEVICEDESC);
    // "USB Serial Port (COM3)": the port's name is shown beside it already.
    if (const std::string suffix = " (" + name + ")"; port.description.ends_with(suffix))
        port.description.resize(port.description.size() - suffix.size());
    return port;
}

// The COM ports of the Ports class, by name.
void AddClassDevices(std::map<std::string, SerialPortInfo>& ports) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        std::optional<int> latencyTimer;
        const std::string name = PortName(set, device, latencyTimer);
        if (!Upper(name).starts_with("COM")) continue;
        ports[name] = DeviceInfo(set, device, name);
        ports[name].latencyTimer = latencyTimer;
    }
    SetupDiDestroyDeviceInfoList(set);
}

// The COM ports of the system's table that the class did not list.
void AddTableEntries(std::map<std::string, SerialPortInfo>& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t value[256], data[64] = L"";
        DWORD valueSize = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG status = RegEnumValueW(key, i, value, &valueSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string name = Utf8(data);
        if (!name.empty() && !ports.contains(name)) ports[name] = ComPort(name);
    }
    RegCloseKey(key);
}

int PortNumber(const std::string& name) {
    return std::atoi(name.c_str() + 3);
}

}  // namespace

std::vector<SerialPortInfo> SerialPorts() {
    std::map<std::string, SerialPortInfo> found;
    AddClassDevices(found);
    AddTableEntries(found);
    std::vector<SerialPortInfo> ports;
    for (auto& [name, port] : found) ports.push_back(std::move(port));
    // By COM number, as Windows numbers its ports: COM2 before COM10.
    std::ranges::stable_sort(ports, {},
                             [](const SerialPortInfo& port) { return PortNumber(port.stableName); });
    return ports;
}

std::string DefaultPortDevice(int port, const std::vector<SerialPortInfo>&) {
    return "\\\\.\\COM" + std::to_string(port);
}

}  // namespace kx6000
