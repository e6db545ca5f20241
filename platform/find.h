// Directory searches (find first / find next / end) and walks that never loop.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// True when Windows can hold the name: not empty, none of \ / : * ? " < > | or a control
// character, no trailing dot or space, no device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// any case, with or without an extension). On every system, so that backups move across.
bool IsWindowsName(std::string_view name);

struct SearchRec {
  std::string name;       // as the disk spells it
  std::int64_t size = 0;  // 0 for folders
  std::uint32_t attributes = 0;
  std::uint32_t dos_time = 0;  // last-write time, local, DOS packed
  // False when the name cannot exist on Windows: callers must report it, not drop it.
  bool valid_windows_name = true;
};

// A search of one folder ("C:\ICQ\*.*"), without letter case. Hidden, system and folder
// entries come only when the mask has them; a name without wildcards finds at most the entry
// a path look-up takes. "." and ".." first (but in a drive root), then by upper case.
class DirectorySearch {
 public:
  // 0 and the first entry in *rec, or 3 when the folder is missing, 2 when no name matches,
  // 18 when the mask excludes all that do. One open operation.
  [[nodiscard]] int FindFirst(const std::string& pattern, std::uint32_t attribute_mask,
                              SearchRec* rec);
  // 0 and the next entry, or 18 when there are no more.
  [[nodiscard]] int FindNext(SearchRec* rec);

 private:
  std::vector<SearchRec> entries_;
  std::size_t next_ = 0;
};

inline constexpr int kNoMoreFiles = 18;

// A folder read once for a walk that tells folders from files (a link is what it leads to).
class WalkListing {
 public:
  enum class Kind { kFolder, kFile, kOther };  // kFile: a regular file
  struct Entry {
    std::string name;  // as the disk spells it
    Kind kind;
  };

  // 0, or the code FindFirst gives (3 missing, 5 not readable). One open operation.
  int Read(const std::string& folder);
  // The folders, in the order of a "*.*" directory search.
  const std::vector<std::string>& Folders() const { return folders_; }
  // The entry a path look-up of `name` takes; nullptr when none.
  const Entry* LookUp(std::string_view name) const;

 private:
  std::vector<Entry> entries_;  // in the disk's order
  std::vector<std::string> folders_;
};

// Remembers the folders a walk has entered, so that a link back up the tree is met as
// visited. Windows never enters a reparse point.
class WalkGuard {
 public:
  enum class Enter { kEntered, kAlreadyVisited, kCannotEnter };

  // With stay_on_device, no folder of another file system than the first one entered, no
  // other drive's root, no folder whose real path lies in another drive.
  explicit WalkGuard(bool stay_on_device = false);

  // Makes the folder the current directory; anything but kEntered leaves it as it was.
  Enter TryEnter(const std::string& path);

 private:
  using FileKey = std::pair<unsigned long long, unsigned long long>;  // device, inode
  void RememberOtherDriveRoots(const std::string& first_path);
  bool BelongsToAnotherDrive(const std::string& host_path) const;  // POSIX only

  bool stay_on_device_;
  bool have_device_ = false;
  unsigned long long device_ = 0;
  std::set<FileKey> visited_;
  std::set<FileKey> other_drive_roots_;
  std::string own_real_root_;                  // host path, links followed
  std::vector<std::string> real_drive_roots_;  // every drive's, links followed
};

}  // namespace platform
