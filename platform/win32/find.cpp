#include "platform/find.h"

#include <optional>
#include <string_view>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

namespace platform {
namespace {

// Attributes that keep an entry out of a search unless the mask asks for them.
constexpr std::uint32_t kSpecialAttributes = faHidden | faSysFile | faVolumeID | faDirectory;

using detail::ChooseSpelling;
using detail::NameMatches;
using detail::SortInSearchOrder;
using detail::ValidWindowsName;

struct Listed {
  std::string name;  // ANSI
  WIN32_FIND_DATAW data;
};

// The folder's entries as the system lists them, "." and ".." apart. 0, or the code of
// a folder that cannot be read: 3 for one that is missing or is a file.
struct FolderListing {
  std::vector<Listed> entries;
  std::optional<WIN32_FIND_DATAW> dot, dot_dot;
};

int ReadFolder(const std::wstring& host_folder, FolderListing* out) {
  WIN32_FIND_DATAW data;
  HANDLE search = ::FindFirstFileW(detail::WideChild(host_folder, L"*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // An empty drive root lists nothing at all, not even "." and "..".
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return 0;
    if (error == ERROR_DIRECTORY || error == ERROR_PATH_NOT_FOUND) return kInvalidFilename;
    return detail::CodeOfSystemError(error);
  }
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L".") {
      out->dot = data;
    } else if (name == L"..") {
      out->dot_dot = data;
    } else {
      out->entries.push_back({detail::AnsiFromWide(name), data});
    }
  } while (::FindNextFileW(search, &data));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  if (error != ERROR_NO_MORE_FILES) return detail::CodeOfSystemError(error);
  return 0;
}

// The data of a folder when its listing gave no "." or ".." for it.
std::optional<WIN32_FIND_DATAW> FolderData(const std::wstring& host_folder) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!::GetFileAttributesExW(host_folder.c_str(), GetFileExInfoStandard, &attributes)) {
    return std::nullopt;
  }
  WIN32_FIND_DATAW data{};
  data.dwFileAttributes = attributes.dwFileAttributes;
  data.ftLastWriteTime = attributes.ftLastWriteTime;
  return data;
}

SearchRec RecordOf(const std::string& name, const WIN32_FIND_DATAW& data) {
  SearchRec rec;
  rec.name = name;
  rec.attributes = detail::LayerAttributes(data.dwFileAttributes);
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    rec.size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  rec.dos_time = detail::ClampedDosTimeOfFileTime(data.ftLastWriteTime);
  rec.valid_windows_name = ValidWindowsName(name);
  return rec;
}

const std::string& WalkEntryName(const WalkListing::Entry& entry) { return entry.name; }

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
  std::optional<detail::SystemPath> folder = detail::SystemPathOf(full_folder);
  if (!folder) return kInvalidFilename;

  FolderListing listing;
  if (int read = ReadFolder(folder->wide, &listing)) return read;
  std::vector<std::string> names;
  names.reserve(listing.entries.size() + 2);
  for (const Listed& entry : listing.entries) names.push_back(entry.name);
  SortInSearchOrder(names);
  // The system's order of the same names, to find each one's data again.
  std::vector<std::pair<std::string, const WIN32_FIND_DATAW*>> data_of;
  if (!drive_root) {
    if (!listing.dot) listing.dot = FolderData(folder->wide);
    if (!listing.dot_dot) {
      listing.dot_dot = FolderData(detail::WideFromAnsi(detail::HostParent(folder->host)));
    }
    if (listing.dot) data_of.emplace_back(".", &*listing.dot);
    if (listing.dot_dot) data_of.emplace_back("..", &*listing.dot_dot);
  }
  std::vector<std::string> ordered;
  for (const auto& [name, data] : data_of) ordered.push_back(name);
  for (std::string& name : names) ordered.push_back(std::move(name));

  detail::KeepOnlyTheLookedUpName(ordered, name_pattern);

  const auto find_data = [&](const std::string& name) -> const WIN32_FIND_DATAW* {
    for (const auto& [dot_name, data] : data_of) {
      if (dot_name == name) return data;
    }
    for (const Listed& entry : listing.entries) {
      if (entry.name == name) return &entry.data;
    }
    return nullptr;
  };
  bool any_name_matched = false;
  for (const std::string& name : ordered) {
    if (!NameMatches(name_pattern, name)) continue;
    any_name_matched = true;
    const WIN32_FIND_DATAW* data = find_data(name);
    if (data == nullptr) continue;
    SearchRec entry = RecordOf(name, *data);
    if ((entry.attributes & ~attribute_mask & kSpecialAttributes) != 0) continue;
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
  entries_.clear();
  folders_.clear();
  if (int fault = detail::BeginOperation(detail::Operation::kOpen)) return fault;
  std::optional<detail::SystemPath> host = detail::SystemPathOf(folder);
  if (!host) return kInvalidFilename;
  return ReadHost(host->host);
}

