// Helpers shared by the platform layer's own .cpp files; nothing outside platform/
// includes this.
// The first part holds on every system; the POSIX layer's look-up helpers follow it, and
// the Win32 layer's own are in platform/win32/win32_internal.h.
#pragma once

#include <array>
#include <cstdint>
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
// root put in the system's form by normalize_root.
std::vector<DriveMapping> SortedDriveTable(std::vector<DriveMapping> table,
                                           std::string (*normalize_root)(std::string));

// --- The drive table and current directory (drive_table.cpp) --------------------------

// The layer's process-wide state: one drive table and one current directory, as the
// operating system it stands in for keeps them.
struct LayerState {
  bool table_installed = false;  // a test's table, or one adopted from a parent
  bool system_read = false;      // the system's own table, read once
  std::vector<DriveMapping> drives;
  bool cwd_known = false;
  std::string cwd;       // Windows path text, disk spelling, "C:\" at a root
  std::string cwd_host;  // POSIX: the host folder cwd was entered at; empty when not entered
};
LayerState& State();
const DriveMapping* FindDrive(char letter);  // nullptr for a letter without a drive

// The system's side of it (posix/drives.cpp, win32/drives.cpp).
std::vector<DriveMapping> SystemDriveTable();
// A drive root in the system's form, for SortedDriveTable.
std::string NormalizeRoot(std::string root);
// The process's working folder as the system names it; nullopt when it no longer exists.
std::optional<std::string> HostWorkingFolder();
// Enters a folder as the current directory; 0 or the code ChangeDir raises. One open
// operation for the system seam.
int TrySetCurrentDir(const std::string& path);
// Bytes free for the user on the file system holding host_root; nullopt when unknown.
std::optional<unsigned long long> HostFreeSpace(const std::string& host_root);

// --- Refusals -----------------------------------------------------------------------

// What the refusals below need to know of an entry.
struct EntryFacts {
  int missing = 0;  // 0 when it exists, else the code its absence gives
  bool folder = false;
  bool read_only = false;
};

// What refuses the deletion of the entry at host, in host_folder, before the system is
// asked: missing, a folder, held open, read-only, or in a held folder (the stand-in for
// one on a write-protected disk, since tests run as root).
inline int DeletionRefusal(const EntryFacts& entry, const std::string& host,
                           const std::string& host_folder) {
  if (entry.missing) return entry.missing;
  if (entry.folder) return kAccessDenied;
  if (IsHeld(host)) return kSharingViolation;
  if (entry.read_only) return kAccessDenied;
  if (IsHeld(host_folder)) return kAccessDenied;
  return 0;
}

// What refuses a rename onto the existing entry at host: it may not be replaced, is
// held open, is a folder or is read-only.
inline int ReplaceRefusal(const EntryFacts& target, const std::string& host,
                          bool replace_existing) {
  if (!replace_existing) return kAlreadyExists;
  if (IsHeld(host)) return kSharingViolation;
  if (target.folder || target.read_only) return kAccessDenied;
  return 0;
}

// --- Search rules -------------------------------------------------------------------

// False when the name holds \ : * ? " < > | or a control character.
bool ValidWindowsName(std::string_view name);

// As the Windows search matches names, letters without case: "*" any run, "?" one
// character, "*.*" every name, and a pattern ending in "." also matches names without
// an extension ("*." finds "README").
bool NameMatches(std::string_view pattern, std::string_view name);

// A search pattern's folder part and name pattern: "C:\ICQ\*.*" gives "C:\ICQ" and
// "*.*", "C:*.*" gives "C:", "*.*" gives ".".
struct SearchPattern {
  std::string folder;
  std::string name;
};
SearchPattern SplitSearchPattern(const std::string& pattern);

// A name pattern without wildcards is a look-up: of the names (in search order) only the
// one every path look-up of it takes stays (ChooseSpelling below), or none.
void KeepOnlyTheLookedUpName(std::vector<std::string>& names, const std::string& name_pattern);

// Upper-case names byte by byte, as NTFS orders a folder; the disk's spelling breaks
// ties so that the order never depends on how the disk lists them.
void SortInSearchOrder(std::vector<std::string>& names);

// The item whose name is the exact spelling, else the one whose name is the smallest
// equal to it ignoring case (so the choice never depends on the order the disk lists
// them); nullptr when none matches.
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

// --- Host paths -------------------------------------------------------------------
// Host paths are absolute: "/", or "/" and components each after one "/". On Windows
// they are full Windows paths ("C:\Temp\x"), where "\" and "/" both separate and
// letters compare without case.

// The folder holding the entry: "/" for an entry of the root ("." for a text without "/").
std::string HostParent(const std::string& host_path);

// The entry's own name: the text after the last "/" (all of it without one).
std::string HostName(const std::string& host_path);

// folder + "/" + name, with no second "/" after a folder that ends in one ("/").
std::string HostChild(const std::string& folder, const std::string& name);

// True when host_path is root or lies below it; every path lies below "/".
bool HostPathWithin(const std::string& host_path, const std::string& root);

