// Text at the system's calls: UTF-8 inside the program, UTF-16 at every Windows call.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kx6000 {

// `text` in `codePage` (UTF-8 unless said) as UTF-16.
inline std::wstring Wide(std::string_view text, UINT codePage = CP_UTF8) {
    int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// UTF-16 `text` in `codePage` (UTF-8 unless said).
inline std::string Narrow(std::wstring_view text, UINT codePage = CP_UTF8) {
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace kx6000
