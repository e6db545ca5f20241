#include "platform/clock.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <ctime>
#include <string_view>
#include <utility>

#include "platform/internal.h"

namespace platform {
namespace {

LocalDateTime FromTm(const std::tm& tm) {
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

bool LocalTimeOf(long long unix_seconds, std::tm* out) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  return ::localtime_r(&t, out) != nullptr;
}

bool IsUtf8Name(std::string_view codeset) {
  return codeset == "UTF-8" || codeset == "utf-8" || codeset == "UTF8" || codeset == "utf8";
}

// A locale text in UTF-8; nullopt when its codeset is unknown or the text invalid in it.
std::optional<std::string> ConvertToUtf8(std::string text, const std::string& codeset) {
  if (codeset.empty() || IsUtf8Name(codeset)) return text;
  const iconv_t converter = ::iconv_open("UTF-8", codeset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(text.size() * 4 + 4, '\0');  // a byte is at most four in UTF-8
  char* in_next = text.data();
  std::size_t in_left = text.size();
  char* out_next = out.data();
  std::size_t out_left = out.size();
  const std::size_t result = ::iconv(converter, &in_next, &in_left, &out_next, &out_left);
  ::iconv_close(converter);
  if (result == static_cast<std::size_t>(-1) || in_left != 0) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace

namespace detail {

// Without touching the process's global locale.
std::array<std::string, 12> ReadShortMonthNames() {
  std::array<std::string, 12> out = detail::EnglishMonthNames();
  locale_t user = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return out;
#ifdef __GLIBC__
  const char* time_codeset = ::nl_langinfo_l(_NL_TIME_CODESET, user);  // need not be LC_CTYPE's
#else
  const char* time_codeset = ::nl_langinfo_l(CODESET, user);
#endif
  const std::string codeset = time_codeset != nullptr ? time_codeset : "";
  for (int i = 0; i < 12; ++i) {
    const char* name = ::nl_langinfo_l(static_cast<nl_item>(ABMON_1 + i), user);
    if (name == nullptr || *name == '\0') continue;
    if (std::optional<std::string> converted = ConvertToUtf8(name, codeset)) {
      out[static_cast<std::size_t>(i)] = std::move(*converted);
    }
  }
  ::freelocale(user);
  return out;
}

}  // namespace detail

LocalDateTime Now() {
  std::tm tm{};
  if (!LocalTimeOf(static_cast<long long>(std::time(nullptr)), &tm)) return {};
  return FromTm(tm);
}

std::optional<std::uint32_t> TryDosTimeFromUnix(long long unix_seconds) {
  std::tm tm{};
  const int year = LocalTimeOf(unix_seconds, &tm) ? tm.tm_year + 1900 : 0;
  if (year < kFirstDosYear || year > kLastDosYear) return std::nullopt;
  return PackDosTime(FromTm(tm));
}

std::uint32_t DosTimeFromUnix(long long unix_seconds) {
  if (std::optional<std::uint32_t> packed = TryDosTimeFromUnix(unix_seconds)) return *packed;
  std::tm tm{};
  const bool late =
      LocalTimeOf(unix_seconds, &tm) ? tm.tm_year + 1900 > kLastDosYear : unix_seconds > 0;
  return late ? PackDosTime({kLastDosYear, 12, 31, 23, 59, 58})
              : PackDosTime({kFirstDosYear, 1, 1, 0, 0, 0});
}

long long UnixFromDosTime(std::uint32_t dos_time) {
  // Not mktime: glibc's reads the zone's file again on every call, once per file backed up.
  // timegm carries fields out of range over as mktime does (month 13 is next January).
  const LocalDateTime t = UnpackDosTime(dos_time);
  std::tm fields{};
  fields.tm_year = t.year - 1900;
  fields.tm_mon = t.month - 1;
  fields.tm_mday = t.day;
  fields.tm_hour = t.hour;
  fields.tm_min = t.minute;
  fields.tm_sec = t.second;
  const long long as_utc = ::timegm(&fields);
  // A local time is at the zone's offset a day before or after; in the hour that repeats,
  // the first; in the hour skipped, taken at the offset before (as glibc's mktime answers).
  const auto offset = [](long long when) -> long long {
    std::tm tm{};
    return LocalTimeOf(when, &tm) ? tm.tm_gmtoff : 0;
  };
  const long long before = as_utc - offset(as_utc - 86400);
  const long long after = as_utc - offset(as_utc + 86400);
  const bool before_fits = as_utc - before == offset(before);
  const bool after_fits = as_utc - after == offset(after);
  if (before_fits && after_fits) return std::min(before, after);
  return after_fits && !before_fits ? after : before;
}

}  // namespace platform
