// The layer's own helpers: rules for every system, then the POSIX look-ups (the Win32 ones
// are in win32/win32_internal.h). Nothing outside platform/ includes this.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/find.h"
#include "platform/io_error.h"
#include "platform/system.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace platform::detail {

// --- Windows path texts -------------------------------------------------------------

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// One component: a name a folder can hold, and no way out of it.
inline bool IsOneName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

// The non-empty components of a path text, split where `separates` says.
std::vector<std::string> SplitPathComponents(std::string_view text,
                                             bool (*separates)(char) = IsPathSeparator);

// Appends parts to folded, "." dropped and ".." taking back the last one (never past
// the start).
void FoldDotComponents(std::vector<std::string>& folded, const std::vector<std::string>& parts);

// A drive table by letter, upper case, each letter once (the first given wins), each
// root in the system's form (NormalizeRoot).
std::vector<DriveMapping> SortedDriveTable(std::vector<DriveMapping> table);

// --- The drive table and current directory (drive_table.cpp) --------------------------

// The one drive table and current directory of the process, as Windows keeps them.
struct LayerState {
  bool table_installed = false;      // a test's table
  std::vector<DriveMapping> drives;  // empty until the system's is read
  bool cwd_known = false;
  std::string cwd;       // Windows path text, disk spelling, "C:\" at a root
  std::string cwd_host;  // POSIX: the host folder cwd was entered at; empty when not entered
};
LayerState& State();
const DriveMapping* FindDrive(char letter);  // nullptr for a letter without a drive

// Each system's side (posix/drives.cpp, win32/drives.cpp).
std::vector<DriveMapping> SystemDriveTable();
std::string NormalizeRoot(std::string root);
std::optional<std::string> HostWorkingFolder();  // nullopt when it no longer exists
int TrySetCurrentDir(const std::string& path);   // one open operation; 0 or the code
std::optional<unsigned long long> HostFreeSpace(const std::string& host_root);
// The Windows path of a normalised host path, on the drive whose root is its longest prefix.
std::optional<std::string> WindowsPathOnDrives(const std::string& host_path);

// --- Refusals -----------------------------------------------------------------------

struct EntryFacts {
  int missing = 0;  // 0 when it exists, else the code its absence gives
  bool folder = false;
  bool read_only = false;
};

// Why the entry may not be deleted; a held folder stands for a write-protected disk.
inline int DeletionRefusal(const EntryFacts& entry, const std::string& host,
                           const std::string& host_folder) {
  if (entry.missing) return entry.missing;
  if (entry.folder) return kAccessDenied;
  if (IsHeld(host)) return kSharingViolation;
  return entry.read_only || IsHeld(host_folder) ? kAccessDenied : 0;
}

// Why a rename may not replace the existing entry at host.
inline int ReplaceRefusal(const EntryFacts& target, const std::string& host,
                          bool replace_existing) {
  if (!replace_existing) return kAlreadyExists;
  if (IsHeld(host)) return kSharingViolation;
  return target.folder || target.read_only ? kAccessDenied : 0;
}

// --- Search rules -------------------------------------------------------------------

// The item of the exact spelling, else the smallest one equal to it ignoring case (never
// depending on the disk's order); nullptr when none matches.
template <typename Item, typename NameOf>
const Item* ChooseSpelling(const std::vector<Item>& items, std::string_view name, NameOf name_of) {
  const Item* best = nullptr;
  for (const Item& item : items) {
    const std::string& candidate = name_of(item);
    if (candidate == name) return &item;
    if (EqualIgnoringAsciiCase(candidate, name) &&
        (best == nullptr || candidate < name_of(*best))) {
      best = &item;
    }
  }
  return best;
}

// --- Clock ------------------------------------------------------------------------

// "Jan".."Dec": the month names where the locale gives none.
const std::array<std::string, 12>& EnglishMonthNames();
// The user's month abbreviations as the system gives them (ShortMonthNames keeps them).
std::array<std::string, 12> ReadShortMonthNames();

// --- Host paths (absolute; on Windows full Windows paths) --------------------------

#ifdef _WIN32
inline constexpr char kHostSeparators[] = "\\/";
#else
inline constexpr char kHostSeparators[] = "/";
#endif

