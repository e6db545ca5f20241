#include "platform/background_flush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

#include "platform/drives.h"
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

BackgroundFlush::BackgroundFlush(StandIn stand_in)
    : stand_in_(std::move(stand_in)), worker_([this] { Work(); }) {}

BackgroundFlush::~BackgroundFlush() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

std::future<int> BackgroundFlush::Submit(const std::string& path) {
  return Queue(Job{path, ToHostPath(path).value_or(""), {}, {}});
}

std::future<int> BackgroundFlush::Submit(File file) {
  std::string path = file.Path();
  return Queue(Job{std::move(path), {}, {}, std::move(file)});
}

std::future<int> BackgroundFlush::Queue(Job job) {
  std::future<int> result = job.result.get_future();
  bool was_idle = false;
  {
    std::lock_guard lock(mutex_);
    was_idle = jobs_.empty();
    jobs_.push_back(std::move(job));
  }
  // A worker that has jobs waiting is awake already.
  if (was_idle) wake_.notify_one();
  return result;
}

void BackgroundFlush::Work() {
  while (true) {
    std::deque<Job> batch;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and every job handed over is done
      batch.swap(jobs_);
    }
    try {
      FlushTogether(batch);
    } catch (...) {
      for (Job& job : batch) {
        try {
          job.result.set_exception(std::current_exception());
        } catch (const std::future_error&) {
          // answered before the failure
        }
      }
    }
  }
}

void BackgroundFlush::FlushTogether(std::deque<Job>& batch) const {
  std::vector<int> codes(batch.size(), 0);
  if (stand_in_) {
    for (std::size_t i = 0; i < batch.size(); ++i) codes[i] = stand_in_(batch[i].path);
  } else {
    // One open file per file system names it to syncfs; each file is opened all the
    // same, so that one that is gone answers for itself.
    struct FileSystem {
      Descriptor any_file;
      std::vector<std::size_t> members;  // indexes into the batch
    };
    std::map<dev_t, FileSystem> file_systems;
    for (std::size_t i = 0; i < batch.size(); ++i) {
      const Job& job = batch[i];
      if (!job.file.IsOpen() && job.host_path.empty()) {
        codes[i] = kInvalidFilename;
        continue;
      }
      Descriptor file(job.file.IsOpen()
                          ? ::fcntl(static_cast<int>(job.file.handle_), F_DUPFD_CLOEXEC, 0)
                          : ::open(job.host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
      struct stat st;
      if (file.get() < 0 || ::fstat(file.get(), &st) != 0) {
        codes[i] = ErrorCodeFromErrno(errno);
        continue;
      }
      file_systems.try_emplace(st.st_dev, FileSystem{std::move(file), {}})
          .first->second.members.push_back(i);
    }
    for (const auto& [device, file_system] : file_systems) {
      if (::syncfs(file_system.any_file.get()) == 0) continue;
      const int code = ErrorCodeFromErrno(errno);
      for (std::size_t i : file_system.members) codes[i] = code;
    }
  }
  for (std::size_t i = 0; i < batch.size(); ++i) batch[i].result.set_value(codes[i]);
}

}  // namespace platform
