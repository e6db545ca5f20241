// Local time, DOS packed times and the locale's month names.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

struct LocalDateTime {
  int year = 1980, month = 1, day = 1;  // month 1..12
  int hour = 0, minute = 0, second = 0;
};

LocalDateTime Now();

// DOS packed form: date in the high 16 bits (year - 1980, month, day), time in the low
// 16 bits (hour, minute, second / 2). Years outside 1980..2107 are clamped.
std::uint32_t PackDosTime(const LocalDateTime& t);
LocalDateTime UnpackDosTime(std::uint32_t dos_time);

// Host time (seconds since the epoch) to and from local DOS time.
std::uint32_t DosTimeFromUnix(long long unix_seconds);
long long UnixFromDosTime(std::uint32_t dos_time);

// Abbreviated month names of the C library's LC_TIME locale (nl_langinfo), read once
// on first use; "Jan".."Dec" where the locale gives none.
const std::array<std::string, 12>& ShortMonthNames();

}  // namespace platform