// The folder holding the entry ("." for a text without a separator).
std::string HostParent(const std::string& host_path);
inline std::string HostName(const std::string& host_path) {
  return host_path.substr(host_path.find_last_of(kHostSeparators) + 1);
}
inline std::string HostChild(const std::string& folder, const std::string& name) {
  if (!folder.empty() &&
      std::string_view(kHostSeparators).find(folder.back()) != std::string_view::npos) {
    return folder + name;
  }
  return folder + kHostSeparators[0] + name;
}
// True when host_path is root or lies below it; every path lies below "/".
bool HostPathWithin(const std::string& host_path, const std::string& root);

#ifndef _WIN32
// A Windows path on the host, with the stat data the look-up got on its way.
struct HostEntry {
  std::string path;
  bool exists = false;  // links followed: false for a missing entry or a dangling link
  struct stat st {};
  bool entry_exists = false;  // the entry itself (lstat), a dangling link too
  struct stat entry_st {};
};
std::optional<HostEntry> LookUpHostEntry(const std::string& windows_path);

// The same look-up, with the path also as Windows text; both in the disk's spelling.
struct ResolvedPath {
  HostEntry host;
  std::string windows;
};
std::optional<ResolvedPath> ResolvePath(const std::string& windows_path);
int EnterResolvedFolder(const ResolvedPath& folder);  // TrySetCurrentDir, looked up already
// Where the current directory was entered, when windows_path is it (a walk need not look
// up the folder it just entered).
std::optional<std::string> HostPathOfCurrentDir(const std::string& windows_path);

// The code of a failed call on host_path: ENOENT is 3 when the folder is missing, else 2.
int HostErrorCode(const std::string& host_path, int posix_errno);
// A regular file without the owner's write permission.
bool IsReadOnly(const struct stat& st);
// Read-only clears every write permission, its absence gives the owner's back.
mode_t ModeWithAttributes(mode_t mode, std::uint32_t attributes);
// Attributes of the entry `name` (neither file nor folder: a system entry).
std::uint32_t AttributesOf(const std::string& name, const struct stat& st);

// The entry of host_folder named `name` in another letter case, as ChooseSpelling takes it,
// read at host_folder or, when folder_fd >= 0, through it.
std::optional<std::string> FindEntryIgnoringCase(const std::string& host_folder,
                                                 const std::string& name, int folder_fd = -1);

// Calls each(name, d_type) for every name but "." and "..", read at host_folder or, when
// folder_fd >= 0, through it; 0 or the folder's code.
int ReadHostFolder(const std::string& host_folder, int folder_fd,
                   const std::function<void(std::string_view, unsigned char)>& each);

std::string RealHostPath(const std::string& host_path);  // links followed; empty when none

#endif  // _WIN32

// --- Searches and walks: each system's side (posix/find.cpp, win32/find.cpp) ----------

// A folder read for a search: its names but "." and "..", and a name's record ("." and
// ".." too; without name), nullopt for an entry gone since.
class SearchFolder {
 public:
  virtual ~SearchFolder() = default;
  virtual std::optional<SearchRec> RecordOf(const std::string& name) const = 0;
  std::vector<std::string> names;
};
// 0, or the code of a folder that cannot be read (3 missing).
int ReadSearchFolder(const std::string& full_folder, std::unique_ptr<SearchFolder>* out);
// The entries in the disk's order, without "." and ".."; 0 or the code.
int ReadWalkFolder(const std::string& folder, std::vector<WalkListing::Entry>* entries);

using FileKey = std::pair<unsigned long long, unsigned long long>;  // device (volume), inode
// A folder a walk may enter; Windows enters no reparse point.
struct WalkTarget {
  FileKey key;
  bool through_link = false;
#ifndef _WIN32
  ResolvedPath resolved;
#endif
};
std::optional<WalkTarget> WalkTargetOf(const std::string& path);  // nullopt: no folder
bool EnterWalkTarget(const WalkTarget& target, const std::string& path);
std::optional<FileKey> HostFolderKey(const std::string& host_folder);

}  // namespace platform::detail
