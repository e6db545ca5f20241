// The queue and its worker thread. FlushTogether, the part that meets the disk, is the
// system's own: posix/background_flush.cpp, win32/background_flush.cpp.
#include "platform/background_flush.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <vector>

#include "platform/drives.h"
#include "platform/internal.h"

namespace platform {
BackgroundFlush::BackgroundFlush(StandIn stand_in, std::chrono::milliseconds gather,
                                 std::size_t batch)
    : stand_in_(std::move(stand_in)), gather_(gather), batch_(batch), worker_([this] { Work(); }) {}

void BackgroundFlush::Hurry() {
  {
    std::lock_guard lock(mutex_);
    hurry_ = true;
  }
  wake_.notify_one();
}

BackgroundFlush::~BackgroundFlush() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

std::future<int> BackgroundFlush::Submit(const std::string& path) {
  return Queue(Job{path, ToHostPath(path).value_or(""), {}, {}, {}});
}

std::future<int> BackgroundFlush::Submit(File file) {
  std::string path = file.Path();
  return Queue(Job{std::move(path), {}, {}, std::move(file), {}});
}

std::future<int> BackgroundFlush::Submit(std::shared_ptr<const FolderHandle> folder,
                                         const std::string& name) {
  std::string path = folder->Path() + "\\" + name;
  std::string host_path = detail::HostChild(folder->host_path_, name);
  return Queue(Job{std::move(path), std::move(host_path), {}, {}, std::move(folder)});
}

std::future<int> BackgroundFlush::Queue(Job job) {
  std::future<int> result = job.result.get_future();
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    wake = jobs_.size() == 1 || jobs_.size() == batch_;
  }
  // Otherwise the worker is awake already, or gathering the batch.
  if (wake) wake_.notify_one();
  return result;
}

void BackgroundFlush::Work() {
  while (true) {
    std::deque<Job> batch;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and every job handed over is done
      if (gather_.count() > 0) {
        wake_.wait_for(lock, gather_,
                       [this] { return stopping_ || hurry_ || jobs_.size() >= batch_; });
      }
      hurry_ = false;
      const std::size_t taken = std::min(jobs_.size(), batch_);
      std::move(jobs_.begin(), jobs_.begin() + static_cast<std::ptrdiff_t>(taken),
                std::back_inserter(batch));
      jobs_.erase(jobs_.begin(), jobs_.begin() + static_cast<std::ptrdiff_t>(taken));
    }
    try {
      std::vector<int> codes;
      if (stand_in_) {
        for (const Job& job : batch) codes.push_back(stand_in_(job.path));
      } else {
        codes = FlushTogether(batch);
      }
      for (std::size_t i = 0; i < batch.size(); ++i) batch[i].result.set_value(codes[i]);
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

}  // namespace platform
