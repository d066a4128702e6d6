// The settings in the registry, where the component keeps them: text values under one key of the machine.
#include "platform/Settings.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

constexpr const char* kKey = "Software\\Veltrane Systems Ltd\\Radio Software Components\\KX6100_RLDC";

// The text of a value: 0, or the registry's status (-1 for a value of a type with no text) with `value` left
// as it was, or emptied when the value went between the two queries. A string ends at its first zero
// ("True" of "True\0\0", as regedit shows it); a number (REG_DWORD) is its decimal text.
LONG QueryRegistryValue(HKEY key, const std::string& name, std::string& value) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_SZ && type != REG_DWORD) return -1;
    std::string buffer(size, '\0');
    status =
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) {
        value.clear();
        return status;
    }
    if (type == REG_DWORD) {
        DWORD number = 0;
        if (size != sizeof number) return -1;
        std::memcpy(&number, buffer.data(), sizeof number);
        value = std::to_string(number);
        return ERROR_SUCCESS;
    }
    value = buffer.substr(0, std::min<size_t>(size, buffer.find('\0')));
    return ERROR_SUCCESS;
}

}  // namespace

std::string SettingsPlace() {
    return std::string("HKEY_LOCAL_MACHINE\\") + kKey;
}

std::optional<std::string> ReadSetting(const std::string& name,
                                       std::error_code& /*error: reads never fail*/) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::string value;
    LONG status = QueryRegistryValue(key, Ansi(name), value);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return FromAnsi(value);
}

std::error_code WriteSetting(const std::string& name, const std::string& value) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key);
    // No key yet: made with the rights to query, set, make and list subkeys, be notified and link.
    if (status == ERROR_INVALID_FUNCTION || status == ERROR_FILE_NOT_FOUND)
        status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, 0x3F, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return {};  // a refused write changes nothing and is not said
    std::string text = Ansi(value);
    // The stored length counts the text's closing zero.
    RegSetValueExA(key, Ansi(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return {};
}

}  // namespace kx6000
