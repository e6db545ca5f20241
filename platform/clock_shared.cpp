// The clock's parts that are the same on every system.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/internal.h"

namespace platform {
namespace {

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}
}  // namespace

std::uint32_t PackDosTime(const LocalDateTime& t) {
  const int year = std::clamp(t.year, kFirstDosYear, kLastDosYear);
  const std::uint32_t date = (static_cast<std::uint32_t>(year - kFirstDosYear) << 9) |
                             ((static_cast<std::uint32_t>(t.month) & 0x0F) << 5) |
                             (static_cast<std::uint32_t>(t.day) & 0x1F);
  const std::uint32_t time = ((static_cast<std::uint32_t>(t.hour) & 0x1F) << 11) |
                             ((static_cast<std::uint32_t>(t.minute) & 0x3F) << 5) |
                             ((static_cast<std::uint32_t>(t.second) / 2) & 0x1F);
  return (date << 16) | time;
}

LocalDateTime UnpackDosTime(std::uint32_t dos_time) {
  const std::uint32_t date = dos_time >> 16;
  const std::uint32_t time = dos_time & 0xFFFF;
  LocalDateTime t;
  t.year = kFirstDosYear + static_cast<int>(date >> 9);
  t.month = static_cast<int>((date >> 5) & 0x0F);
  t.day = static_cast<int>(date & 0x1F);
  t.hour = static_cast<int>(time >> 11);
  t.minute = static_cast<int>((time >> 5) & 0x3F);
  t.second = static_cast<int>(time & 0x1F) * 2;
  return t;
}

bool IsValidDosTime(std::uint32_t dos_time) {
  const LocalDateTime t = UnpackDosTime(dos_time);
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) &&
         t.hour < 24 && t.minute < 60 && t.second < 60;
}

namespace detail {

const std::array<std::string, 12>& EnglishMonthNames() {
  static const std::array<std::string, 12> names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return names;
}

}  // namespace detail

namespace {

// Read on first use; tests may ask for it to be read again.
std::optional<std::array<std::string, 12>> g_months;

}  // namespace

const std::array<std::string, 12>& ShortMonthNames() {
  if (!g_months) g_months = detail::ReadShortMonthNames();
  return *g_months;
}

void RereadMonthNamesForTests() { g_months.reset(); }

}  // namespace platform
