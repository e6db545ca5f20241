// Directory searches (find first / find next / end) and walks that never loop.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct SearchRec {
  std::string name;             // as the disk spells it
  std::int64_t size = 0;        // 0 for folders
  std::uint32_t attributes = 0;
  std::uint32_t dos_time = 0;   // last-write time, local, DOS packed
  // False when the name cannot exist on Windows (\ : * ? " < > | or a control
  // character): callers that store names must report it rather than drop it.
  bool valid_windows_name = true;
};

// A search over one folder. The pattern is a folder path followed by a name that may
// hold "*" and "?" ("C:\ICQ\*.*", "C:\Backup\icqlist.txt"), matched case-insensitively.
// Entries with the hidden, system or directory attribute are returned only when the
// mask includes that attribute. "." and ".." come first in every folder but a drive
// root; then the entries ordered by their upper-case names, byte by byte.
class DirectorySearch {
 public:
  DirectorySearch();
  ~DirectorySearch();  // ends the search
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  // 0 and the first entry in *rec, or an error code (2 when nothing matches).
  int FindFirst(const std::string& pattern, std::uint32_t attribute_mask, SearchRec* rec);
  // 0 and the next entry, or 18 when there are no more.
  int FindNext(SearchRec* rec);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

inline constexpr int kNoMoreFiles = 18;

// Remembers the folders a walk has entered, by device and inode, so that a link back
// up the tree is met as a folder already visited instead of being entered again.
class WalkGuard {
 public:
  enum class Enter { kEntered, kAlreadyVisited, kCannotEnter };

  // With stay_on_device, folders on another file system than the first one entered
  // (and the mount points of other drives) answer kCannotEnter.
  explicit WalkGuard(bool stay_on_device = false);

  // Tries to make the folder the current directory. kCannotEnter leaves the current
  // directory as it was; so does kAlreadyVisited.
  Enter TryEnter(const std::string& path);

 private:
  bool stay_on_device_;
  bool have_device_ = false;
  unsigned long long device_ = 0;
  std::set<std::pair<unsigned long long, unsigned long long>> visited_;
};

}  // namespace platform
