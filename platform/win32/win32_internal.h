// The Win32 layer's helpers. Texts above it are in the ANSI code page; the system is called
// through its UTF-16 ("W") functions.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> makes DeleteFile a macro; platform::DeleteFile keeps its name.
#undef DeleteFile

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/internal.h"

namespace platform::detail {

// --- Calls newer than XP, looked up at run time, else done XP's way -----------------

bool SetHandleAttributes(HANDLE file, std::uint32_t attributes);
bool QueryStandardInfo(HANDLE file, FILE_STANDARD_INFO& info);
// The open file's path as the system names it (on XP its device path); empty when unknown.
std::wstring SystemNameOf(HANDLE file);

// ANSI code page to UTF-16 and back; a character the code page lacks becomes "?", which
// no Windows name may hold.
std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

// A GetLastError value as the program's code: both disk-full codes are 101.
int CodeOfSystemError(DWORD error);
inline int LastErrorCode() { return CodeOfSystemError(::GetLastError()); }

// A Windows path as the system is given it.
struct SystemPath {
  std::string full;   // ExpandFileName's answer
  std::string host;   // the same through the installed drive table (ANSI)
  std::wstring wide;  // host in UTF-16
};
// nullopt when the path is on no drive (the code 3) or holds a NUL byte.
std::optional<SystemPath> SystemPathOf(const std::string& windows_path);

std::wstring WideChild(const std::wstring& folder, const std::wstring& name);

// What other programs may do with a file open here: read and write it, as on POSIX.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
inline DWORD SystemAttributes(std::uint32_t attributes) {
  const DWORD wanted =
      static_cast<DWORD>(attributes) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  return wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted;
}

// The layer's classes keep a HANDLE as a neutral handle value.
inline HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
inline std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~ScopedHandle() {
    if (Valid()) ::CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

inline FileKey KeyOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}
std::optional<FileKey> IdentityOf(HANDLE handle);
std::optional<FileKey> IdentityOf(const std::wstring& path);

inline std::uint32_t LayerAttributes(DWORD attributes) { return attributes & faAnyFile; }

inline bool Exists(DWORD attributes) { return attributes != INVALID_FILE_ATTRIBUTES; }
inline bool IsFolder(DWORD attributes) {
  return Exists(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
// A junction, a symbolic link or a mount point.
inline bool IsReparsePoint(DWORD attributes) {
  return Exists(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// From attributes just read (else the last error).
inline EntryFacts EntryFactsOf(DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return {LastErrorCode()};
  return {0, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          (attributes & FILE_ATTRIBUTE_READONLY) != 0};
}

// A file time (UTC) as local DOS time by the zone's rules for that date; nullopt outside
// the DOS range, or held to it.
std::optional<std::uint32_t> DosTimeOfFileTime(const FILETIME& utc);
std::uint32_t ClampedDosTimeOfFileTime(const FILETIME& utc);
// nullopt when it is no real date.
std::optional<FILETIME> FileTimeOfDosTime(std::uint32_t dos_time);

}  // namespace platform::detail
