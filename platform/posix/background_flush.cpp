// The flush of a batch on POSIX systems: one syncfs per file system.
#include "platform/background_flush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

#include "platform/io_error.h"

namespace platform {
namespace {

// An open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::vector<int> BackgroundFlush::FlushTogether(const std::deque<Job>& batch) {
  std::vector<int> codes(batch.size(), 0);
  // One open file per file system names it to syncfs. A file handed over by its path is
  // opened all the same, so that one that is gone answers for itself; one handed over
  // open is used as it is, and a held folder's file is flushed through its folder.
  std::vector<Descriptor> opened;
  struct FileSystem {
    int any_file;
    std::vector<std::size_t> members;  // indexes into the batch
  };
  std::map<dev_t, FileSystem> file_systems;
  // The open files added (Add) share one file system: the first of them names it.
  std::vector<std::size_t> added;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    const Job& job = batch[i];
    if (job.folder) {
      // A file of a held folder lies on the folder's file system, known since its open.
      const auto device = static_cast<dev_t>(job.folder->identity_.first);
      file_systems.try_emplace(device, FileSystem{static_cast<int>(job.folder->handle_), {}})
          .first->second.members.push_back(i);
      continue;
    }
    if (job.file.IsOpen() && !job.result) {
      added.push_back(i);
      continue;
    }
    int fd = static_cast<int>(job.file.handle_);
    if (!job.file.IsOpen()) {
      if (job.host_path.empty()) {
        codes[i] = kInvalidFilename;
        continue;
      }
      fd = opened.emplace_back(::open(job.host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
               .get();
    }
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      codes[i] = ErrorCodeFromErrno(errno);
      continue;
    }
    file_systems.try_emplace(st.st_dev, FileSystem{fd, {}}).first->second.members.push_back(i);
  }
  const auto sync = [&codes](int any_file, const std::vector<std::size_t>& members) {
    if (::syncfs(any_file) == 0) return;
    const int code = ErrorCodeFromErrno(errno);
    for (std::size_t i : members) codes[i] = code;
  };
  for (const auto& [device, file_system] : file_systems) {
    sync(file_system.any_file, file_system.members);
  }
  if (!added.empty()) sync(static_cast<int>(batch[added.front()].file.handle_), added);
  return codes;
}

}  // namespace platform
