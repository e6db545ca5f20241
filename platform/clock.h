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

// DOS packed form: date in the high 16 bits (year - 1980, month, day), time in the low 16
// (hour, minute, second / 2, odd seconds rounded down). Years outside the range are clamped.
std::uint32_t PackDosTime(const LocalDateTime& t);
LocalDateTime UnpackDosTime(std::uint32_t dos_time);
// True when the packed fields form a real date and time.
bool IsValidDosTime(std::uint32_t dos_time);

#ifndef _WIN32
// Host time (seconds since the epoch) to and from local DOS time. DosTimeFromUnix clamps to
// the DOS range; the Try form answers nullopt outside it, as Windows' own conversion fails.
std::uint32_t DosTimeFromUnix(long long unix_seconds);
std::optional<std::uint32_t> TryDosTimeFromUnix(long long unix_seconds);
// Fields out of range are carried over as mktime does (month 13 is next January).
long long UnixFromDosTime(std::uint32_t dos_time);
#endif

// Abbreviated month names of the LC_TIME locale in UTF-8 (the user's locale in the ANSI code
// page on Windows), read on first use; "Jan".."Dec" where it gives none that converts.
const std::array<std::string, 12>& ShortMonthNames();

// Tests only: the next ShortMonthNames reads the environment's locale again.
void RereadMonthNamesForTests();

}  // namespace platform
