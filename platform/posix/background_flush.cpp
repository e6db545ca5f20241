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

std::vector<int> BackgroundFlush::FlushTogether(const std::deque<Job>& batch) {
  std::vector<int> codes(batch.size(), 0);
  struct FileSystem {
    int any_file;                      // names it to syncfs
    std::vector<std::size_t> members;  // indexes into the batch
  };
  std::map<dev_t, FileSystem> file_systems;
  const auto join = [&file_systems](dev_t device, int fd, std::size_t i) {
    file_systems.try_emplace(device, FileSystem{fd, {}}).first->second.members.push_back(i);
  };
  FileSystem added{-1, {}};  // the files added open share one, named by the first of them
  std::vector<int> opened;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    const Job& job = batch[i];
    if (job.folder) {  // on the held folder's file system, known since its open
      join(static_cast<dev_t>(job.folder->identity_.first), static_cast<int>(job.folder->handle_),
           i);
    } else if (job.file.IsOpen()) {
      if (added.members.empty()) added.any_file = static_cast<int>(job.file.handle_);
      added.members.push_back(i);
    } else if (job.host_path.empty()) {
      codes[i] = kInvalidFilename;
    } else {
      // Opened all the same, so that a file that is gone answers for itself.
      const int fd =
          opened.emplace_back(::open(job.host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
      struct stat st;
      if (fd < 0 || ::fstat(fd, &st) != 0) {
        codes[i] = ErrorCodeFromErrno(errno);
      } else {
        join(st.st_dev, fd, i);
      }
    }
  }
  const auto sync = [&codes](const FileSystem& file_system) {
    if (file_system.members.empty() || ::syncfs(file_system.any_file) == 0) return;
    const int code = ErrorCodeFromErrno(errno);
    for (std::size_t i : file_system.members) codes[i] = code;
  };
  for (const auto& [device, file_system] : file_systems) sync(file_system);
  sync(added);
  for (const int fd : opened) {
    if (fd >= 0) ::close(fd);
  }
  return codes;
}

}  // namespace platform
