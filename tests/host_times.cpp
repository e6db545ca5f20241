#include "tests/host_times.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

bool SetHostWriteTime(const std::filesystem::path& path, std::time_t when) {
#ifdef _WIN32
  // A folder is opened for its times only with backup semantics.
  const HANDLE file = ::CreateFileW(path.wstring().c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // FILETIME counts 100 ns steps from 1601, time_t seconds from 1970.
  constexpr ULONGLONG kSecondsFrom1601To1970 = 11644473600ULL;
  constexpr ULONGLONG kTicksPerSecond = 10000000ULL;
  const ULONGLONG ticks = (static_cast<ULONGLONG>(when) + kSecondsFrom1601To1970) * kTicksPerSecond;
  const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const bool set = ::SetFileTime(file, nullptr, &time, &time) != 0;
  ::CloseHandle(file);
  return set;
#else
  const timespec times[2] = {{when, 0}, {when, 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

bool SetHostLocalWriteTime(const std::filesystem::path& path, int year, int month, int day,
                           int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return SetHostWriteTime(path, std::mktime(&local));
}
