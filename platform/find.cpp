// Searches and walks with Windows rules, over each system's folder listing (posix/find.cpp,
// win32/find.cpp).
#include "platform/find.h"

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {
namespace {

// Attributes that keep an entry out of a search unless the mask asks for them.
constexpr std::uint32_t kSpecialAttributes = faHidden | faSysFile | faVolumeID | faDirectory;

}  // namespace

int DirectorySearch::FindFirst(const std::string& pattern, std::uint32_t attribute_mask,
                               SearchRec* rec) {
  entries_.clear();
  next_ = 0;
  if (int fault = detail::BeginOperation(detail::Operation::kOpen)) return fault;
  const detail::SearchPattern split = detail::SplitSearchPattern(pattern);
  if (split.name.empty()) return kFileNotFound;
  const std::string full_folder = ExpandFileName(split.folder);
  std::unique_ptr<detail::SearchFolder> folder;
  if (int read = detail::ReadSearchFolder(full_folder, &folder)) return read;
  std::vector<std::string> names = std::move(folder->names);
  detail::SortInSearchOrder(names);
  const bool drive_root = full_folder.size() == 3 && full_folder[1] == ':';
  if (!drive_root) names.insert(names.begin(), {".", ".."});
  detail::KeepOnlyTheLookedUpName(names, split.name);
  bool any_name_matched = false;
  for (const std::string& name : names) {
    if (!detail::NameMatches(split.name, name)) continue;
    any_name_matched = true;
    std::optional<SearchRec> entry = folder->RecordOf(name);  // nullopt: gone since the listing
    if (!entry || (entry->attributes & ~attribute_mask & kSpecialAttributes) != 0) continue;
    entry->name = name;
    entry->valid_windows_name = detail::ValidWindowsName(name);
    entries_.push_back(std::move(*entry));
  }
  if (entries_.empty()) return any_name_matched ? kNoMoreFiles : kFileNotFound;
  return FindNext(rec);
}

int DirectorySearch::FindNext(SearchRec* rec) {
  if (next_ >= entries_.size()) return kNoMoreFiles;
  *rec = entries_[next_++];
  return 0;
}

int WalkListing::Read(const std::string& folder) {
  entries_.clear();
  folders_.clear();
  if (int fault = detail::BeginOperation(detail::Operation::kOpen)) return fault;
  if (int read = detail::ReadWalkFolder(folder, &entries_)) {
    entries_.clear();
    return read;
  }
  for (const Entry& entry : entries_) {
    if (entry.kind == Kind::kFolder) folders_.push_back(entry.name);
  }
  // Only the folders are walked in order; files are only looked up.
  detail::SortInSearchOrder(folders_);
  return 0;
}

const WalkListing::Entry* WalkListing::LookUp(std::string_view name) const {
  return detail::ChooseSpelling(
      entries_, name, [](const Entry& entry) -> const std::string& { return entry.name; });
}

WalkGuard::WalkGuard(bool stay_on_device) : stay_on_device_(stay_on_device) {}

WalkGuard::Enter WalkGuard::TryEnter(const std::string& path) {
  std::optional<detail::WalkTarget> target = detail::WalkTargetOf(path);
  if (!target) return Enter::kCannotEnter;
  const FileKey& key = target->key;
  if (stay_on_device_) {
    if (!have_device_) {
      have_device_ = true;
      device_ = key.first;
      RememberOtherDriveRoots(path);
    } else if (key.first != device_) {
      return Enter::kCannotEnter;
    }
    if (other_drive_roots_.count(key) != 0) return Enter::kCannotEnter;
#ifndef _WIN32
    // Below a folder the walk entered, only a link can lead into another drive.
    if (target->through_link && BelongsToAnotherDrive(target->resolved.host.path)) {
      return Enter::kCannotEnter;
    }
#endif
  }
  if (visited_.count(key) != 0) return Enter::kAlreadyVisited;
  if (!detail::EnterWalkTarget(*target, path)) return Enter::kCannotEnter;
  visited_.insert(key);
  return Enter::kEntered;
}

// The roots of the other drives, when they are folders of this drive's device (drives a
// test table makes of folders, or letters given to folders with subst).
void WalkGuard::RememberOtherDriveRoots(const std::string& first_path) {
  const std::string full = ExpandFileName(first_path);
  const char own = full.size() >= 2 && full[1] == ':' ? AsciiUpper(full[0]) : '\0';
  FileKey own_root{0, 0};  // no folder's
  for (const DriveMapping& drive : Drives()) {
    std::optional<FileKey> key;
    if (drive.letter == own && (key = detail::HostFolderKey(drive.host_root))) own_root = *key;
#ifndef _WIN32
    if (key) own_real_root_ = detail::RealHostPath(drive.host_root);
    if (std::string real = detail::RealHostPath(drive.host_root); !real.empty()) {
      real_drive_roots_.push_back(std::move(real));
    }
#endif
  }
  for (const DriveMapping& drive : Drives()) {
    if (drive.letter == own) continue;
    // Two letters over one folder are one drive: its root is no foreign mount point.
    std::optional<FileKey> root = detail::HostFolderKey(drive.host_root);
    if (root && *root != own_root) other_drive_roots_.insert(*root);
  }
}

#ifndef _WIN32
// A host path belongs to the drive whose real root is the longest prefix of its real
// path; letters over one folder are one drive.
bool WalkGuard::BelongsToAnotherDrive(const std::string& host_path) const {
  if (own_real_root_.empty()) return false;
  const std::string real = detail::RealHostPath(host_path);
  if (real.empty()) return false;
  const std::string* owner = nullptr;
  for (const std::string& root : real_drive_roots_) {
    const bool longer = owner == nullptr || root.size() > owner->size();
    if (longer && detail::HostPathWithin(real, root)) owner = &root;
  }
  return owner != nullptr && *owner != own_real_root_;
}
#endif

}  // namespace platform