int WalkListing::ReadHost(const std::string& host) {
  FolderListing listing;
  if (int read = ReadFolder(detail::WideFromAnsi(host), &listing)) return read;
  for (const Listed& entry : listing.entries) {
    const DWORD attributes = entry.data.dwFileAttributes;
    // A junction or a link to a folder is listed as a folder; the walk's guard refuses
    // to enter it.
    const Kind kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kFolder
                      : (attributes & FILE_ATTRIBUTE_DEVICE)  ? Kind::kOther
                                                              : Kind::kFile;
    entries_.push_back({entry.name, kind});
    if (kind == Kind::kFolder) folders_.push_back(entry.name);
  }
  // Only the folders are walked in order; files are only looked up.
  SortInSearchOrder(folders_);
  return 0;
}

const WalkListing::Entry* WalkListing::LookUp(std::string_view name) const {
  return ChooseSpelling(entries_, name, WalkEntryName);
}

WalkGuard::WalkGuard(bool stay_on_device) : stay_on_device_(stay_on_device) {}

namespace {

std::pair<unsigned long long, unsigned long long> KeyOf(const detail::FileIdentity& identity) {
  return {identity.volume,
          (static_cast<unsigned long long>(identity.index_high) << 32) | identity.index_low};
}

}  // namespace

// Windows names a folder by its volume and file index; a walk never passes a reparse
// point (a junction, a symbolic link, a volume mounted in a folder), so it cannot loop
// through one nor leave its drive through one.
WalkGuard::Enter WalkGuard::TryEnter(const std::string& path) {
  std::optional<detail::SystemPath> folder = detail::SystemPathOf(path);
  if (!folder) return Enter::kCannotEnter;
  const DWORD attributes = ::GetFileAttributesW(folder->wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Enter::kCannotEnter;
  }
  if (detail::IsReparsePoint(attributes)) return Enter::kCannotEnter;
  const std::optional<detail::FileIdentity> identity = detail::IdentityOf(folder->wide);
  if (!identity) return Enter::kCannotEnter;
  const FolderKey key = KeyOf(*identity);
  if (stay_on_device_) {
    if (!have_device_) {
      have_device_ = true;
      device_ = identity->volume;
      RememberOtherDriveRoots(path);
    } else if (identity->volume != device_) {
      return Enter::kCannotEnter;
    }
    if (other_drive_roots_.count(key) != 0) return Enter::kCannotEnter;
  }
  if (visited_.count(key) != 0) return Enter::kAlreadyVisited;
  if (!SetCurrentDir(path)) return Enter::kCannotEnter;
  visited_.insert(key);
  return Enter::kEntered;
}

// The roots of the other drives, when they are folders of this drive's volume (drives a
// test table makes of folders, or letters the user gave to folders with subst).
void WalkGuard::RememberOtherDriveRoots(const std::string& first_path) {
  const std::string full = ExpandFileName(first_path);
  const char own = full.size() >= 2 && full[1] == ':' ? AsciiUpper(full[0]) : '\0';
  std::optional<detail::FileIdentity> own_root;
  for (const DriveMapping& drive : Drives()) {
    if (drive.letter == own) own_root = detail::IdentityOf(detail::WideFromAnsi(drive.host_root));
  }
  for (const DriveMapping& drive : Drives()) {
    if (drive.letter == own) continue;
    std::optional<detail::FileIdentity> root =
        detail::IdentityOf(detail::WideFromAnsi(drive.host_root));
    // Two letters over one folder are one drive: its root is no foreign mount point.
    if (root && !(own_root && *root == *own_root)) other_drive_roots_.insert(KeyOf(*root));
  }
}

}  // namespace platform
