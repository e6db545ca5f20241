// Local time, DOS packed times and the locale's month names.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct LocalDateTime {
  int year = 1980, month = 1, day = 1;  // month 1..12
  int hour = 0, minute = 0, second = 0;
};

LocalDateTime Now();

// The years the DOS packed form holds.
inline constexpr int kFirstDosYear = 1980;
inline constexpr int kLastDosYear = 2107;

// DOS packed form: date in the high 16 bits (year - 1980, month, day), time in the low
// 16 bits (hour, minute, second / 2). Years outside 1980..2107 are clamped.
// Odd seconds are rounded down.
std::uint32_t PackDosTime(const LocalDateTime& t);
LocalDateTime UnpackDosTime(std::uint32_t dos_time);
// True when the packed fields form a real date and time (month 1..12, a day of that
// month, hour < 24, minute < 60, seconds < 60).
bool IsValidDosTime(std::uint32_t dos_time);

#ifndef _WIN32
// Host time (seconds since the epoch) to and from local DOS time. DosTimeFromUnix
// clamps to the DOS range (1980-01-01 00:00:00 .. 2107-12-31 23:59:58); the Try form
// answers nullopt outside it, as Windows' own conversion fails there.
std::uint32_t DosTimeFromUnix(long long unix_seconds);
std::optional<std::uint32_t> TryDosTimeFromUnix(long long unix_seconds);
// Fields out of range are carried over as mktime does (month 13 is next January).
long long UnixFromDosTime(std::uint32_t dos_time);
#endif

// Abbreviated month names of the C library's LC_TIME locale (nl_langinfo), read once
// on first use and converted from the locale's codeset to UTF-8 (a Latin-1 locale's
// "M\xe4r" becomes "M\xc3\xa4r"); "Jan".."Dec" where the locale gives none or its
// name cannot be converted. On Windows: the user's locale (GetLocaleInfoW) in the ANSI
// code page.
const std::array<std::string, 12>& ShortMonthNames();

// Tests only: the next ShortMonthNames reads the environment's locale again.
void RereadMonthNamesForTests();

}  // namespace platform
