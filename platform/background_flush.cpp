// The queue and its worker thread; FlushTogether, which meets the disk, is each system's.
#include "platform/background_flush.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <vector>

#include "platform/drives.h"
#include "platform/internal.h"

namespace platform {

BackgroundFlush::BackgroundFlush(StandIn stand_in, std::chrono::milliseconds gather,
                                 std::size_t batch)
    : stand_in_(std::move(stand_in)), gather_(gather), batch_(batch), worker_([this] { Work(); }) {}

void BackgroundFlush::Raise(bool& flag) {
  {
    std::lock_guard lock(mutex_);
    flag = true;
  }
  wake_.notify_one();
}

void BackgroundFlush::Hurry() { Raise(hurry_); }

BackgroundFlush::~BackgroundFlush() {
  Raise(stopping_);
  worker_.join();
}

std::future<int> BackgroundFlush::Submit(const std::string& path) {
  return Queue({path, ToHostPath(path).value_or(""), std::promise<int>(), {}, {}});
}

std::future<int> BackgroundFlush::Submit(std::shared_ptr<const FolderHandle> folder,
                                         const std::string& name) {
  std::string path = folder->Path() + "\\" + name;
  std::string host_path = detail::HostChild(folder->host_path_, name);
  return Queue({std::move(path), std::move(host_path), std::promise<int>(), {}, std::move(folder)});
}

void BackgroundFlush::Add(const std::string& path) {
  Queue({path, ToHostPath(path).value_or(""), std::nullopt, {}, {}});
}

void BackgroundFlush::Add(File file) {
  Queue({file.Path(), {}, std::nullopt, std::move(file), {}});  // the path is taken first
}

std::optional<std::string> BackgroundFlush::FirstFailure() {
  std::unique_lock lock(mutex_);
  draining_ = true;
  wake_.notify_one();  // ends a batch's gathering
  answered_all_.wait(lock, [this] { return answered_ == added_; });
  draining_ = false;
  return first_failure_;
}

std::future<int> BackgroundFlush::Queue(Job job) {
  std::future<int> result = job.result ? job.result->get_future() : std::future<int>();
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (!job.result) ++added_;
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
        wake_.wait_for(lock, gather_, [this] {
          return stopping_ || draining_ || hurry_ || jobs_.size() >= batch_;
        });
      }
      hurry_ = false;
      const auto taken = static_cast<std::ptrdiff_t>(std::min(jobs_.size(), batch_));
      std::move(jobs_.begin(), jobs_.begin() + taken, std::back_inserter(batch));
      jobs_.erase(jobs_.begin(), jobs_.begin() + taken);
    }
    std::vector<int> codes;
    std::exception_ptr failure;
    try {
      if (stand_in_) {
        for (const Job& job : batch) codes.push_back(stand_in_(job.path));
      } else {
        codes = FlushTogether(batch);
      }
    } catch (...) {
      failure = std::current_exception();
    }
    // Closed before any answer: the caller may rename or delete them next.
    for (Job& job : batch) job.file = File();
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (!batch[i].result) continue;
      if (failure) {
        batch[i].result->set_exception(failure);
      } else {
        batch[i].result->set_value(codes[i]);
      }
    }
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (batch[i].result) continue;
      // Batches go in order: the first failure kept is the first file's.
      if ((failure || codes[i] != 0) && !first_failure_) first_failure_ = batch[i].path;
      ++answered_;
    }
    if (draining_ && answered_ == added_) answered_all_.notify_all();
  }
}

}  // namespace platform
