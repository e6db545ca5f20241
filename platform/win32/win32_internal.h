// Helpers shared by the Win32 layer's .cpp files; nothing outside platform/ includes
// this. Texts above the layer are 8-bit texts in the ANSI code page; the system is
// always called through its UTF-16 ("W") functions.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> makes DeleteFile a macro for DeleteFileA; the layer's own
// platform::DeleteFile keeps its name, and the layer calls ::DeleteFileW by name.
#undef DeleteFile

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/internal.h"

namespace platform::detail {

// --- Calls newer than Windows XP --------------------------------------------------------
// The programs run on XP, whose system libraries lack some calls: these look the newer
// call up at run time and fall back on XP's way of doing the same. Each answers as the
// newer call does: false, with the last error set, on failure.

// Sets the attributes of files.h on the open file (SetFileInformationByHandle).
bool SetHandleAttributes(HANDLE file, std::uint32_t attributes);
// GetFileInformationByHandleEx with FileStandardInfo.
bool QueryStandardInfo(HANDLE file, FILE_STANDARD_INFO& info);
// The open file's or folder's path as the system names it, for comparing one with
// another: the normalised path (GetFinalPathNameByHandleW), or on XP the object's
// device path. Empty when it cannot be read.
std::wstring SystemNameOf(HANDLE file);

// --- Texts ----------------------------------------------------------------------------

// ANSI code page to UTF-16 and back. A character the code page cannot show becomes
// "?", which no Windows name may hold: such a name is flagged, never confused with
// another.
std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

// --- Error codes ----------------------------------------------------------------------

// A GetLastError value as the program's code: the system's own number, except that
// both disk-full codes give 101 (kDiskFull).
int CodeOfSystemError(DWORD error);
inline int LastErrorCode() { return CodeOfSystemError(::GetLastError()); }

// --- Paths ----------------------------------------------------------------------------

// A Windows path as the system is given it.
struct SystemPath {
  std::string full;   // ExpandFileName's answer: the path as the program names it
  std::string host;   // the same through the installed drive table (ANSI)
  std::wstring wide;  // host in UTF-16
};
// nullopt when the path is on no drive (the code 3) or holds a NUL byte.
std::optional<SystemPath> SystemPathOf(const std::string& windows_path);

// A folder of the host (a full Windows path, ANSI) with the name after one "\".
std::wstring WideChild(const std::wstring& folder, const std::wstring& name);

// --- Sharing and attributes -----------------------------------------------------------

// What other programs may do with a file this program has open: read and write it, as
// they may on POSIX; kShareAll also lets them delete or rename it.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The attributes the system sets from the six of files.h.
inline DWORD SystemAttributes(std::uint32_t attributes) {
  const DWORD wanted =
      static_cast<DWORD>(attributes) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  return wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted;
}

// --- Handles --------------------------------------------------------------------------

// The layer's classes keep a HANDLE as a neutral handle value.
inline HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
inline std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// Closes a HANDLE when it goes.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }
  void Reset() {
    if (Valid()) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// Opens a file or folder for queries (no read or write access, every sharing mode);
// with own_entry a link or junction itself rather than what it leads to.
HANDLE OpenForQuery(const std::wstring& path, bool own_entry = false);

// What tells one file or folder from every other: the volume's serial number and the
// file's index on it.
struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index_high == other.index_high && index_low == other.index_low;
  }
  bool operator<(const FileIdentity& other) const {
    if (volume != other.volume) return volume < other.volume;
    if (index_high != other.index_high) return index_high < other.index_high;
    return index_low < other.index_low;
  }
};
std::optional<FileIdentity> IdentityOf(const std::wstring& path);

// --- Attributes and times -------------------------------------------------------------

// The six attribute bits of files.h from the system's attributes.
std::uint32_t LayerAttributes(DWORD system_attributes);

// True when the entry is a reparse point: a junction, a symbolic link, a mount point.
inline bool IsReparsePoint(DWORD system_attributes) {
  return system_attributes != INVALID_FILE_ATTRIBUTES &&
         (system_attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// An entry as the refusals see it, from its attributes just read: when they could not be
// read, the last error is the code its absence gives.
inline EntryFacts EntryFactsOf(DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return {LastErrorCode()};
  return {0, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          (attributes & FILE_ATTRIBUTE_READONLY) != 0};
}

// A file time (UTC) as local time in DOS packed form, by the time zone's rules for
// that date (SystemTimeToTzSpecificLocalTime), as the POSIX layer converts it; nullopt
// outside the DOS range.
std::optional<std::uint32_t> DosTimeOfFileTime(const FILETIME& utc);
// The same, held to the DOS range.
std::uint32_t ClampedDosTimeOfFileTime(const FILETIME& utc);
// A DOS packed local time as a file time (UTC); nullopt when it is no real date.
std::optional<FILETIME> FileTimeOfDosTime(std::uint32_t dos_time);

}  // namespace platform::detail
