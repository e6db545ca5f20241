#include "platform/folder_handle.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>

#include "platform/drives.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {

using detail::Operation;

namespace {

constexpr int kDeepestFolder = 4096;  // for the walk up that judges a followed link

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

using detail::IsOneName;

// The folder is held open, so a missing entry is 2.
int EntryErrorCode(int posix_errno) {
  return posix_errno == ENOENT ? kFileNotFound : ErrorCodeFromErrno(posix_errno);
}

// The name as given when an entry bears it, else as the disk spells it in another letter
// case, else as given (still to be made); as given for a caller that names as spelt.
std::string DiskName(int folder_fd, const std::string& host_folder, const std::string& name,
                     bool as_spelt) {
  if (as_spelt) return name;
  struct stat st;
  if (::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
  return detail::FindEntryIgnoringCase(host_folder, name, folder_fd).value_or(name);
}

// The plain file at the name, never through a link: its descriptor, or minus a code
// (kNameIsLink, 5 for anything but a plain file). O_NONBLOCK: no wait on a pipe put there.
int OpenOwnFile(int folder_fd, const std::string& name, struct stat& st) {
  const int fd = ::openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    const bool link =
        error == ELOOP ||
        (::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode));
    return -(link ? kNameIsLink : EntryErrorCode(error));
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -kAccessDenied;
  }
  return fd;
}

constexpr int kOpenedALink = -1;

// The folder at the name, never through a link: its descriptor, kOpenedALink, or minus a
// code. O_PATH holds the link itself: an open for reading answers ENOTDIR for both.
int OpenOwnFolder(int folder_fd, const std::string& name) {
  const int entry = ::openat(folder_fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (entry < 0) return -EntryErrorCode(errno);
  struct stat st;
  int answer = 0;
  if (::fstat(entry, &st) != 0) {
    answer = -ErrorCodeFromErrno(errno);
  } else if (S_ISLNK(st.st_mode)) {
    answer = kOpenedALink;
  } else if (!S_ISDIR(st.st_mode)) {
    answer = -kInvalidFilename;
  } else {
    answer = ::openat(entry, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (answer < 0) answer = -ErrorCodeFromErrno(errno);
  }
  ::close(entry);
  return answer;
}

std::pair<std::uint64_t, std::uint64_t> IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino};
}

std::pair<std::uint64_t, std::uint64_t> IdentityOf(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? IdentityOf(st) : std::pair<std::uint64_t, std::uint64_t>{};
}

// True when the open folder is `outer` or lies below it, as the folders stand now: the
// walk goes up through ".." from the folder itself, never through a name.
bool LiesWithin(int folder_fd, int outer_fd) {
  struct stat outer, here;
  if (::fstat(outer_fd, &outer) != 0 || ::fstat(folder_fd, &here) != 0) return false;
  int current = ::fcntl(folder_fd, F_DUPFD_CLOEXEC, 0);
  for (int depth = 0; current >= 0 && depth < kDeepestFolder; ++depth) {
    if (IdentityOf(here) == IdentityOf(outer)) {
      ::close(current);
      return true;
    }
    const int parent = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(current);
    current = parent;
    struct stat above;
    if (current < 0 || ::fstat(current, &above) != 0 || IdentityOf(above) == IdentityOf(here)) {
      break;
    }
    here = above;  // the root is its own parent: the walk ends there
  }
  if (current >= 0) ::close(current);
  return false;
}

}  // namespace

int FolderHandle::Open(const std::string& path, FolderHandle* out) {
  if (int fault = detail::BeginOperation(Operation::kOpen)) return fault;
  std::optional<detail::ResolvedPath> resolved = detail::ResolvePath(path);
  if (!resolved) return kInvalidFilename;
  const detail::HostEntry& folder = resolved->host;
  if (!folder.exists || !S_ISDIR(folder.st.st_mode)) return kInvalidFilename;
  if (detail::IsHeld(folder.path)) return kAccessDenied;
  const int fd = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return detail::HostErrorCode(folder.path, errno);
  return Hold(fd, path, folder.path, IdentityOf(fd), out);
}

