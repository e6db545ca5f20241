#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/internal.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"

namespace platform {

using detail::Operation;

namespace detail {

int HostErrorCode(const std::string& host_path, int posix_errno) {
  if (posix_errno != ENOENT) return ErrorCodeFromErrno(posix_errno);
  struct stat st;
  const bool in_a_folder = host_path.find('/') != std::string::npos &&
                           ::stat(HostParent(host_path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return in_a_folder ? kFileNotFound : kInvalidFilename;
}

bool IsReadOnly(const struct stat& st) { return S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR); }

mode_t ModeWithAttributes(mode_t mode, std::uint32_t attributes) {
  // Hidden follows the name and archive the kind of entry: nothing to store for them.
  mode &= 07777;
  return attributes & faReadOnly ? mode & static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH))
                                 : mode | S_IWUSR;
}

std::uint32_t AttributesOf(const std::string& name, const struct stat& st) {
  // Devices, pipes, sockets and dangling links are system entries: searches skip them.
  std::uint32_t attributes = S_ISDIR(st.st_mode)   ? faDirectory
                             : S_ISREG(st.st_mode) ? faArchive
                                                   : faSysFile;
  if (!(st.st_mode & S_IWUSR)) attributes |= faReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= faHidden;
  return attributes;
}

}  // namespace detail

namespace {

// Last-access time left as it is, last-write time set.
struct Times {
  explicit Times(std::uint32_t dos_time)
      : times{{0, UTIME_OMIT}, {static_cast<time_t>(UnixFromDosTime(dos_time)), 0}} {}
  struct timespec times[2];
};

// The code for an entry the look-up found missing (through links when `followed`).
int MissingEntryCode(const std::string& host_path, bool followed) {
  struct stat st;
  const int result = followed ? ::stat(host_path.c_str(), &st) : ::lstat(host_path.c_str(), &st);
  if (result == 0) return kFileNotFound;  // made again since the look-up
  return detail::HostErrorCode(host_path, errno);
}

// True when another open file description has the file open for writing: the kernel
// grants no read lease then. The lease goes back at once, so no write waits on it; where
// leases cannot be had (some file systems, another user's file) the answer is false.
bool OpenForWritingElsewhere(int read_only_fd) {
  if (::fcntl(read_only_fd, F_SETLEASE, F_RDLCK) != 0) return errno == EAGAIN;
  ::fcntl(read_only_fd, F_SETLEASE, F_UNLCK);
  return false;
}

// Hidden follows the last part of the Windows path.
FileFacts FileFactsOf(const struct stat& st, const std::string& path) {
  return {static_cast<std::int64_t>(st.st_size),
          TryDosTimeFromUnix(static_cast<long long>(st.st_mtim.tv_sec)),
          detail::AttributesOf(path.substr(path.find_last_of("\\/:") + 1), st)};
}

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

[[noreturn]] void RaiseErrno(int posix_errno) { RaiseIoError(ErrorCodeFromErrno(posix_errno)); }

}  // namespace

