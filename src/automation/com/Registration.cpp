#include "automation/com/Registration.h"

#include <cstdio>
#include <string>

#include "automation/com/Server.h"
#include "platform/win32/Text.h"

namespace kx6000::com {
namespace {

const std::wstring kProgId = L"KX6000Download.clsDLManager";
const std::wstring kVersionedProgId = kProgId + L".1";
const std::wstring kDescription = L"KX6000 Download Component";

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring Text(const GUID& guid) {
    wchar_t text[39];
    StringFromGUID2(guid, text, 39);
    return text;
}

std::wstring ClassKey() {
    return L"CLSID\\" + Text(CLSID_clsDLManager);
}

// A key under the machine's classes with its default value.
bool Write(const std::wstring& key, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status =
        RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

void Remove(const std::wstring& key) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str());
}

Outcome Failed(const char* what, long code) {
    std::fprintf(stderr, "KX6000Download: %s (0x%08lX)\n", what, static_cast<unsigned long>(code));
    return {code, what};
}

}  // namespace

ITypeLib* OwnTypeLibrary() {
    ITypeLib* library = nullptr;
    if (const HRESULT result = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library); FAILED(result)) {
        Failed("the program's type library cannot be loaded", result);
        return nullptr;
    }
    return library;
}

Outcome Register() {
    const std::wstring classId = Text(CLSID_clsDLManager), path = ModulePath();
    // The path quoted: the folder's name may hold blanks, and COM adds its option after it.
    const bool written = Write(kProgId, kDescription) && Write(kProgId + L"\\CLSID", classId) &&
                         Write(kProgId + L"\\CurVer", kVersionedProgId) &&
                         Write(kVersionedProgId, kDescription) &&
                         Write(kVersionedProgId + L"\\CLSID", classId) && Write(ClassKey(), kDescription) &&
                         Write(ClassKey() + L"\\LocalServer32", L"\"" + path + L"\"") &&
                         Write(ClassKey() + L"\\ProgID", kVersionedProgId) &&
                         Write(ClassKey() + L"\\VersionIndependentProgID", kProgId) &&
                         Write(ClassKey() + L"\\TypeLib", Text(LIBID_KX6000Download)) &&
                         Write(ClassKey() + L"\\Version", L"1.5");
    if (!written) {
        Unregister();
        return Failed("the class cannot be registered (is the program run as an administrator?)",
                      E_ACCESSDENIED);
    }
    // The type library, and with it the interfaces, so that calls through the dual interface and the events
    // are carried between the processes.
    ITypeLib* library = nullptr;
    if (const HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library); FAILED(result)) {
        Unregister();
        return Failed("the type library cannot be registered", result);
    }
    library->Release();
    return {};
}

Outcome Unregister() {
    UnRegisterTypeLib(LIBID_KX6000Download, 1, 5, LOCALE_NEUTRAL, SYS_WIN32);
    for (const std::wstring& key : {kProgId, kVersionedProgId, ClassKey()}) Remove(key);
    return {};
}

}  // namespace kx6000::com