int FolderHandle::OpenFolder(const std::string& name, FolderHandle* out,
                             const FolderHandle* within) const {
  if (int fault = detail::BeginOperation(Operation::kOpen)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const int folder_fd = Descriptor(handle_);
  const std::string disk = DiskName(folder_fd, host_path_, name, /*as_spelt=*/false);
  const std::string host = detail::HostChild(host_path_, disk);
  if (detail::IsHeld(host)) return kAccessDenied;  // for a folder the user may not enter
  int fd = OpenOwnFolder(folder_fd, disk);
  if (fd == kOpenedALink) {
    if (within == nullptr || !within->IsOpen()) return kNameIsLink;
    fd = ::openat(folder_fd, disk.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return kNameIsLink;  // a dangling link, or one to no folder
    if (!LiesWithin(fd, Descriptor(within->handle_))) {
      ::close(fd);
      return kNameIsLink;
    }
  } else if (fd < 0) {
    return -fd;
  }
  return Hold(fd, path_ + "\\" + name, host, IdentityOf(fd), out);
}

int FolderHandle::CreateFolder(const std::string& name) const {
  if (int fault = detail::BeginOperation(Operation::kCreateFolder)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::string disk = DiskName(Descriptor(handle_), host_path_, name, /*as_spelt=*/false);
  return ::mkdirat(Descriptor(handle_), disk.c_str(), 0777) == 0 ? 0 : EntryErrorCode(errno);
}

int FolderHandle::CreateFile(const std::string& name, File* out) const {
  if (int fault = detail::BeginOperation(Operation::kCreate)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::string disk = DiskName(Descriptor(handle_), host_path_, name, names_as_spelt_);
  const std::string host = detail::HostChild(host_path_, disk);
  if (detail::IsHeld(host)) return kSharingViolation;
  // Never an entry that is there already: a link put in its place is not written through.
  const int fd = ::openat(Descriptor(handle_), disk.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return EntryErrorCode(errno);
  return Adopt(fd, name, out);
}

int FolderHandle::OpenFile(const std::string& name, File* out) const {
  if (int fault = detail::BeginOperation(Operation::kOpen)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::string disk = DiskName(Descriptor(handle_), host_path_, name, names_as_spelt_);
  if (detail::IsHeld(detail::HostChild(host_path_, disk))) return kSharingViolation;
  struct stat st;
  const int fd = OpenOwnFile(Descriptor(handle_), disk, st);
  return fd < 0 ? -fd : Adopt(fd, name, out);
}

std::optional<std::uint32_t> FolderHandle::Attributes(const std::string& name) const {
  if (handle_ < 0 || !IsOneName(name)) return std::nullopt;
  const std::string disk = DiskName(Descriptor(handle_), host_path_, name, names_as_spelt_);
  struct stat st;
  if (::fstatat(Descriptor(handle_), disk.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  return detail::AttributesOf(disk, st);
}

int FolderHandle::SetAttributes(const std::string& name, std::uint32_t attributes) const {
  if (int fault = detail::BeginOperation(Operation::kSetAttributes)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::string disk = DiskName(Descriptor(handle_), host_path_, name, names_as_spelt_);
  // Through the file itself: a change by name would follow a link swapped in for it.
  struct stat st;
  const int fd = OpenOwnFile(Descriptor(handle_), disk, st);
  if (fd < 0) return -fd;
  const mode_t mode = detail::ModeWithAttributes(st.st_mode, attributes);
  const int code =
      mode != (st.st_mode & 07777) && ::fchmod(fd, mode) != 0 ? ErrorCodeFromErrno(errno) : 0;
  ::close(fd);
  return code;
}

namespace {

// The folder's entry `name` itself (lstat) as the refusals see it; st gets its data.
detail::EntryFacts FactsAt(int folder_fd, const std::string& name, struct stat& st) {
  if (::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return {EntryErrorCode(errno)};
  }
  return {0, S_ISDIR(st.st_mode), detail::IsReadOnly(st)};
}

}  // namespace

int FolderHandle::DeleteFile(const std::string& name) const {
  if (int fault = detail::BeginOperation(Operation::kDelete)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const int folder_fd = Descriptor(handle_);
  const std::string disk = DiskName(Descriptor(handle_), host_path_, name, names_as_spelt_);
  const std::string host = detail::HostChild(host_path_, disk);
  struct stat st;
  if (int refusal = detail::DeletionRefusal(FactsAt(folder_fd, disk, st), host, host_path_)) {
    return refusal;
  }
  return ::unlinkat(folder_fd, disk.c_str(), 0) == 0 ? 0 : EntryErrorCode(errno);
}

int FolderHandle::Rename(const std::string& from, const std::string& to,
                         bool replace_existing) const {
  if (int fault = detail::BeginOperation(Operation::kRename)) return fault;
  if (handle_ < 0 || !IsOneName(from) || !IsOneName(to)) return kInvalidFilename;
  const int folder_fd = Descriptor(handle_);
  const std::string source = DiskName(folder_fd, host_path_, from, names_as_spelt_);
  std::string target = DiskName(folder_fd, host_path_, to, names_as_spelt_);
  const std::string source_host = detail::HostChild(host_path_, source);
  if (detail::IsHeld(source_host)) return kSharingViolation;
  unsigned int flags = replace_existing ? 0 : RENAME_NOREPLACE;
  struct stat st;
  if (target == source) {
    // Same entry, maybe another spelling: the rename changes only the letter case.
    if (to == source) {
      return ::fstatat(folder_fd, source.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
                 ? 0
                 : EntryErrorCode(errno);
    }
    target = to;
    flags = 0;
  } else if (replace_existing) {
    // What Windows refuses to replace and the system would: a read-only file, a folder.
    const detail::EntryFacts facts = FactsAt(folder_fd, target, st);
    if (!facts.missing) {
      const std::string target_host = detail::HostChild(host_path_, target);
      if (int refusal = detail::ReplaceRefusal(facts, target_host, true)) return refusal;
    }
  }
  if (::renameat2(folder_fd, source.c_str(), folder_fd, target.c_str(), flags) != 0) {
    // A file system without RENAME_NOREPLACE: a test just before stands for it.
    if (errno != EINVAL || flags == 0) {
      return errno == EEXIST ? kAlreadyExists : EntryErrorCode(errno);
    }
    if (!FactsAt(folder_fd, target, st).missing) return kAlreadyExists;
    if (::renameat(folder_fd, source.c_str(), folder_fd, target.c_str()) != 0) {
      return EntryErrorCode(errno);
    }
  }
  return 0;
}

int FolderHandle::Flush() const {
  if (int fault = detail::BeginOperation(Operation::kFlush)) return fault;
  if (handle_ < 0) return kInvalidFilename;
  // Some file systems cannot sync a folder (EINVAL): nothing more can be done.
  if (::fsync(Descriptor(handle_)) != 0 && errno != EINVAL) return ErrorCodeFromErrno(errno);
  return 0;
}

bool FolderHandle::SameFolder(const FolderHandle& other) const {
  return handle_ >= 0 && other.handle_ >= 0 && identity_.second != 0 &&
         identity_ == other.identity_;
}

bool FolderHandle::StillAtItsPath() const {
  if (handle_ < 0 || detail::IsHeld(host_path_)) return false;
  // The system's own path of the open folder: a folder on the way moved, renamed or
  // swapped for a link gives another one.
  const std::string link = "/proc/self/fd/" + std::to_string(Descriptor(handle_));
  char path[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), path, sizeof path);
  return n > 0 && std::string_view(path, static_cast<std::size_t>(n)) == host_path_;
}

bool FolderHandle::Holds(const std::string& name, const FolderHandle& sub) const {
  if (handle_ < 0 || sub.handle_ < 0 || !IsOneName(name)) return false;
  if (detail::IsHeld(detail::HostChild(host_path_, name))) return false;
  struct stat entry;
  return ::fstatat(Descriptor(handle_), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(entry.st_mode) && sub.identity_ == IdentityOf(entry);
}

}  // namespace platform
