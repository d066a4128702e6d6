// The settings in the registry, where the component keeps them: text values under one key of the machine.
#include "platform/Settings.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/win32/Text.h"

namespace kx6000 {
namespace {

constexpr const char* kKey = "Software\\Veltrane Systems Ltd\\Radio Software Components\\KX6100_RLDC";

// The text of a value: 0, or the registry's status (ERROR_UNSUPPORTED_TYPE for a value with no text) with
// `value` left as it was, or emptied when the value went between the two queries. Read as regedit shows
// it: a string ends at its first zero ("True" of "True\0\0", the first of several), with its %NAME%s
// expanded when it is REG_EXPAND_SZ; a number is its decimal text.
LONG QueryRegistryValue(HKEY key, const std::string& name, std::string& value) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    std::string buffer(size, '\0');
    status =
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) {
        value.clear();
        return status;
    }
    std::string text = buffer.substr(0, std::min<size_t>(size, buffer.find('\0')));
    uint64_t number = 0;
    switch (type) {
        case REG_SZ:
        case REG_MULTI_SZ:
            value = text;
            return ERROR_SUCCESS;
        case REG_EXPAND_SZ:
            value.assign(ExpandEnvironmentStringsA(text.c_str(), nullptr, 0), '\0');
            value.resize(
                ExpandEnvironmentStringsA(text.c_str(), value.data(), static_cast<DWORD>(value.size())));
            if (!value.empty()) value.pop_back();  // its closing zero
            return ERROR_SUCCESS;
        case REG_DWORD:
        case REG_QWORD:
            if (size != (type == REG_DWORD ? 4 : 8)) return ERROR_UNSUPPORTED_TYPE;
            std::memcpy(&number, buffer.data(), size);
            value = std::to_string(number);
            return ERROR_SUCCESS;
        default:
            return ERROR_UNSUPPORTED_TYPE;
    }
}

}  // namespace

const char* const kSettingsKind = "registry value";

std::string SettingsPlace(const std::string& name) {
    return std::string("HKEY_LOCAL_MACHINE\\") + kKey + (name.empty() ? "" : "\\" + name);
}

// A missing key or value is the default; a value of a type that has no text is said.
std::optional<std::string> ReadSetting(const std::string& name, std::error_code& error) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::string value;
    LONG status = QueryRegistryValue(key, Ansi(name), value);
    RegCloseKey(key);
    if (status == ERROR_UNSUPPORTED_TYPE) error = std::error_code(status, std::system_category());
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
