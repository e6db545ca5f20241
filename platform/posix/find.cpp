#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform::detail {
namespace {

// The folder a walk has just entered is read where it was entered, unless it has gone from
// there since; else where the path leads now.
template <typename ReadAt>
int ReadFolderAt(const std::string& folder, ReadAt read_at) {
  if (std::optional<std::string> entered = HostPathOfCurrentDir(folder)) {
    if (read_at(*entered) == 0) return 0;
  }
  std::optional<std::string> host = ToHostPath(folder);
  return host ? read_at(*host) : kInvalidFilename;
}

class HostSearchFolder : public SearchFolder {
 public:
  std::optional<SearchRec> RecordOf(const std::string& name) const override {
    const std::string entry = name == "."    ? host
                              : name == ".." ? HostParent(host)
                                             : HostChild(host, name);
    struct stat st;
    if (::stat(entry.c_str(), &st) != 0 && ::lstat(entry.c_str(), &st) != 0) return std::nullopt;
    return SearchRec{{},
                     S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0,
                     AttributesOf(name, st),
                     DosTimeFromUnix(static_cast<long long>(st.st_mtim.tv_sec))};
  }

  std::string host;
};

}  // namespace

int ReadHostFolder(const std::string& host_folder, int folder_fd,
                   const std::function<void(std::string_view, unsigned char)>& each) {
  DIR* opened = nullptr;
  if (folder_fd < 0) {
    opened = ::opendir(host_folder.c_str());
  } else if (const int own = ::fcntl(folder_fd, F_DUPFD_CLOEXEC, 0); own >= 0) {
    opened = ::fdopendir(own);
    if (opened == nullptr) ::close(own);
  }
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opened, ::closedir);
  if (!dir) {
    return errno == ENOENT || errno == ENOTDIR ? kInvalidFilename : ErrorCodeFromErrno(errno);
  }
  if (folder_fd >= 0) ::rewinddir(dir.get());  // the copy shares the original's position
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") each(name, entry->d_type);
  }
  return 0;
}

std::optional<std::string> FindEntryIgnoringCase(const std::string& host_folder,
                                                 const std::string& name, int folder_fd) {
  std::optional<std::string> best;
  ReadHostFolder(host_folder, folder_fd, [&](std::string_view candidate, unsigned char) {
    if (EqualIgnoringAsciiCase(candidate, name) && (!best || candidate < *best)) {
      best = std::string(candidate);
    }
  });
  return best;
}

int ReadSearchFolder(const std::string& full_folder, std::unique_ptr<SearchFolder>* out) {
  auto folder = std::make_unique<HostSearchFolder>();
  const int read = ReadFolderAt(full_folder, [&](const std::string& host) {
    folder->names.clear();
    folder->host = host;
    return ReadHostFolder(
        host, -1, [&](std::string_view name, unsigned char) { folder->names.emplace_back(name); });
  });
  *out = std::move(folder);
  return read;
}

int ReadWalkFolder(const std::string& folder, std::vector<WalkListing::Entry>* entries) {
  return ReadFolderAt(folder, [&](const std::string& host) {
    entries->clear();
    return ReadHostFolder(host, -1, [&](std::string_view name, unsigned char type) {
      // A link is what it leads to; some file systems give no kinds.
      struct stat st;
      const bool look = (type == DT_LNK || type == DT_UNKNOWN) &&
                        ::stat(HostChild(host, std::string(name)).c_str(), &st) == 0;
      const bool folder = look ? S_ISDIR(st.st_mode) : type == DT_DIR;
      const bool file = look ? S_ISREG(st.st_mode) : type == DT_REG;
      entries->push_back({std::string(name), folder ? WalkListing::Kind::kFolder
                                             : file ? WalkListing::Kind::kFile
                                                    : WalkListing::Kind::kOther});
    });
  });
}

std::optional<WalkTarget> WalkTargetOf(const std::string& path) {
  std::optional<ResolvedPath> resolved = ResolvePath(path);
  if (!resolved || !resolved->host.exists || !S_ISDIR(resolved->host.st.st_mode)) {
    return std::nullopt;
  }
  const struct stat& st = resolved->host.st;
  return WalkTarget{
      {st.st_dev, st.st_ino}, S_ISLNK(resolved->host.entry_st.st_mode), std::move(*resolved)};
}

bool EnterWalkTarget(const WalkTarget& target, const std::string&) {
  return EnterResolvedFolder(target.resolved) == 0;
}

std::optional<FileKey> HostFolderKey(const std::string& host_folder) {
  struct stat st;
  if (::stat(host_folder.c_str(), &st) != 0) return std::nullopt;
  return FileKey{st.st_dev, st.st_ino};
}

}  // namespace platform::detail
