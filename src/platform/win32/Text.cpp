#include "platform/win32/Text.h"

#include <windows.h>

namespace kx6000 {

namespace {

std::wstring FromCodePage(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string InCodePage(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) return {};
    int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

}  // namespace

std::wstring SystemPath(std::string_view utf8) {
    std::wstring path = Wide(utf8);
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
    std::wstring whole(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    whole.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(whole.size()), whole.data(), nullptr));
    if (whole.empty() || whole.size() < MAX_PATH) return path;
    // A share's path (\\server\share\...) takes the form's UNC part.
    return whole.starts_with(L"\\\\") ? L"\\\\?\\UNC" + whole.substr(1) : L"\\\\?\\" + whole;
}

std::wstring Wide(std::string_view utf8) {
    return FromCodePage(CP_UTF8, utf8);
}

std::string Utf8(std::wstring_view wide) {
    return InCodePage(CP_UTF8, wide);
}

std::string Ansi(std::string_view utf8) {
    return InCodePage(CP_ACP, Wide(utf8));
}

std::string FromAnsi(std::string_view ansi) {
    return Utf8(FromCodePage(CP_ACP, ansi));
}

}  // namespace kx6000
