#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/drives.h"
#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

namespace platform::detail {
namespace {

struct Listed {
  std::string name;  // ANSI
  WIN32_FIND_DATAW data;
};

// The folder's entries as the system lists them, "." and ".." too. 0, or the code of a
// folder that cannot be read: 3 for one that is missing or is a file.
int ReadFolder(const std::string& host_folder, std::vector<Listed>* out) {
  WIN32_FIND_DATAW data;
  HANDLE search = ::FindFirstFileW(WideFromAnsi(HostChild(host_folder, "*")).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // An empty drive root lists nothing at all, not even "." and "..".
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return 0;
    if (error == ERROR_DIRECTORY || error == ERROR_PATH_NOT_FOUND) return kInvalidFilename;
    return CodeOfSystemError(error);
  }
  do {
    out->push_back({AnsiFromWide(data.cFileName), data});
  } while (::FindNextFileW(search, &data));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  return error == ERROR_NO_MORE_FILES ? 0 : CodeOfSystemError(error);
}

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

// The data of a folder when its listing gave no "." or ".." for it: WIN32_FIND_DATAW starts
// with the fields of WIN32_FILE_ATTRIBUTE_DATA.
std::optional<WIN32_FIND_DATAW> FolderData(const std::wstring& host_folder) {
  static_assert(offsetof(WIN32_FIND_DATAW, nFileSizeLow) ==
                offsetof(WIN32_FILE_ATTRIBUTE_DATA, nFileSizeLow));
  WIN32_FIND_DATAW data{};
  if (!::GetFileAttributesExW(host_folder.c_str(), GetFileExInfoStandard, &data)) return {};
  return data;
}

class SystemSearchFolder : public SearchFolder {
 public:
  std::optional<SearchRec> RecordOf(const std::string& name) const override {
    std::optional<WIN32_FIND_DATAW> data;
    if (auto listed = data_.find(name); listed != data_.end()) {
      data = listed->second;
    } else if (name == ".") {
      data = FolderData(folder_.wide);
    } else if (name == "..") {
      data = FolderData(WideFromAnsi(HostParent(folder_.host)));
    }
    if (!data) return std::nullopt;
    const bool folder = data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    return SearchRec{{},
                     folder ? 0 : (std::int64_t{data->nFileSizeHigh} << 32) | data->nFileSizeLow,
                     LayerAttributes(data->dwFileAttributes),
                     ClampedDosTimeOfFileTime(data->ftLastWriteTime)};
  }

  SystemPath folder_;
  std::map<std::string, WIN32_FIND_DATAW> data_;  // the first of names alike in ANSI
};

}  // namespace

int ReadSearchFolder(const std::string& full_folder, std::unique_ptr<SearchFolder>* out) {
  std::optional<SystemPath> path = SystemPathOf(full_folder);
  if (!path) return kInvalidFilename;
  std::vector<Listed> listed;
  if (int read = ReadFolder(path->host, &listed)) return read;
  auto folder = std::make_unique<SystemSearchFolder>();
  folder->folder_ = std::move(*path);
  for (Listed& entry : listed) {
    if (!IsDots(entry.name)) folder->names.push_back(entry.name);
    folder->data_.emplace(std::move(entry.name), entry.data);
  }
  *out = std::move(folder);
  return 0;
}

int ReadWalkFolder(const std::string& folder, std::vector<WalkListing::Entry>* entries) {
  std::optional<SystemPath> path = SystemPathOf(folder);
  if (!path) return kInvalidFilename;
  std::vector<Listed> listed;
  if (int read = ReadFolder(path->host, &listed)) return read;
  for (Listed& entry : listed) {
    if (IsDots(entry.name)) continue;
    const DWORD attributes = entry.data.dwFileAttributes;
    // A junction or a link to a folder is a folder here; the walk's guard refuses it.
    const WalkListing::Kind kind =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) ? WalkListing::Kind::kFolder
        : (attributes & FILE_ATTRIBUTE_DEVICE)  ? WalkListing::Kind::kOther
                                                : WalkListing::Kind::kFile;
    entries->push_back({std::move(entry.name), kind});
  }
  return 0;
}

// A walk never passes a reparse point (a junction, a symbolic link, a volume mounted in a
// folder), so it cannot loop through one nor leave its drive through one.
std::optional<WalkTarget> WalkTargetOf(const std::string& path) {
  std::optional<SystemPath> folder = SystemPathOf(path);
  if (!folder) return std::nullopt;
  const DWORD attributes = ::GetFileAttributesW(folder->wide.c_str());
  if (!IsFolder(attributes) || IsReparsePoint(attributes)) return std::nullopt;
  if (std::optional<FileKey> key = HostFolderKey(folder->host)) return WalkTarget{*key};
  return std::nullopt;
}

bool EnterWalkTarget(const WalkTarget&, const std::string& path) { return SetCurrentDir(path); }

std::optional<FileKey> HostFolderKey(const std::string& host_folder) {
  return IdentityOf(WideFromAnsi(host_folder));
}

}  // namespace platform::detail
