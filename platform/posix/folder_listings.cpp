#include "platform/folder_listings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <unordered_map>

#include "platform/ascii.h"
#include "platform/internal.h"

namespace platform {
namespace detail {
namespace {

// Names kept over all folders (about 15 MB) before the least recently used are dropped.
constexpr std::size_t kMostKeptNames = 100000;

// What tells one state of a folder from the next: its identity, modified and changed times.
struct Stamp {
  dev_t device;
  ino_t inode;
  time_t modified, changed;
  long modified_ns, changed_ns;
  bool operator==(const Stamp&) const = default;
};

Stamp StampOfStat(const struct stat& st) {
  return {st.st_dev,         st.st_ino,          st.st_mtim.tv_sec,
          st.st_ctim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_nsec};
}

std::optional<Stamp> StampOf(const std::string& host_folder) {
  struct stat st;
  if (::stat(host_folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return StampOfStat(st);
}

struct Listing {
  Stamp stamp;
  std::unordered_multimap<std::string, std::string> names;  // upper-cased -> on disk
  std::uint64_t last_use = 0;
  // The file operation during which the stamp was last found current (see BeginOperation).
  long long checked_in_operation = -1;

  std::optional<std::string> Find(const std::string& name) const {
    const auto [first, last] = names.equal_range(AsciiUpper(name));
    if (first == last) return std::nullopt;
    return std::min_element(first, last,
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->second;
  }
  // The entry of this very spelling, or names.end().
  auto Entry(const std::string& name) {
    auto [it, last] = names.equal_range(AsciiUpper(name));
    while (it != last && it->second != name) ++it;
    return it == last ? names.end() : it;
  }
  void Add(const std::string& name) {
    if (Entry(name) == names.end()) names.emplace(AsciiUpper(name), name);
  }
  void Remove(const std::string& name) {
    if (auto it = Entry(name); it != names.end()) names.erase(it);
  }
};

struct Kept {
  int keepers = 0;
  std::uint64_t uses = 0;
  std::unordered_map<std::string, Listing> folders;  // by host path
};

const std::thread::id kFirstThread = std::this_thread::get_id();

// Kept for the first thread only (nullptr on any other), so that no look-up needs a lock:
// the backup's workers find their files by their exact names.
Kept* TheKept() {
  static Kept kept;
  return std::this_thread::get_id() == kFirstThread ? &kept : nullptr;
}

std::optional<std::string> ScanFolder(const std::string& host_folder, const std::string& name,
                                      int folder_fd = -1) {
  std::optional<std::string> best;
  ReadHostFolder(host_folder, folder_fd, [&](std::string_view candidate, unsigned char) {
    if (EqualIgnoringAsciiCase(candidate, name) && (!best || candidate < *best)) {
      best = std::string(candidate);
    }
  });
  return best;
}

void DropLeastUsedBeyondMost(Kept& kept) {
  std::size_t count = 0;
  for (const auto& [folder, listing] : kept.folders) count += listing.names.size();
  while (count > kMostKeptNames && !kept.folders.empty()) {
    const auto oldest = std::min_element(
        kept.folders.begin(), kept.folders.end(),
        [](const auto& a, const auto& b) { return a.second.last_use < b.second.last_use; });
    count -= oldest->second.names.size();
    kept.folders.erase(oldest);
  }
}

// The folder's listing as it stands, read again when the folder changed; nullptr when
// it cannot be read or is too large to keep.
Listing* CurrentListing(Kept& kept, const std::string& host_folder, const struct stat* folder_stat,
                        int folder_fd = -1) {
  const std::optional<Stamp> stamp = folder_stat && S_ISDIR(folder_stat->st_mode)
                                         ? StampOfStat(*folder_stat)
                                         : StampOf(host_folder);
  if (!stamp) {
    kept.folders.erase(host_folder);
    return nullptr;
  }
  auto found = kept.folders.find(host_folder);
  if (found != kept.folders.end() && found->second.stamp == *stamp) {
    found->second.last_use = ++kept.uses;
    found->second.checked_in_operation = g_thread_system.operations;
    return &found->second;
  }
  // Stamped before reading: a change during the read makes the next look read again.
  Listing fresh{*stamp, {}, ++kept.uses, g_thread_system.operations};
  const int read =
      ReadHostFolder(host_folder, folder_fd, [&](std::string_view name, unsigned char) {
        fresh.names.emplace(AsciiUpper(name), std::string(name));
      });
  if (read != 0 || fresh.names.size() > kMostKeptNames) {
    kept.folders.erase(host_folder);
    return nullptr;
  }
  kept.folders[host_folder] = std::move(fresh);
  DropLeastUsedBeyondMost(kept);
  auto now = kept.folders.find(host_folder);
  return now == kept.folders.end() ? nullptr : &now->second;
}

}  // namespace

std::optional<std::string> FindEntryIgnoringCase(const std::string& host_folder,
                                                 const std::string& name,
                                                 const struct stat* folder_stat) {
  Kept* kept = TheKept();
  const Listing* listing =
      kept && kept->keepers > 0 ? CurrentListing(*kept, host_folder, folder_stat) : nullptr;
  return listing ? listing->Find(name) : ScanFolder(host_folder, name);
}

std::optional<std::string> FindEntryInOpenFolder(int folder_fd, const std::string& host_folder,
                                                 const std::string& name) {
  Kept* kept = TheKept();
  struct stat st;
  const Listing* listing = kept && kept->keepers > 0 && ::fstat(folder_fd, &st) == 0
                               ? CurrentListing(*kept, host_folder, &st, folder_fd)
                               : nullptr;
  return listing ? listing->Find(name) : ScanFolder(host_folder, name, folder_fd);
}

FolderChange::FolderChange(const std::string& host_entry) {
  Kept* kept = TheKept();
  if (!kept || kept->keepers == 0 || kept->folders.empty()) return;
  if (host_entry.find('/') == std::string::npos) return;
  folder_ = HostParent(host_entry);
  name_ = HostName(host_entry);
  auto found = kept->folders.find(folder_);
  if (found == kept->folders.end()) return;
  // Unless found current by the look-up of the path this very operation changes, a folder
  // changed by someone else since it was read cannot take the change to come.
  if (found->second.checked_in_operation != g_thread_system.operations &&
      StampOf(folder_) != found->second.stamp) {
    kept->folders.erase(found);
    return;
  }
  tracked_ = true;
}

void FolderChange::Added() { Apply(nullptr, &name_); }
void FolderChange::Removed() { Apply(&name_, nullptr); }
void FolderChange::Renamed(const std::string& new_name) { Apply(&name_, &new_name); }

void FolderChange::Apply(const std::string* removed, const std::string* added) {
  if (!tracked_) return;
  tracked_ = false;
  Kept& kept = *TheKept();  // tracked only where there is one
  auto found = kept.folders.find(folder_);
  if (found == kept.folders.end()) return;
  const std::optional<Stamp> stamp = StampOf(folder_);
  if (!stamp) {
    kept.folders.erase(found);
    return;
  }
  if (removed) found->second.Remove(*removed);
  if (added) found->second.Add(*added);
  found->second.stamp = *stamp;
}

}  // namespace detail

KeepFolderListings::KeepFolderListings() {
  if (detail::Kept* kept = detail::TheKept()) ++kept->keepers;
}

KeepFolderListings::~KeepFolderListings() {
  detail::Kept* kept = detail::TheKept();
  if (kept && --kept->keepers == 0) kept->folders.clear();
}

}  // namespace platform
