#include "platform/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {
namespace {

// Each retry follows a holder that deleted the file just as this run opened it; only a
// stream of new holders, each gone within moments, could use these up.
constexpr int kAttempts = 100;
// Readable, and so lockable, by every user who may use the folder, whatever the umask.
constexpr mode_t kLockFileMode = 0644;

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when one of the held lock files is `file`.
bool HoldsFile(const auto& held, const struct stat& file) {
  return std::any_of(held.begin(), held.end(), [&file](const auto& h) {
    struct stat own;
    return ::fstat(static_cast<int>(h.handle), &own) == 0 && SameInode(own, file);
  });
}

// The lock file opened, made when missing; -1 with errno when it cannot be. In a folder
// read-only to this user, another user's lock file still locks, opened for reading.
int OpenLockFile(const std::string& host_path) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  const int fd = ::open(host_path.c_str(), kFlags | O_CREAT, kLockFileMode);
  if (fd >= 0) {
    static_cast<void>(::fchmod(fd, kLockFileMode));  // refused on another user's file
    return fd;
  }
  if (errno != EACCES && errno != EROFS && errno != EPERM) return fd;
  return ::open(host_path.c_str(), kFlags);
}

// No lock file can be made: no folder, a read-only one or disk, or another kind of entry.
bool CannotHold(int posix_errno) {
  return posix_errno == ENOENT || posix_errno == ENOTDIR || posix_errno == EACCES ||
         posix_errno == EROFS || posix_errno == EPERM || posix_errno == EISDIR ||
         posix_errno == ELOOP;
}

[[noreturn]] void Raise(const std::string& host_path, int posix_errno) {
  const int code = detail::HostErrorCode(host_path, posix_errno);
  throw EInOutError(code, host_path + ": " + IoErrorText(code));
}

}  // namespace

FolderLock RunLocks::Take(const std::string& folder) {
  const std::optional<std::string> host_folder = ToHostPath(folder);
  if (!host_folder) return FolderLock::kCannotHold;  // on no drive: a network folder
  const std::string host_path = detail::HostChild(*host_folder, kRunLockFileName);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = OpenLockFile(host_path);
    if (fd < 0) {
      if (CannotHold(errno)) return FolderLock::kCannotHold;
      Raise(host_path, errno);
    }
    struct stat locked;
    if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode)) {
      // A device or a pipe bears the name: it is not ours to lock.
      ::close(fd);
      return FolderLock::kCannotHold;
    }
    if (HoldsFile(held_, locked)) {
      ::close(fd);
      return FolderLock::kTaken;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) return FolderLock::kInUse;
      // A file system without locks (some network and FUSE ones): nothing can be held.
      if (error == ENOLCK || error == EINVAL || error == ENOTSUP || error == ENOSYS) {
        return FolderLock::kCannotHold;
      }
      Raise(host_path, error);
    }
    struct stat named;
    if (::lstat(host_path.c_str(), &named) == 0 && SameInode(named, locked)) {
      held_.push_back({fd, host_path});
      return FolderLock::kTaken;
    }
    ::close(fd);  // its holder deleted it before letting go: lock the folder's own
  }
  Raise(host_path, EAGAIN);
}

void RunLocks::Release() noexcept {
  // Deleted while still locked: whoever opened it before sees, once it locks it, it is gone.
  for (auto it = held_.rbegin(); it != held_.rend(); ++it) {
    struct stat locked, named;
    const int fd = static_cast<int>(it->handle);
    if (::fstat(fd, &locked) == 0 && ::lstat(it->host_path.c_str(), &named) == 0 &&
        SameInode(locked, named)) {
      ::unlink(it->host_path.c_str());  // a folder made read-only since keeps it; harmless
    }
    ::close(fd);
  }
  held_.clear();
}

bool RunLocks::IsLockFile(const std::string& path) const {
  const std::optional<std::string> host_path = ToHostPath(path);
  struct stat named;
  return host_path && ::lstat(host_path->c_str(), &named) == 0 && HoldsFile(held_, named);
}

}  // namespace platform
