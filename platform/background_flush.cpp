// The queue and its worker thread. FlushTogether, the part that meets the disk, is the
// system's own: posix/background_flush.cpp, win32/background_flush.cpp.
#include "platform/background_flush.h"

#include <chrono>
#include <exception>
#include <vector>

#include "platform/drives.h"

namespace platform {
namespace {

// The most files one batch gathers.
constexpr std::size_t kFullBatch = 64;

}  // namespace

BackgroundFlush::BackgroundFlush(StandIn stand_in, std::chrono::milliseconds gather)
    : stand_in_(std::move(stand_in)), gather_(gather), worker_([this] { Work(); }) {}

BackgroundFlush::~BackgroundFlush() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

std::future<int> BackgroundFlush::Submit(const std::string& path) {
  Job job{path, ToHostPath(path).value_or(""), std::promise<int>(), {}};
  std::future<int> result = job.result->get_future();
  Queue(std::move(job));
  return result;
}

std::future<int> BackgroundFlush::Submit(File file) {
  std::string path = file.Path();
  Job job{std::move(path), {}, std::promise<int>(), std::move(file)};
  std::future<int> result = job.result->get_future();
  Queue(std::move(job));
  return result;
}

void BackgroundFlush::Add(const std::string& path) {
  Queue(Job{path, ToHostPath(path).value_or(""), std::nullopt, {}});
}

void BackgroundFlush::Add(File file) {
  std::string path = file.Path();
  Queue(Job{std::move(path), {}, std::nullopt, std::move(file)});
}

std::optional<std::string> BackgroundFlush::FirstFailure() {
  std::unique_lock lock(mutex_);
  draining_ = true;
  wake_.notify_one();  // ends a batch's gathering
  answered_all_.wait(lock, [this] { return answered_ == added_; });
  draining_ = false;
  return first_failure_;
}

void BackgroundFlush::Keep(const Job& job, bool failed) {
  if (job.result) return;
  if (failed && !first_failure_) first_failure_ = job.path;  // batches go in order
  ++answered_;
}

void BackgroundFlush::Queue(Job job) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (!job.result) ++added_;
    jobs_.push_back(std::move(job));
    wake = jobs_.size() == 1 || jobs_.size() == kFullBatch;
  }
  // Otherwise the worker is awake already, or gathering the batch.
  if (wake) wake_.notify_one();
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
          return stopping_ || draining_ || jobs_.size() >= kFullBatch;
        });
      }
      batch.swap(jobs_);
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
    for (std::size_t i = 0; i < batch.size(); ++i) Keep(batch[i], failure || codes[i] != 0);
    if (draining_ && answered_ == added_) answered_all_.notify_all();
  }
}

}  // namespace platform
