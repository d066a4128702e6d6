// The settings in the registry key, as other programs leave them and as the component writes them.
#include "TestEnvironment.h"
#include "support/modRegistry.h"

#include <windows.h>  // after the component's headers, whose names it would rename

namespace kx6000::test {
namespace {

using modRegistry::GetRegistryValue;
using modRegistry::SaveRegistryValue;

class RegistryTest : public ComponentTest {};

constexpr const char* kKey = "Software\\Veltrane Systems Ltd\\Radio Software Components\\KX6100_RLDC";

// "LastFile" as another program left it, written as UTF-16: `type` and the raw `data`; REG_NONE for no key.
void LeaveInRegistry(DWORD type, std::wstring_view data) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    if (type == REG_NONE) return;
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    RegSetValueExW(key, L"LastFile", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

TEST_F(RegistryTest, ReadsTheRegistryValueOrGivesTheDefault) {
    using namespace std::string_view_literals;
    const std::tuple<DWORD, std::wstring_view, const char*> cases[] = {
        {REG_NONE, L"", "default"},
        {REG_SZ, L"true\0"sv, "true"},    // as stored: only "True" is the Debug flag
        {REG_SZ, L"True\0\0"sv, "True"},  // as regedit shows it: the text ends at its first zero
        {REG_SZ, L"\0"sv, ""},
        {REG_SZ, L"C:\\M\u00fcller.srec\0"sv, "C:\\M\xc3\xbcller.srec"},
        {REG_DWORD, L"\x0005\0"sv, "5"},  // a number as its text
        {REG_EXPAND_SZ, L"%TEMP%\\a.srec\0"sv, "default"},
    };
    for (auto [type, data, expected] : cases) {
        LeaveInRegistry(type, data);
        EXPECT_EQ(GetRegistryValue("LastFile", "default"), expected) << type;
    }
}

TEST_F(RegistryTest, SaveMakesTheKeyAndStoresTheTextWithItsZero) {
    LeaveInRegistry(REG_NONE, L"");
    SaveRegistryValue("LastFile", "C:\\data\\a.srec");
    HKEY key = nullptr;
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    RegQueryValueExA(key, "LastFile", nullptr, &type, nullptr, &size);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 15u) << "14 characters and the zero";
    EXPECT_EQ(GetRegistryValue("lastfile", "default"), "C:\\data\\a.srec");
}
}  // namespace
}  // namespace kx6000::test
