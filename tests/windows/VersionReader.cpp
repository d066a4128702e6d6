// Reads each named file's version resource as Explorer's Details read it, through the system's version
// calls: one JSON line per file, its fixed version and the texts of its first translation, or "none".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* wide) {
    std::string text(WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), static_cast<int>(text.size()), nullptr, nullptr);
    text.pop_back();  // the terminating NUL
    std::string quoted = "\"";
    for (char c : text) quoted += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
    return quoted + "\"";
}

std::string Read(const wchar_t* file) {
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(file, &ignored));
    if (data.empty() || !GetFileVersionInfoW(file, 0, static_cast<DWORD>(data.size()), data.data()))
        return "\"none\"";
    void* value = nullptr;
    UINT size = 0;
    std::string json = "{";
    if (VerQueryValueW(data.data(), L"\\", &value, &size) && size >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
        char version[64];
        std::snprintf(version, sizeof version, "\"%d.%d.%d.%d\"", HIWORD(fixed->dwFileVersionMS),
                      LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                      LOWORD(fixed->dwFileVersionLS));
        json += std::string("\"fixed\":") + version;
    }
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &size) || size < 4)
        return json + "}";
    const auto* translation = static_cast<WORD*>(value);
    for (const wchar_t* key :
         {L"ProductName", L"CompanyName", L"FileDescription", L"FileVersion", L"ProductVersion"}) {
        wchar_t path[128];
        swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], key);
        if (VerQueryValueW(data.data(), path, &value, &size) && size > 0)
            json += "," + Utf8(key) + ":" + Utf8(static_cast<wchar_t*>(value));
    }
    return json + "}";
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) std::printf("%s\n", Read(arguments[i]).c_str());
    return 0;
}
