#include "platform/win32/win32_internal.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/io_error.h"

namespace platform::detail {

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int units = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), units);
  return wide;
}

std::string AnsiFromWide(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  // No best fit: a character the code page lacks becomes "?", not a look-alike letter
  // that names another file.
  constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, kFlags, text.data(), size, nullptr, 0, "?", nullptr);
  if (bytes <= 0) return std::string();
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, kFlags, text.data(), size, ansi.data(), bytes, "?", nullptr);
  return ansi;
}

int CodeOfSystemError(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return kDiskFull;
    default:
      return static_cast<int>(error);
  }
}

std::wstring WideChild(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
  return folder + L"\\" + name;
}

HANDLE OpenForQuery(const std::wstring& path, bool own_entry) {
  // Backup semantics open folders too; no access right is asked, so no sharing mode of
  // another program stands in the way.
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (own_entry) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  return ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
}

std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
  ScopedHandle handle(OpenForQuery(path));
  if (!handle.Valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.Get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::uint32_t LayerAttributes(DWORD system_attributes) {
  return static_cast<std::uint32_t>(system_attributes) & faAnyFile;
}

namespace {

// The local date and time of a file time under the zone's rules for that date, as the
// POSIX layer's localtime gives it. FileTimeToLocalFileTime would apply today's
// daylight saving offset to every date, and a file's DOS time would change by an hour
// twice a year.
std::optional<LocalDateTime> LocalFieldsOf(const FILETIME& utc) {
  SYSTEMTIME universal, fields;
  if (!::FileTimeToSystemTime(&utc, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &fields)) {
    return std::nullopt;
  }
  return LocalDateTime{fields.wYear, fields.wMonth,  fields.wDay,
                       fields.wHour, fields.wMinute, fields.wSecond};
}

}  // namespace

// The range is checked here: Wine's FileTimeToDosDateTime packs a year past 2107 into
// the seven bits regardless (2150 comes back as 2022).
std::optional<std::uint32_t> DosTimeOfFileTime(const FILETIME& utc) {
  const std::optional<LocalDateTime> local = LocalFieldsOf(utc);
  if (!local || local->year < kFirstDosYear || local->year > kLastDosYear) return std::nullopt;
  return PackDosTime(*local);
}

std::uint32_t ClampedDosTimeOfFileTime(const FILETIME& utc) {
  if (std::optional<std::uint32_t> packed = DosTimeOfFileTime(utc)) return *packed;
  const std::optional<LocalDateTime> local = LocalFieldsOf(utc);
  const bool late = local && local->year > kLastDosYear;
  return late ? PackDosTime({kLastDosYear, 12, 31, 23, 59, 58})
              : PackDosTime({kFirstDosYear, 1, 1, 0, 0, 0});
}

std::optional<FILETIME> FileTimeOfDosTime(std::uint32_t dos_time) {
  if (!IsValidDosTime(dos_time)) return std::nullopt;
  const LocalDateTime t = UnpackDosTime(dos_time);
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(t.year);
  local.wMonth = static_cast<WORD>(t.month);
  local.wDay = static_cast<WORD>(t.day);
  local.wHour = static_cast<WORD>(t.hour);
  local.wMinute = static_cast<WORD>(t.minute);
  local.wSecond = static_cast<WORD>(t.second);
  SYSTEMTIME universal;
  FILETIME utc;
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) ||
      !::SystemTimeToFileTime(&universal, &utc)) {
    return std::nullopt;
  }
  return utc;
}

}  // namespace platform::detail
