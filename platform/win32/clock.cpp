#include "platform/clock.h"

#include <string>

#include "platform/win32/win32_internal.h"

namespace platform {
namespace detail {

std::array<std::string, 12> ReadShortMonthNames() {
  std::array<std::string, 12> out = detail::EnglishMonthNames();
  for (int i = 0; i < 12; ++i) {
    const LCTYPE item = static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i);
    const int units = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, nullptr, 0);
    if (units <= 1) continue;
    std::wstring name(static_cast<std::size_t>(units), L'\0');
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, name.data(), units) != units) continue;
    name.resize(static_cast<std::size_t>(units - 1));  // without its NUL
    out[static_cast<std::size_t>(i)] = detail::AnsiFromWide(name);
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
