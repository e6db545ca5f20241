#include "platform/clock.h"

#include <algorithm>
#include <string>

#include "platform/win32/win32_internal.h"

namespace platform {
namespace detail {

std::array<std::string, 12> ReadShortMonthNames() {
  std::array<std::string, 12> out = detail::EnglishMonthNames();
  for (int i = 0; i < 12; ++i) {
    const LCTYPE item = static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i);
    // GetLocaleInfoW counts the NUL it writes.
    const std::wstring name = SystemText([&](wchar_t* text, DWORD units) {
      return std::max(::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, text, units), 1) - 1;
    });
    if (!name.empty()) out[static_cast<std::size_t>(i)] = AnsiFromWide(name);
  }
  return out;
}

}  // namespace detail

LocalDateTime Now() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace platform
