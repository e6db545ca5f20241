#include "platform/find.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {
namespace {

// Attributes that keep an entry out of a search unless the mask asks for them.
constexpr std::uint32_t kSpecialAttributes = faHidden | faSysFile | faVolumeID | faDirectory;

using detail::ChooseSpelling;
using detail::NameMatches;
using detail::SortInSearchOrder;
using detail::ValidWindowsName;

bool StatEntry(const std::string& host_path, struct stat* st) {
  return ::stat(host_path.c_str(), st) == 0 || ::lstat(host_path.c_str(), st) == 0;
}

// Calls each(name, d_type) for every name of the folder but "." and ".."; the type is
// the folder's own (DT_UNKNOWN when the file system gives none). 0, or the code of a
// folder that cannot be read.
template <typename Each>
int ReadFolderNames(const std::string& host_folder, Each each) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(host_folder.c_str()), ::closedir);
  if (!dir) {
    return errno == ENOENT || errno == ENOTDIR ? kInvalidFilename : ErrorCodeFromErrno(errno);
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") each(name, entry->d_type);
  }
  return 0;
}

const std::string& WalkEntryName(const WalkListing::Entry& entry) { return entry.name; }

WalkListing::Kind KindOfStat(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return WalkListing::Kind::kFolder;
  if (S_ISREG(st.st_mode)) return WalkListing::Kind::kFile;
  return WalkListing::Kind::kOther;
}

}  // namespace

struct DirectorySearch::State {
  std::vector<SearchRec> entries;
  std::size_t next = 0;
};

DirectorySearch::DirectorySearch() = default;
DirectorySearch::~DirectorySearch() = default;

int DirectorySearch::FindFirst(const std::string& pattern, std::uint32_t attribute_mask,
                               SearchRec* rec) {
  state_ = std::make_unique<State>();
  if (int fault = detail::BeginOperation(detail::Operation::kOpen)) return fault;

  const detail::SearchPattern split = detail::SplitSearchPattern(pattern);
  const std::string& name_pattern = split.name;
  if (name_pattern.empty()) return kFileNotFound;

  const std::string full_folder = ExpandFileName(split.folder);
  const bool drive_root = full_folder.size() == 3 && full_folder[1] == ':';
  std::vector<std::string> listed;
  const auto read_at = [&](const std::string& host) {
    listed.clear();
    return ReadFolderNames(
        host, [&](std::string_view name, unsigned char) { listed.emplace_back(name); });
  };
  // The folder a walk has just entered is where it was entered, unless it has gone
  // from there since.
  std::optional<std::string> host = detail::HostPathOfCurrentDir(full_folder);
  if (!host || read_at(*host) != 0) {
    host = ToHostPath(full_folder);
    if (!host) return kInvalidFilename;
    if (const int read = read_at(*host); read != 0) return read;
  }
  SortInSearchOrder(listed);
  std::vector<std::string> names;
  names.reserve(listed.size() + 2);
  if (!drive_root) {
    names.emplace_back(".");
    names.emplace_back("..");
  }
  for (std::string& name : listed) names.push_back(std::move(name));

  detail::KeepOnlyTheLookedUpName(names, name_pattern);

  bool any_name_matched = false;
  for (const std::string& name : names) {
    if (!NameMatches(name_pattern, name)) continue;
    any_name_matched = true;
    const std::string entry_host = name == "."    ? *host
                                   : name == ".." ? detail::HostParent(*host)
                                                  : detail::HostChild(*host, name);
    struct stat st;
    if (!StatEntry(entry_host, &st)) continue;  // gone since the listing
    SearchRec entry;
    entry.name = name;
    entry.attributes = detail::AttributesOf(name, st);
    if ((entry.attributes & ~attribute_mask & kSpecialAttributes) != 0) continue;
    entry.size = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
    entry.dos_time = DosTimeFromUnix(static_cast<long long>(st.st_mtim.tv_sec));
    entry.valid_windows_name = ValidWindowsName(name);
    state_->entries.push_back(std::move(entry));
  }
  if (state_->entries.empty()) return any_name_matched ? kNoMoreFiles : kFileNotFound;
  *rec = state_->entries.front();
  state_->next = 1;
  return 0;
}

int DirectorySearch::FindNext(SearchRec* rec) {
  if (!state_ || state_->next >= state_->entries.size()) return kNoMoreFiles;
  *rec = state_->entries[state_->next++];
  return 0;
}

