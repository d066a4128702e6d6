// The serial devices found on Windows: devices of the Ports class registered as their drivers register them,
// and a COM name in the system's table, merged by name and ordered by number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/SerialPorts.h"

#include <windows.h>  // after the component's headers, whose names it would rename
// After windows.h, whose types they use.
#include <devguid.h>
#include <setupapi.h>
#undef interface  // COM's word for a struct: here it is the USB interface's number

namespace kx6000::test {
namespace {

struct Registered {
    std::wstring instance;
    std::wstring hardwareIds;  // NUL between them
    const wchar_t* service;
    const wchar_t* friendlyName;
    const wchar_t* portName;
    std::optional<DWORD> latencyTimer;
};

const wchar_t* const kTable = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

void SetText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, const std::wstring& text) {
    const std::wstring value = text + std::wstring(2, L'\0');
    SetupDiSetDeviceRegistryPropertyW(set, &device, property, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>(value.size() * sizeof(wchar_t)));
}

// Takes the device out of the class, if it is there (from a run that was stopped too).
void Remove(const std::wstring& instance) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (SetupDiOpenDeviceInfoW(set, instance.c_str(), nullptr, 0, &device)) SetupDiRemoveDevice(set, &device);
    SetupDiDestroyDeviceInfoList(set);
}

// The device as its driver leaves it: its properties, and its port's name and settings in its own key.
void Register(const Registered& port) {
    Remove(port.instance);
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiCreateDeviceInfoW(set, port.instance.c_str(), &GUID_DEVCLASS_PORTS, nullptr, nullptr,
                                         0, &device));
    SetText(set, device, SPDRP_HARDWAREID, port.hardwareIds);
    SetText(set, device, SPDRP_SERVICE, port.service);
    SetText(set, device, SPDRP_FRIENDLYNAME, port.friendlyName);
    SetText(set, device, SPDRP_MFG, L"Maker");
    ASSERT_TRUE(SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr));
    HKEY key = SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    ASSERT_NE(key, INVALID_HANDLE_VALUE);
    RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port.portName),
                   static_cast<DWORD>((wcslen(port.portName) + 1) * sizeof(wchar_t)));
    if (port.latencyTimer)
        RegSetValueExW(key, L"LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*port.latencyTimer),
                       sizeof(DWORD));
    RegCloseKey(key);
    SetupDiDestroyDeviceInfoList(set);
}

void SetTableEntry(const wchar_t* device, const wchar_t* name) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTable, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                    nullptr);
    if (name)
        RegSetValueExW(key, device, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                       static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, device);
    RegCloseKey(key);
}

// kind|vendor:product|manufacturer|serial|interface|description|latency timer
std::string Seen(const SerialPortInfo& port) {
    const char* kinds[] = {"adapter", "modem", "uart"};
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", port.vendorId, port.productId);
    return std::string(kinds[static_cast<int>(port.kind)]) + "|" + ids + "|" + port.manufacturer + "|" +
           port.serialNumber + "|" + port.interface + "|" + port.description + "|" +
           (port.latencyTimer ? std::to_string(*port.latencyTimer) : "-");
}

TEST(SerialPortsTest, ClassDevicesAndTheTableMergedByName) {
    using namespace std::string_literals;
    const struct {
        Registered port;
        const char* expected;  // none: not listed
    } cases[] = {
        {{L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", L"FTDIBUS\\COMPORT&VID_0403&PID_6001", L"FTSER2K",
          L"USB Serial Port (COM47)", L"COM47", 16},
         "adapter|0403:6001|Maker|A50285BIA||USB Serial Port|16"},
        {{L"USB\\VID_2341&PID_0043&MI_00\\6&3A7F0B2&0&0000",
          L"USB\\VID_2341&PID_0043&REV_0001&MI_00\0USB\\VID_2341&PID_0043&MI_00"s, L"usbser",
          L"USB Serial Device (COM112)", L"COM112", std::nullopt},
         "modem|2341:0043|Maker||00|USB Serial Device|-"},
        {{L"USB\\VID_10C4&PID_EA60\\0001", L"USB\\VID_10C4&PID_EA60&REV_0100", L"silabser",
          L"Silicon Labs CP210x USB to UART Bridge (COM48)", L"COM48", std::nullopt},
         "adapter|10c4:ea60|Maker|0001||Silicon Labs CP210x USB to UART Bridge|-"},
        {{L"ACPI\\PNP0501\\47", L"ACPI\\PNP0501", L"Serial", L"Communications Port (COM49)", L"COM49",
          std::nullopt},
         "uart|0000:0000|Maker|||Communications Port|-"},
        {{L"ACPI\\PNP0400\\47", L"ACPI\\PNP0400", L"Parport", L"Printer Port (LPT47)", L"LPT47",
          std::nullopt},
         nullptr},
    };
    for (const auto& c : cases) Register(c.port);
    // The adapter's port in the table too, as its driver names it there; a port only in the table.
    SetTableEntry(L"\\Device\\VCP47", L"COM47");
    SetTableEntry(L"\\Device\\Serial47", L"COM50");
    const std::vector<SerialPortInfo> ports = SerialPorts();
    for (const auto& c : cases) Remove(c.port.instance);
    SetTableEntry(L"\\Device\\VCP47", nullptr);
    SetTableEntry(L"\\Device\\Serial47", nullptr);

    std::vector<std::string> names;
    for (const SerialPortInfo& port : ports) {
        names.push_back(port.stableName);
        EXPECT_EQ(port.device, "\\\\.\\" + port.stableName);
    }
    for (const auto& c : cases) {
        const std::string name(c.port.portName, c.port.portName + wcslen(c.port.portName));
        const auto found = std::ranges::find(ports, name, &SerialPortInfo::stableName);
        EXPECT_EQ(found == ports.end() ? "not listed" : Seen(*found), c.expected ? c.expected : "not listed")
            << name;
    }
    const auto onlyInTable = std::ranges::find(ports, "COM50", &SerialPortInfo::stableName);
    ASSERT_NE(onlyInTable, ports.end());
    EXPECT_EQ(Seen(*onlyInTable), "uart|0000:0000|||||-");
    // By number, each once: COM112 last, although it sorts first as text.
    const auto ours = std::ranges::find(names, "COM47");
    EXPECT_EQ(std::vector(ours, names.end()),
              (std::vector<std::string>{"COM47", "COM48", "COM49", "COM50", "COM112"}));
}

}  // namespace
}  // namespace kx6000::test