bool FileExists(const std::string& path) {
  std::optional<detail::HostEntry> host = detail::LookUpHostEntry(path);
  return host && host->exists && S_ISREG(host->st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::optional<detail::HostEntry> first = detail::LookUpHostEntry(a);
  if (!first || !first->exists) return false;
  std::optional<detail::HostEntry> second = detail::LookUpHostEntry(b);
  return second && second->exists && first->st.st_dev == second->st.st_dev &&
         first->st.st_ino == second->st.st_ino;
}

bool IsLink(const std::string& path) {
  std::optional<detail::HostEntry> host = detail::LookUpHostEntry(path);
  return host && host->entry_exists && S_ISLNK(host->entry_st.st_mode);
}

std::optional<std::uint32_t> GetAttributes(const std::string& path) {
  std::optional<detail::HostEntry> host = detail::LookUpHostEntry(path);
  if (!host) return std::nullopt;
  struct stat st = host->st;  // a dangling link's own data
  if (!host->exists && ::lstat(host->path.c_str(), &st) != 0) return std::nullopt;
  const bool drive_root = ExpandFileName(path).size() == 3;
  return detail::AttributesOf(drive_root ? std::string() : detail::HostName(host->path), st);
}

int SetAttributes(const std::string& path, std::uint32_t attributes) {
  if (int fault = detail::BeginOperation(Operation::kSetAttributes)) return fault;
  std::optional<detail::HostEntry> entry = detail::LookUpHostEntry(path);
  if (!entry) return kInvalidFilename;
  const std::string& host = entry->path;
  if (!entry->exists) return MissingEntryCode(host, true);
  const struct stat& st = entry->st;
  const mode_t mode = detail::ModeWithAttributes(st.st_mode, attributes);
  const bool failed = mode != (st.st_mode & 07777) && ::chmod(host.c_str(), mode) != 0;
  return failed ? detail::HostErrorCode(host, errno) : 0;
}

int CreateFolder(const std::string& path) {
  if (int fault = detail::BeginOperation(Operation::kCreateFolder)) return fault;
  std::optional<std::string> host = ToHostPath(path);
  if (!host) return kInvalidFilename;
  if (::mkdir(host->c_str(), 0777) != 0) {  // ENOENT: the parent is missing
    return errno == ENOENT ? kInvalidFilename : ErrorCodeFromErrno(errno);
  }
  return 0;
}

namespace {

// The entry itself (lstat), as the refusals see it.
detail::EntryFacts FactsOf(const detail::HostEntry& entry) {
  const struct stat& st = entry.entry_st;
  if (!entry.entry_exists) return {MissingEntryCode(entry.path, false)};
  return {0, S_ISDIR(st.st_mode), detail::IsReadOnly(st)};
}

int DeletionRefusal(const detail::HostEntry& entry) {
  return detail::DeletionRefusal(FactsOf(entry), entry.path, detail::HostParent(entry.path));
}

}  // namespace

int DeleteFile(const std::string& path) {
  if (int fault = detail::BeginOperation(Operation::kDelete)) return fault;
  std::optional<detail::HostEntry> entry = detail::LookUpHostEntry(path);
  if (!entry) return kInvalidFilename;
  const std::string& host = entry->path;
  if (int refusal = DeletionRefusal(*entry)) return refusal;
  return ::unlink(host.c_str()) == 0 ? 0 : detail::HostErrorCode(host, errno);
}

int DeleteFileRefusal(const std::string& path) {
  std::optional<detail::HostEntry> entry = detail::LookUpHostEntry(path);
  if (!entry) return kInvalidFilename;
  if (int refusal = DeletionRefusal(*entry)) return refusal;
  // The host's own answer for the folder: a read-only mount refuses root too.
  return ::access(detail::HostParent(entry->path).c_str(), W_OK | X_OK) == 0
             ? 0
             : ErrorCodeFromErrno(errno);
}

int RenameFile(const std::string& from, const std::string& to, bool replace_existing) {
  if (int fault = detail::BeginOperation(Operation::kRename)) return fault;
  std::optional<detail::HostEntry> source_entry = detail::LookUpHostEntry(from);
  std::optional<detail::HostEntry> target_entry = detail::LookUpHostEntry(to);
  if (!source_entry || !target_entry) return kInvalidFilename;
  const std::string& source = source_entry->path;
  const std::string& target = target_entry->path;
  if (!source_entry->entry_exists) return MissingEntryCode(source, false);
  if (detail::IsHeld(source)) return kSharingViolation;
  std::string destination = target;
  if (destination == source) {
    // Same entry, maybe another spelling: the rename changes only the letter case.
    std::string expanded = ExpandFileName(to);
    while (!expanded.empty() && (expanded.back() == '\\')) expanded.pop_back();
    const std::size_t cut = expanded.find_last_of('\\');
    const std::string wanted = cut == std::string::npos ? expanded : expanded.substr(cut + 1);
    if (wanted.empty() || wanted == detail::HostName(source)) return 0;
    destination = detail::HostChild(detail::HostParent(source), wanted);
  } else if (target_entry->entry_exists) {
    if (int refusal = detail::ReplaceRefusal(FactsOf(*target_entry), target, replace_existing)) {
      return refusal;
    }
  }
  return ::rename(source.c_str(), destination.c_str()) == 0
             ? 0
             : detail::HostErrorCode(destination, errno);
}

int FlushFolder(const std::string& path) {
  if (int fault = detail::BeginOperation(Operation::kFlush)) return fault;
  std::optional<std::string> host = ToHostPath(path);
  if (!host) return kInvalidFilename;
  int fd = ::open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return detail::HostErrorCode(*host, errno);
  // Some file systems cannot sync a folder (EINVAL): nothing more can be done.
  const int code = ::fsync(fd) != 0 && errno != EINVAL ? ErrorCodeFromErrno(errno) : 0;
  ::close(fd);
  return code;
}

std::optional<std::uint32_t> GetFileDosTime(const std::string& path) {
  std::optional<detail::HostEntry> host = detail::LookUpHostEntry(path);
  if (!host || !host->exists) return std::nullopt;
  return DosTimeFromUnix(static_cast<long long>(host->st.st_mtim.tv_sec));
}

int SetFileDosTime(const std::string& path, std::uint32_t dos_time) {
  if (int fault = detail::BeginOperation(Operation::kSetTime)) return fault;
  std::optional<detail::HostEntry> entry = detail::LookUpHostEntry(path);
  if (!entry) return kInvalidFilename;
  if (!IsValidDosTime(dos_time)) return kInvalidParameter;
  const std::string& host = entry->path;
  if (!entry->exists) return MissingEntryCode(host, true);
  if (detail::IsHeld(host)) return kSharingViolation;
  return ::utimensat(AT_FDCWD, host.c_str(), Times(dos_time).times, 0) == 0
             ? 0
             : detail::HostErrorCode(host, errno);
}

std::optional<std::int64_t> GetFileSize(const std::string& path) {
  std::optional<detail::HostEntry> host = detail::LookUpHostEntry(path);
  if (!host || !host->exists || !S_ISREG(host->st.st_mode)) return std::nullopt;
  return static_cast<std::int64_t>(host->st.st_size);
}

// --- File ---------------------------------------------------------------------------

int File::TryOpen(const std::string& path, OpenMode mode, File* out, FileFacts* facts) {
  if (int fault = detail::BeginOperation(mode == OpenMode::kCreate ? Operation::kCreate
                                                                   : Operation::kOpen)) {
    return fault;
  }
  std::optional<detail::HostEntry> entry = detail::LookUpHostEntry(path);
  if (!entry) return kInvalidFilename;
  const std::string& host = entry->path;
  if (detail::IsHeld(host)) return kSharingViolation;
  struct stat st = entry->st;
  if (entry->exists) {
    // Only plain files open: a folder, pipe or device would hang or mislead the reader.
    if (!S_ISREG(st.st_mode)) return kAccessDenied;
    const bool reading = mode == OpenMode::kRead || mode == OpenMode::kReadDenyWrite;
    if (!reading && detail::IsReadOnly(st)) return kAccessDenied;
  }
  constexpr int kFlags[] = {O_RDONLY, O_RDWR, O_RDWR | O_CREAT | O_TRUNC, O_WRONLY, O_RDONLY};
  // O_NONBLOCK keeps the open from waiting on a pipe swapped in meanwhile; on a regular
  // file it changes nothing.
  int fd = ::open(host.c_str(), kFlags[static_cast<int>(mode)] | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return detail::HostErrorCode(host, errno);
  File file;  // closes the file on a refusal below
  file.handle_ = fd;
  file.path_ = path;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kAccessDenied;
  if (mode == OpenMode::kReadDenyWrite && OpenForWritingElsewhere(fd)) return kSharingViolation;
  if (mode == OpenMode::kAppend && ::lseek(fd, 0, SEEK_END) < 0) return ErrorCodeFromErrno(errno);
  if (facts) *facts = FileFactsOf(st, path);
  *out = std::move(file);
  return 0;
}

namespace detail {

namespace {

// Calls read or write once, again after a signal unless a stop was asked for meanwhile.
template <typename Call>
std::size_t Transfer(Call call) {
  while (true) {
    const ssize_t n = call();
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) RaiseErrno(errno);
    RaiseIfStopRequested();
  }
}

}  // namespace

std::size_t ReadFileHandle(std::intptr_t handle, void* buffer, std::size_t count) {
  return Transfer([&] { return ::read(Descriptor(handle), buffer, count); });
}

std::size_t WriteFileHandle(std::intptr_t handle, const void* buffer, std::size_t count,
                            std::int64_t at) {
  return Transfer([&] {
    return at < 0 ? ::write(Descriptor(handle), buffer, count)
                  : ::pwrite(Descriptor(handle), buffer, count, static_cast<off_t>(at));
  });
}

void SeekFileHandle(std::intptr_t handle, std::int64_t position) {
  if (::lseek(Descriptor(handle), static_cast<off_t>(position), SEEK_SET) < 0) RaiseErrno(errno);
}

std::int64_t FileHandlePosition(std::intptr_t handle) {
  const off_t position = ::lseek(Descriptor(handle), 0, SEEK_CUR);
  if (position < 0) RaiseErrno(errno);
  return static_cast<std::int64_t>(position);
}

std::int64_t FileHandleSize(std::intptr_t handle) {
  struct stat st;
  if (::fstat(Descriptor(handle), &st) != 0) RaiseErrno(errno);
  return static_cast<std::int64_t>(st.st_size);
}

void TruncateFileHandle(std::intptr_t handle) {
  const std::int64_t position = FileHandlePosition(handle);
  if (::ftruncate(Descriptor(handle), static_cast<off_t>(position)) != 0) {
    // A file opened for reading only cannot be cut.
    RaiseIoError(errno == EINVAL || errno == EBADF ? kAccessDenied : ErrorCodeFromErrno(errno));
  }
}

void SetFileHandleDosTime(std::intptr_t handle, std::uint32_t dos_time) {
  if (!IsValidDosTime(dos_time)) RaiseIoError(kInvalidParameter);
  if (::futimens(Descriptor(handle), Times(dos_time).times) != 0) RaiseErrno(errno);
}

FileFacts FileHandleFacts(std::intptr_t handle, const std::string& path) {
  struct stat st;
  if (::fstat(Descriptor(handle), &st) != 0) RaiseErrno(errno);
  return FileFactsOf(st, path);
}

void FlushFileHandle(std::intptr_t handle) {
  if (::fsync(Descriptor(handle)) != 0 && errno != EINVAL) RaiseErrno(errno);
}

void SetFileHandleAttributes(std::intptr_t handle, std::uint32_t attributes) {
  struct stat st;
  if (::fstat(Descriptor(handle), &st) != 0) RaiseErrno(errno);
  const mode_t mode = ModeWithAttributes(st.st_mode, attributes);
  if (mode != (st.st_mode & 07777) && ::fchmod(Descriptor(handle), mode) != 0) RaiseErrno(errno);
}

int CloseFileHandle(std::intptr_t handle) {
  if (::close(Descriptor(handle)) != 0 && errno != EINTR) return ErrorCodeFromErrno(errno);
  return 0;
}

}  // namespace detail
}  // namespace platform
