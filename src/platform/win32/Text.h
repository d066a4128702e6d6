// Text at the Windows boundary: UTF-8 inside the component, UTF-16 at the system's calls.
#pragma once

#include <string>
#include <string_view>

namespace kx6000 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// A path as the system's W calls take it: one of 260 characters or more, made whole, in the "\\?\" form that
// lifts that limit whatever the system's long-path setting; a shorter one as given.
std::wstring SystemPath(std::string_view utf8);

// The system's ANSI code page, which the calls the component names in their A form take (the registry's,
// the help viewer's).
std::string Ansi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);

}  // namespace kx6000
