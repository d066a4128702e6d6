// Text at the Windows boundary: UTF-8 inside the component, UTF-16 at the system's calls.
#pragma once

#include <string>
#include <string_view>

namespace kx6000 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace kx6000