#ifndef _WIN32
// Windows path text to host path, or nullopt (a UNC path, an unknown drive).
// Same as ToHostPath; named here so the .cpp files read alike.
std::optional<std::string> HostPathOf(const std::string& windows_path);

// A Windows path on the host, with the stat data that the look-up got on its way.
struct HostEntry {
  std::string path;
  bool exists = false;  // links followed: false for a missing entry or a dangling link
  struct stat st {};
  bool entry_exists = false;  // the entry itself (lstat), a dangling link too
  struct stat entry_st {};
};
std::optional<HostEntry> LookUpHostEntry(const std::string& windows_path);

// The same look-up with the path as Windows text in the disk's spelling, for a caller
// that checks a folder before it enters it.
struct ResolvedPath {
  HostEntry host;       // host path, components in the disk's spelling, and its data
  std::string windows;  // the same path as Windows text, in the disk's spelling
};
std::optional<ResolvedPath> ResolvePath(const std::string& windows_path);
// Makes the resolved folder the current directory as SetCurrentDir does, without a
// second look-up: 0 or the code ChangeDir raises; one open operation for the fault hook.
int EnterResolvedFolder(const ResolvedPath& folder);
// The host folder that the current directory was entered at, when windows_path is the
// current directory in the same spelling (the drive letter in either case); nullopt
// otherwise. Saves a walk the look-up of the folder it has just entered.
std::optional<std::string> HostPathOfCurrentDir(const std::string& windows_path);

// Windows error code for a failed host call on host_path: ENOENT becomes 3 when the
// folder that should hold the entry is missing, else 2; the rest as ErrorCodeFromErrno.
int HostErrorCode(const std::string& host_path, int posix_errno);

// A regular file whose owner write permission is missing: the read-only attribute.
bool IsReadOnly(const struct stat& st);

// The permission bits `mode` takes for the attributes: read-only clears every write
// permission, its absence gives the owner's back.
mode_t ModeWithAttributes(mode_t mode, std::uint32_t attributes);

// Attribute bits of an entry named `name` with the stat data st (dangling links and
// other non-file, non-folder entries are system entries).
std::uint32_t AttributesOf(const std::string& name, const struct stat& st);

// The entry of host_folder whose name equals `name` ignoring ASCII letter case: the
// smallest such name when there are several, so the choice never depends on the order
// the disk lists them. Answered from a kept listing while KeepFolderListings lives;
// folder_stat, when given, is the folder's stat data as just read.
std::optional<std::string> FindEntryIgnoringCase(const std::string& host_folder,
                                                 const std::string& name,
                                                 const struct stat* folder_stat = nullptr);
// The same for a folder held open (folder_handle.h), read through its descriptor;
// host_folder names where it was opened, for the kept listing.
std::optional<std::string> FindEntryInOpenFolder(int folder_fd, const std::string& host_folder,
                                                 const std::string& name);

// Keeps a kept listing of the folder holding host_entry current across one change the
// layer makes there: made just before the change, told after it succeeded.
class FolderChange {
 public:
  explicit FolderChange(const std::string& host_entry);
  void Added();
  void Removed();
  void Renamed(const std::string& new_name);  // within the same folder

 private:
  void Apply(const std::string* removed, const std::string* added);

  std::string folder_;
  std::string name_;
  bool tracked_ = false;
};

// The real host path, every link followed; empty when it cannot be found.
std::string RealHostPath(const std::string& host_path);

// The drive-table root (host path) that is the longest prefix of host_path, with its
// letter; nullopt when no drive holds it.
struct DriveMatch {
  char letter;
  std::string root;
};
std::optional<DriveMatch> DriveOfHostPath(const std::string& host_path);

#endif  // _WIN32

// --- Searches and walks: each system's side (posix/find.cpp, win32/find.cpp) ----------

// A folder read for a search: its names but "." and "..", and a name's record ("." and
// ".." too; name and valid_windows_name left out), nullopt for an entry gone since.
class SearchFolder {
 public:
  virtual ~SearchFolder() = default;
  virtual std::optional<SearchRec> RecordOf(const std::string& name) const = 0;
  std::vector<std::string> names;
};
// 0, or the code of a folder that cannot be read (3 missing).
int ReadSearchFolder(const std::string& full_folder, std::unique_ptr<SearchFolder>* out);
// The folder's entries in the disk's order, "." and ".." left out; 0 or the code.
int ReadWalkFolder(const std::string& folder, std::vector<WalkListing::Entry>* entries);

// Device (volume) and inode (file index): what tells one folder from every other.
using FolderKey = std::pair<unsigned long long, unsigned long long>;
// A folder a walk may enter; Windows enters no reparse point.
struct WalkTarget {
  FolderKey key;
  bool through_link = false;
#ifndef _WIN32
  ResolvedPath resolved;
#endif
};
std::optional<WalkTarget> WalkTargetOf(const std::string& path);  // nullopt: no folder
// Makes the folder the current directory, as SetCurrentDir does.
bool EnterWalkTarget(const WalkTarget& target, const std::string& path);
std::optional<FolderKey> HostFolderKey(const std::string& host_folder);

}  // namespace platform::detail