int WalkListing::Read(const std::string& folder) {
  if (int fault = detail::BeginOperation(detail::Operation::kOpen)) {
    entries_.clear();
    folders_.clear();
    return fault;
  }
  // The folder a walk has just entered is where it was entered, unless it has gone
  // from there since.
  if (std::optional<std::string> entered = detail::HostPathOfCurrentDir(folder)) {
    if (ReadHost(*entered) == 0) return 0;
  }
  std::optional<std::string> host = ToHostPath(folder);
  return host ? ReadHost(*host) : kInvalidFilename;
}

int WalkListing::ReadHost(const std::string& host) {
  entries_.clear();
  folders_.clear();
  const int read = ReadFolderNames(host, [&](std::string_view name, unsigned char type) {
    Kind kind = Kind::kOther;
    if (type == DT_DIR) {
      kind = Kind::kFolder;
    } else if (type == DT_REG) {
      kind = Kind::kFile;
    } else if (type == DT_LNK || type == DT_UNKNOWN) {
      // A link is what it leads to; some file systems give no kinds at all.
      struct stat st;
      if (::stat(detail::HostChild(host, std::string(name)).c_str(), &st) == 0)
        kind = KindOfStat(st);
    }
    entries_.push_back({std::string(name), kind});
    if (kind == Kind::kFolder) folders_.emplace_back(name);
  });
  if (read != 0) {
    entries_.clear();
    folders_.clear();
    return read;
  }
  // Only the folders are walked in order; files are only looked up.
  SortInSearchOrder(folders_);
  return 0;
}

const WalkListing::Entry* WalkListing::LookUp(std::string_view name) const {
  return ChooseSpelling(entries_, name, WalkEntryName);
}

WalkGuard::WalkGuard(bool stay_on_device) : stay_on_device_(stay_on_device) {}

WalkGuard::Enter WalkGuard::TryEnter(const std::string& path) {
  std::optional<detail::ResolvedPath> resolved = detail::ResolvePath(path);
  if (!resolved) return Enter::kCannotEnter;
  const detail::HostEntry* host = &resolved->host;
  if (!host->exists || !S_ISDIR(host->st.st_mode)) return Enter::kCannotEnter;
  const struct stat& st = host->st;
  const std::pair<unsigned long long, unsigned long long> key{st.st_dev, st.st_ino};
  if (stay_on_device_) {
    if (!have_device_) {
      have_device_ = true;
      device_ = st.st_dev;
      RememberOtherDriveRoots(path);
    } else if (st.st_dev != device_) {
      return Enter::kCannotEnter;
    }
    if (other_drive_roots_.count(key) != 0) return Enter::kCannotEnter;
    // Below a folder the walk entered, only a link can lead into another drive.
    if (S_ISLNK(host->entry_st.st_mode) && BelongsToAnotherDrive(host->path)) {
      return Enter::kCannotEnter;
    }
  }
  if (visited_.count(key) != 0) return Enter::kAlreadyVisited;
  if (detail::EnterResolvedFolder(*resolved) != 0) return Enter::kCannotEnter;
  visited_.insert(key);
  return Enter::kEntered;
}

void WalkGuard::RememberOtherDriveRoots(const std::string& first_path) {
  const std::string full = ExpandFileName(first_path);
  const char own = full.size() >= 2 && full[1] == ':' ? AsciiUpper(full[0]) : '\0';
  std::pair<unsigned long long, unsigned long long> own_root{0, 0};
  struct stat st;
  for (const DriveMapping& drive : Drives()) {
    if (drive.letter == own && ::stat(drive.host_root.c_str(), &st) == 0) {
      own_root = {st.st_dev, st.st_ino};
      own_real_root_ = detail::RealHostPath(drive.host_root);
    }
    if (std::string real = detail::RealHostPath(drive.host_root); !real.empty()) {
      real_drive_roots_.push_back(std::move(real));
    }
  }
  for (const DriveMapping& drive : Drives()) {
    if (drive.letter == own || ::stat(drive.host_root.c_str(), &st) != 0) continue;
    const std::pair<unsigned long long, unsigned long long> key{st.st_dev, st.st_ino};
    // Two letters over one folder are one drive: its root is no foreign mount point.
    if (key != own_root) other_drive_roots_.insert(key);
  }
}

// A host path belongs to the drive whose real root is the longest prefix of its real
// path, as a host path is shown; letters over one folder are one drive.
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

}  // namespace platform
