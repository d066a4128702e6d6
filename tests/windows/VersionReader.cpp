// Reads each named file's version resource as Explorer's Details read it, through the system's version calls:
// per file a line of tab-separated "name=value" fields, its fixed version and the texts of its first
// translation; an empty line for a file without one.
#include <windows.h>

#include <cstdio>
#include <vector>

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        DWORD ignored = 0;
        std::vector<char> data(GetFileVersionInfoSizeW(arguments[i], &ignored));
        void* value = nullptr;
        UINT size = 0;
        if (!data.empty() &&
            GetFileVersionInfoW(arguments[i], 0, static_cast<DWORD>(data.size()), data.data()) &&
            VerQueryValueW(data.data(), L"\\", &value, &size)) {
            const auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
            std::printf("fixed=%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                        HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        }
        const WORD* translation = nullptr;
        if (!data.empty() &&
            VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(const_cast<WORD**>(&translation)), &size)) {
            for (const wchar_t* key :
                 {L"ProductName", L"CompanyName", L"FileDescription", L"FileVersion", L"ProductVersion"}) {
                wchar_t path[128];
                swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], key);
                if (VerQueryValueW(data.data(), path, &value, &size))
                    std::printf("\t%ls=%ls", key, static_cast<wchar_t*>(value));
            }
        }
        std::printf("\n");
    }
}
