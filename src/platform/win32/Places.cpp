#include "platform/Places.h"

#include <windows.h>

#include "platform/win32/Text.h"

namespace kx6000 {

std::string Environment(const char* name) {
    std::wstring wideName = Wide(name);
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) return "";
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(wideName.c_str(), value.data(), size));
    return Utf8(value);
}

// The drive root, in the letter case the component gives it in each of its fixed paths.
std::string DefaultRootFolder() {
    return "C:\\";
}

std::string DefaultLogFolder() {
    return "c:\\";
}

std::string ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (size == 0) return ".";
        if (size < path.size()) {
            path.resize(size);
            break;
        }
        path.resize(path.size() * 2);
    }
    return Utf8(path.substr(0, path.find_last_of(L"\\/")));
}

std::string WrittenFolder(const std::string& folder) {
    HANDLE token = nullptr;
    DWORD virtualized = 0, size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return folder;
    BOOL known =
        GetTokenInformation(token, TokenVirtualizationEnabled, &virtualized, sizeof virtualized, &size);
    CloseHandle(token);
    auto below = [&folder](const std::string& place) {
        return !place.empty() && CompareStringOrdinal(Wide(folder.substr(0, place.size())).c_str(), -1,
                                                      Wide(place).c_str(), -1, TRUE) == CSTR_EQUAL;
    };
    const std::string store = Environment("LOCALAPPDATA");
    // The system drive is the users' only where their profiles are.
    if (!known || !virtualized || store.empty() || !below(Environment("SystemDrive")) ||
        below(Environment("USERPROFILE")))
        return folder;
    // The store mirrors the path without its drive: c:\ is VirtualStore\.
    return store + "\\VirtualStore" + folder.substr(2);
}

}  // namespace kx6000
