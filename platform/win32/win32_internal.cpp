#include "platform/win32/win32_internal.h"

#include <winternl.h>

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/io_error.h"

namespace platform {

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
  // No best fit: a look-alike letter could name another file.
  constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, kFlags, text.data(), size, nullptr, 0, "?", nullptr);
  if (bytes <= 0) return std::string();
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, kFlags, text.data(), size, ansi.data(), bytes, "?", nullptr);
  return ansi;
}

}  // namespace platform

namespace platform::detail {
namespace {

// A function of kernel32 or ntdll, which every process has loaded; nullptr where missing.
template <typename Function>
Function SystemCall(const wchar_t* library, const char* name) {
  // Through the generic function type, which converts without a warning.
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(library), name)));
}

constexpr wchar_t kKernel32[] = L"kernel32.dll";
constexpr wchar_t kNtdll[] = L"ntdll.dll";

// An ntdll status as the last error, as kernel32 calls leave it.
bool Succeeded(NTSTATUS status) {
  if (status >= 0) return true;
  using StatusToError = ULONG(NTAPI*)(NTSTATUS);
  static const auto to_error = SystemCall<StatusToError>(kNtdll, "RtlNtStatusToDosError");
  ::SetLastError(to_error(status));
  return false;
}

ULONGLONG WINAPI TickCount64() {
  using Call = ULONGLONG(WINAPI*)();
  static const auto newer = SystemCall<Call>(kKernel32, "GetTickCount64");
  if (newer) return newer();
  // XP's 32-bit count, carried on past its wrap every 49.7 days, never going back.
  static std::atomic<ULONGLONG> last{0};
  constexpr ULONGLONG kWrap = 0x100000000ULL;
  ULONGLONG previous = last.load();
  for (;;) {
    ULONGLONG now = (previous & ~(kWrap - 1)) | ::GetTickCount();
    // Far below the last count it has wrapped; just below, another thread read it later.
    if (now + kWrap / 2 < previous) now += kWrap;
    if (now <= previous) return previous;
    if (last.compare_exchange_weak(previous, now)) return now;
  }
}

}  // namespace

// Through ntdll, as kernel32's SetFileInformationByHandle does where it exists:
// FILE_BASIC_INFO has the layout of ntdll's FILE_BASIC_INFORMATION.
bool SetHandleAttributes(HANDLE file, std::uint32_t attributes) {
  FILE_BASIC_INFO info{};
  info.FileAttributes = SystemAttributes(attributes);
  using Call = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
  static const auto set_information = SystemCall<Call>(kNtdll, "NtSetInformationFile");
  IO_STATUS_BLOCK status_block{};
  return Succeeded(set_information(file, &status_block, &info, sizeof info, FileBasicInformation));
}

std::wstring SystemNameOf(HANDLE file) {
  using Call = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const auto newer = SystemCall<Call>(kKernel32, "GetFinalPathNameByHandleW");
  if (newer) {
    return SystemText(
        [&](wchar_t* text, DWORD units) { return newer(file, text, units, FILE_NAME_NORMALIZED); });
  }
  using QueryObject = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
  static const auto query = SystemCall<QueryObject>(kNtdll, "NtQueryObject");
  // The name's text follows it in the buffer: "\Device\HarddiskVolume1\ICQ".
  constexpr ULONG kNameRoom = 64 * 1024;
  std::vector<unsigned char> buffer(kNameRoom);
  ULONG needed = 0;
  if (!Succeeded(query(file, ObjectNameInformation, buffer.data(), kNameRoom, &needed))) return {};
  const auto* name = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
  return std::wstring(name->Name.Buffer, name->Name.Length / sizeof(wchar_t));
}

int CodeOfSystemError(DWORD error) {
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? kDiskFull
                                                                     : static_cast<int>(error);
}

std::optional<FileKey> IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return KeyOf(info);
}

std::optional<FileKey> IdentityOf(const std::wstring& path) {
  // Backup semantics open folders too; asking no access right, no sharing mode refuses it.
  ScopedHandle handle(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle.get() != INVALID_HANDLE_VALUE ? IdentityOf(handle.get()) : std::nullopt;
}

namespace {

// By the zone's rules for that date, as localtime does: FileTimeToLocalFileTime applies
// today's daylight saving offset, and a DOS time would change by an hour twice a year.
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
  const std::optional<LocalDateTime> local = LocalFieldsOf(utc);
  if (local && local->year > kLastDosYear) return PackDosTime({kLastDosYear, 12, 31, 23, 59, 58});
  return DosTimeOfFileTime(utc).value_or(PackDosTime({kFirstDosYear, 1, 1, 0, 0, 0}));
}

std::optional<FILETIME> FileTimeOfDosTime(std::uint32_t dos_time) {
  if (!IsValidDosTime(dos_time)) return std::nullopt;
  const LocalDateTime t = UnpackDosTime(dos_time);
  const auto w = [](int field) { return static_cast<WORD>(field); };
  SYSTEMTIME local{w(t.year), w(t.month), 0, w(t.day), w(t.hour), w(t.minute), w(t.second), 0};
  SYSTEMTIME universal;
  FILETIME utc;
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) ||
      !::SystemTimeToFileTime(&universal, &utc)) {
    return std::nullopt;
  }
  return utc;
}

}  // namespace platform::detail

// winpthreads (for std::thread) times its waits with GetTickCount64, which XP lacks: this
// import pointer stands in for kernel32's, so that the programs still load on XP.
#if defined(__x86_64__)
#define VARN_TICK_COUNT64_IMPORT "__imp_GetTickCount64"
#else
#define VARN_TICK_COUNT64_IMPORT "__imp__GetTickCount64@0"
#endif
extern "C" ULONGLONG(WINAPI* const varn_tick_count64_import)() __asm__(VARN_TICK_COUNT64_IMPORT);
extern "C" ULONGLONG(WINAPI* const varn_tick_count64_import)() = platform::detail::TickCount64;
