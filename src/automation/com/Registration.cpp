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

// The registry's two views on 64-bit Windows: the 32-bit one of this program and 32-bit callers (where
// HKLM\Software\Classes\WOW6432Node\CLSID and ...\Interface are), and the 64-bit one of 64-bit callers. On
// 32-bit Windows both flags name the one registry.
constexpr REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

// A value of a key under the machine's classes, in one view; `name` null for the key's default.
bool Write(REGSAM view, const std::wstring& key, const std::wstring& value, const wchar_t* name = nullptr) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0,
                        KEY_WRITE | view, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status =
        RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

void Remove(REGSAM view, const std::wstring& key) {
    const std::wstring path = L"Software\\Classes\\" + key;
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, &handle) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(handle, nullptr);
    RegCloseKey(handle);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
}

// The interfaces that calls and events cross the processes by: their names, and the system's marshallers
// that carry them by the type library, as the system registers them (IDispatch's own for the events).
struct Carried {
    const IID& iid;
    const wchar_t* name;
    const wchar_t* marshaller;
};
const Carried kInterfaces[] = {
    {IID__clsDLManager, L"_clsDLManager", L"{00020424-0000-0000-C000-000000000046}"},
    {DIID__clsDLManagerEvents, L"_clsDLManagerEvents", L"{00020420-0000-0000-C000-000000000046}"}};

std::wstring InterfaceKey(const IID& iid) {
    return L"Interface\\" + Text(iid);
}

std::wstring TypeLibrary64Key() {
    return L"TypeLib\\" + Text(LIBID_KX6000Download) + L"\\1.5\\0\\win64";
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
    // The class in this program's view only: 64-bit Windows starts a 32-bit local server for a 64-bit caller
    // when no 64-bit one is registered, while the class in the 64-bit view would claim one. The ProgIDs are
    // in the part of the classes both views share.
    // The path quoted: the folder's name may hold blanks, and COM adds its option after it.
    const REGSAM own = KEY_WOW64_32KEY;
    const bool written =
        Write(own, kProgId, kDescription) && Write(own, kProgId + L"\\CLSID", classId) &&
        Write(own, kProgId + L"\\CurVer", kVersionedProgId) && Write(own, kVersionedProgId, kDescription) &&
        Write(own, kVersionedProgId + L"\\CLSID", classId) && Write(own, ClassKey(), kDescription) &&
        Write(own, ClassKey() + L"\\LocalServer32", L"\"" + path + L"\"") &&
        Write(own, ClassKey() + L"\\ProgID", kVersionedProgId) &&
        Write(own, ClassKey() + L"\\VersionIndependentProgID", kProgId) &&
        Write(own, ClassKey() + L"\\TypeLib", Text(LIBID_KX6000Download)) &&
        Write(own, ClassKey() + L"\\Version", L"1.5");
    if (!written) {
        Unregister();
        return Failed("the class cannot be registered (is the program run as an administrator?)",
                      E_ACCESSDENIED);
    }
    // The type library, and with it the interfaces, so that calls through the dual interface and the events
    // are carried between the processes: the system registers it for 32-bit callers.
    ITypeLib* library = nullptr;
    if (const HRESULT result = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library); FAILED(result)) {
        Unregister();
        return Failed("the type library cannot be registered", result);
    }
    library->Release();
    // A 64-bit caller's marshaller looks the interfaces up in its own view, and the type library by its win64
    // entry: the same file serves it.
    bool carried = Write(KEY_WOW64_64KEY, TypeLibrary64Key(), path);
    for (const Carried& carrier : kInterfaces) {
        const std::wstring key = InterfaceKey(carrier.iid);
        carried = carried && Write(KEY_WOW64_64KEY, key, carrier.name) &&
                  Write(KEY_WOW64_64KEY, key + L"\\ProxyStubClsid", carrier.marshaller) &&
                  Write(KEY_WOW64_64KEY, key + L"\\ProxyStubClsid32", carrier.marshaller) &&
                  Write(KEY_WOW64_64KEY, key + L"\\TypeLib", Text(LIBID_KX6000Download)) &&
                  Write(KEY_WOW64_64KEY, key + L"\\TypeLib", L"1.5", L"Version");
    }
    if (!carried) {
        Unregister();
        return Failed("the interfaces cannot be registered for 64-bit callers", E_ACCESSDENIED);
    }
    return {};
}

Outcome Unregister() {
    // The win64 entry first: the system removes the type library's key only when no entry is left below it.
    Remove(KEY_WOW64_64KEY, TypeLibrary64Key());
    UnRegisterTypeLib(LIBID_KX6000Download, 1, 5, LOCALE_NEUTRAL, SYS_WIN32);
    for (const std::wstring& key : {kProgId, kVersionedProgId, ClassKey()}) Remove(KEY_WOW64_32KEY, key);
    for (const REGSAM view : kViews)
        for (const Carried& carrier : kInterfaces) Remove(view, InterfaceKey(carrier.iid));
    return {};
}

}  // namespace kx6000::com
