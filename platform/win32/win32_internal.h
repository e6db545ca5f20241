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
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ansi_text.h"
#include "platform/internal.h"

namespace platform::detail {

// --- Calls XP lacks or ntdll's, looked up at run time --------------------------------

bool SetHandleAttributes(HANDLE file, std::uint32_t attributes);
// The open file's path as the system names it (on XP its device path); empty when unknown.
std::wstring SystemNameOf(HANDLE file);

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

// What a call of GetCurrentDirectoryW's kind writes into a buffer of the given units (it
// answers the units written); empty when it fails or wants more than the longest path.
template <typename Call>
std::wstring SystemText(Call call) {
  std::wstring text(32768, L'\0');
  const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
  return length < text.size() ? text.substr(0, length) : std::wstring();
}

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

// A handle closed when it goes; CreateFileW's INVALID_HANDLE_VALUE is none.
struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

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

// The path functions' work on a host path, which FolderHandle shares; link_itself: a link
// to a folder is deleted itself, not refused as a folder.
int DeletionRefusal(const std::string& host, bool link_itself);
int DeleteEntry(const std::string& host, bool link_itself);
int MoveEntry(const std::string& source, const std::string& target, bool replace_existing);

// A file time (UTC) as local DOS time by the zone's rules for that date; nullopt outside
// the DOS range, or held to it.
std::optional<std::uint32_t> DosTimeOfFileTime(const FILETIME& utc);
std::uint32_t ClampedDosTimeOfFileTime(const FILETIME& utc);
// nullopt when it is no real date.
std::optional<FILETIME> FileTimeOfDosTime(std::uint32_t dos_time);

}  // namespace platform::detail
