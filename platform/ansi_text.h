// Windows only: the program's 8-bit texts, in the ANSI code page, to the system's UTF-16 and
// back. A character the code page lacks becomes "?", which no Windows name may hold.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

}  // namespace platform
