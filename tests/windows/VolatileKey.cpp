// Makes HKEY_LOCAL_MACHINE\PATH a volatile key, gone when the prefix's server ends: no lasting key can be
// made under it, so a program that registers itself there fails as it would without the rights to write.
//
// Usage: volatile-key PATH   e.g.  volatile-key Software\Classes\KX6000Download.clsDLManager
#include <windows.h>

#include <cstdio>

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count != 2) {
        std::fprintf(stderr, "usage: volatile-key PATH\n");
        return 2;
    }
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, arguments[1], 0, nullptr, REG_OPTION_VOLATILE,
                                           KEY_WRITE, nullptr, &key, nullptr);
    if (key) RegCloseKey(key);
    LocalFree(arguments);
    return status == ERROR_SUCCESS ? 0 : 1;
}
