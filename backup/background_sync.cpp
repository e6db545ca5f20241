#include "backup/background_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/io_error.h"

namespace backup {

int SyncHostFile(const std::string& host_path) {
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return platform::ErrorCodeFromErrno(errno);
  int code = 0;
  if (::fsync(fd) != 0 && errno != EINVAL) code = platform::ErrorCodeFromErrno(errno);
  if (::close(fd) != 0 && errno != EINTR && code == 0) code = platform::ErrorCodeFromErrno(errno);
  return code;
}

BackgroundSync::BackgroundSync(int threads, SyncFile sync)
    : sync_(sync ? std::move(sync) : SyncFile(SyncHostFile)) {
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

BackgroundSync::~BackgroundSync() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

std::future<int> BackgroundSync::Submit(std::string host_path) {
  Job job{std::move(host_path), {}};
  std::future<int> result = job.result.get_future();
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  return result;
}

void BackgroundSync::Work() {
  while (true) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and every job handed over is done
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job.result.set_value(sync_(job.host_path));
    } catch (...) {
      job.result.set_exception(std::current_exception());
    }
  }
}

}  // namespace backup
