// The settings in the registry key, as other programs leave them and as the component writes them.
#include "TestEnvironment.h"

#include <algorithm>

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
    const std::string binary = "registry value HKEY_LOCAL_MACHINE\\" + std::string(kKey) + "\\LastFile: ";
    const std::tuple<DWORD, std::wstring_view, const char*, std::string> cases[] = {
        {REG_NONE, L"", "default", ""},
        {REG_SZ, L"true\0"sv, "true", ""},    // as stored: only "True" is the Debug flag
        {REG_SZ, L"True\0\0"sv, "True", ""},  // as regedit shows it: the text ends at its first zero
        {REG_SZ, L"\0"sv, "", ""},
        {REG_SZ, L"C:\\M\u00fcller.srec\0"sv, "C:\\M\xc3\xbcller.srec", ""},
        {REG_DWORD, L"\x0005\0"sv, "5", ""},  // a number as its text
        {REG_QWORD, L"\x0007\0\0\0"sv, "7", ""},
        {REG_EXPAND_SZ, L"%SystemRoot%\\a.srec\0"sv, "C:\\windows\\a.srec", ""},
        {REG_MULTI_SZ, L"a.srec\0b.srec\0\0"sv, "a.srec", ""},
        {REG_BINARY, L"True"sv, "default", binary},  // no text: said, once
    };
    for (auto [type, data, expected, said] : cases) {
        LeaveInRegistry(type, data);
        testing::internal::CaptureStderr();
        EXPECT_EQ(GetRegistryValue("LastFile", "default"), expected) << type;
        EXPECT_EQ(GetRegistryValue("LastFile", "default"), expected) << type;
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_EQ(text.substr(0, said.size()), said) << type;
        EXPECT_EQ(text.empty(), said.empty()) << text;
        EXPECT_EQ(std::ranges::count(text, '\n'), said.empty() ? 0 : 1) << text;
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
