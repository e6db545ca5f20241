// Searches and walks with Windows rules, over each system's folder listing (posix/find.cpp,
// win32/find.cpp). How a search matches and orders names is the same on every system, so
// that a backup numbers its files alike wherever it runs.
#include "platform/find.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {
namespace {

// Attributes that keep an entry out of a search unless the mask asks for them.
constexpr std::uint32_t kSpecialAttributes = faHidden | faSysFile | faVolumeID | faDirectory;

// "*" any run of characters, "?" one character; letters compared without case.
bool GlobMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || AsciiUpper(pattern[p]) == AsciiUpper(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// As the Windows search matches names: "*.*" every name, and a pattern ending in "." also
// matches names without an extension ("*." finds "README").
bool NameMatches(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (GlobMatch(pattern, name)) return true;
  return pattern.size() > 1 && pattern.back() == '.' && name.find('.') == std::string_view::npos &&
         GlobMatch(pattern.substr(0, pattern.size() - 1), name);
}

// "C:\ICQ\*.*" gives the folder "C:\ICQ" and the names "*.*", "C:*.*" gives "C:", "*.*" ".".
std::pair<std::string, std::string> SplitSearchPattern(const std::string& pattern) {
  const std::size_t cut = pattern.find_last_of("\\/");
  if (cut != std::string::npos) {
    return {cut == 0 ? pattern.substr(0, 1) : pattern.substr(0, cut), pattern.substr(cut + 1)};
  }
  if (pattern.size() >= 2 && pattern[1] == ':') return {pattern.substr(0, 2), pattern.substr(2)};
  return {".", pattern};
}

// Upper-case names byte by byte, as NTFS orders a folder; the spelling breaks ties.
void SortInSearchOrder(std::vector<std::string>& names) {
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) keyed.emplace_back(AsciiUpper(name), std::move(name));
  std::sort(keyed.begin(), keyed.end());
  names.clear();
  for (auto& [upper, name] : keyed) names.push_back(std::move(name));
}

}  // namespace

bool IsWindowsName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  // Windows takes a device name before any extension, and blanks after it, for the device.
  std::string base = AsciiUpper(name.substr(0, name.find('.')));
  base.erase(base.find_last_not_of(' ') + 1);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return false;
  return !(base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9');
}

int DirectorySearch::FindFirst(const std::string& pattern, std::uint32_t attribute_mask,
                               SearchRec* rec) {
  entries_.clear();
  next_ = 0;
  if (int fault = detail::BeginOperation(detail::Operation::kOpen)) return fault;
  const auto [folder_part, name_pattern] = SplitSearchPattern(pattern);
  if (name_pattern.empty()) return kFileNotFound;
  const std::string full_folder = ExpandFileName(folder_part);
  std::unique_ptr<detail::SearchFolder> folder;
  if (int read = detail::ReadSearchFolder(full_folder, &folder)) return read;
  std::vector<std::string> names = std::move(folder->names);
  SortInSearchOrder(names);
  const bool drive_root = full_folder.size() == 3 && full_folder[1] == ':';
  if (!drive_root) names.insert(names.begin(), {".", ".."});
  // A name without wildcards is a look-up: only the name ChooseSpelling takes stays.
  if (name_pattern.find_first_of("*?") == std::string::npos) {
    const std::string* chosen = detail::ChooseSpelling(
        names, name_pattern, [](const std::string& name) -> const std::string& { return name; });
    names = chosen ? std::vector<std::string>{*chosen} : std::vector<std::string>{};
  }
  bool any_name_matched = false;
  for (const std::string& name : names) {
    if (!NameMatches(name_pattern, name)) continue;
    any_name_matched = true;
    std::optional<SearchRec> entry = folder->RecordOf(name);  // nullopt: gone since the listing
    if (!entry || (entry->attributes & ~attribute_mask & kSpecialAttributes) != 0) continue;
    entry->name = name;
    entry->valid_windows_name = name == "." || name == ".." || IsWindowsName(name);
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
  SortInSearchOrder(folders_);
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
  std::optional<FileKey> own_root;
  for (const DriveMapping& drive : Drives()) {
    const std::optional<FileKey> key = detail::HostFolderKey(drive.host_root);
#ifndef _WIN32
    if (key && drive.letter == own) own_real_root_ = detail::RealHostPath(drive.host_root);
    if (std::string real = detail::RealHostPath(drive.host_root); !real.empty()) {
      real_drive_roots_.push_back(std::move(real));
    }
#endif
    if (key && drive.letter == own) own_root = key;
    if (key && drive.letter != own) other_drive_roots_.insert(*key);
  }
  // Two letters over one folder are one drive: its root is no foreign mount point.
  if (own_root) other_drive_roots_.erase(*own_root);
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
