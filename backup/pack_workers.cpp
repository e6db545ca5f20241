#include "backup/pack_workers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "backup/pack_file.h"
#include "lz/lz_file.h"
#include "platform/drives.h"
#include "platform/interrupt.h"
#include "platform/processors.h"

namespace backup {
namespace {

constexpr int kMostWorkers = 4;
constexpr std::chrono::milliseconds kWaitTick{20};  // the window's repaints while waiting

}  // namespace

struct PackWorkers::Worker {
  struct Job {
    std::uint64_t number = 0;
    platform::File source, destination;
    std::optional<platform::FileFacts> facts;
  };
  // Guarded by the mutex, but bytes_done.
  std::deque<Job> queued;
  bool working = false;
  bool asleep = false;       // waits on `given`, and no one has woken it yet
  std::uint64_t number = 0;  // of the file being compressed
  std::atomic<std::int64_t> bytes_done = 0;
  std::condition_variable given;  // one a worker: a file wakes only the one that takes it
  std::thread thread;

  std::size_t Holds() const { return queued.size() + (working ? 1 : 0); }
};

PackWorkers::PackWorkers(int count, int files_each)
    : files_each_(static_cast<std::size_t>(std::max(files_each, 1))) {
  if (count < 2) return;
  // Read before any worker runs, so that the workers' look-ups only read them.
  static_cast<void>(platform::Drives());
  static_cast<void>(platform::GetCurrentDir());
  workers_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    auto worker = std::make_unique<Worker>();
    try {
      worker->thread = std::thread([this, &one = *worker] { Run(one); });
    } catch (const std::system_error&) {
      break;  // the workers started so far do the work
    }
    workers_.push_back(std::move(worker));
  }
}

PackWorkers::~PackWorkers() { EndWorkers(); }

void PackWorkers::EndWorkers() noexcept {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  for (const std::unique_ptr<Worker>& worker : workers_) worker->given.notify_one();
  for (const std::unique_ptr<Worker>& worker : workers_) worker->thread.join();
  workers_.clear();
  results_.clear();
  busy_ = 0;
}

void PackWorkers::Run(Worker& worker) {
  const lz::ThreadEngine engine;
  const lz::ProgressProc progress = [&worker](const lz::LZFileInfo&, std::int32_t count) {
    platform::RaiseIfStopRequested();
    if (count > 0) worker.bytes_done += count;
  };
  std::unique_lock lock(mutex_);
  for (;;) {
    worker.asleep = true;
    worker.given.wait(lock, [&] { return !worker.queued.empty() || ending_; });
    worker.asleep = false;
    if (ending_) return;
    Worker::Job job = std::move(worker.queued.front());
    worker.queued.pop_front();
    worker.working = true;
    worker.number = job.number;
    worker.bytes_done = 0;
    lock.unlock();
    PackResult result;
    result.number = job.number;
    result.destination = std::move(job.destination);
    try {
      result.bytes = CompressForBackup(job.source, result.destination, progress,
                                       job.facts ? &*job.facts : nullptr);
    } catch (...) {
      result.error = std::current_exception();
      result.destination = platform::File();
    }
    job.source = platform::File();
    lock.lock();
    worker.working = false;
    results_.push_back(std::move(result));
    // A file done ahead of its turn wakes no one, unless the worker needs more files.
    if (waiting_ && (awaited_ == 0 || awaited_ == job.number || worker.queued.empty())) {
      lock.unlock();
      done_.notify_all();
      lock.lock();
    }
  }
}

bool PackWorkers::Submit(std::uint64_t number, platform::File& source, platform::File& destination,
                         const std::optional<platform::FileFacts>& facts) {
  if (busy_ >= Capacity()) return false;
  Worker* worker = nullptr;
  bool wake = false;
  {
    const std::lock_guard lock(mutex_);
    const auto fewest =
        std::min_element(workers_.begin(), workers_.end(),
                         [](const auto& a, const auto& b) { return a->Holds() < b->Holds(); });
    if ((*fewest)->Holds() >= files_each_) return false;
    worker = fewest->get();
    worker->queued.push_back({number, std::move(source), std::move(destination), facts});
    // One wake-up for several files: for a full queue, or by Wait.
    wake = worker->asleep && worker->queued.size() >= files_each_;
    if (wake) worker->asleep = false;
  }
  ++busy_;
  if (wake) worker->given.notify_one();
  return true;
}

std::int64_t PackWorkers::BytesDone(std::uint64_t number) const {
  const std::lock_guard lock(mutex_);
  for (const std::unique_ptr<Worker>& worker : workers_) {
    if (worker->working && worker->number == number) return worker->bytes_done;
  }
  return 0;
}

PackResult PackWorkers::Wait(const std::function<void()>& while_waiting, std::uint64_t awaited) {
  std::unique_lock lock(mutex_);
  for (;;) {
    platform::RaiseIfStopRequested();
    if (!results_.empty()) {
      PackResult result = std::move(results_.front());
      results_.pop_front();
      --busy_;
      return result;
    }
    // A wait for nothing would never end: a fault of the caller's, told rather than hung on.
    if (busy_ == 0) throw std::logic_error("PackWorkers::Wait with nothing submitted");
    std::vector<Worker*> idle;
    for (const std::unique_ptr<Worker>& worker : workers_) {
      if (worker->asleep && !worker->queued.empty()) {
        worker->asleep = false;
        idle.push_back(worker.get());
      }
    }
    if (!idle.empty()) {
      lock.unlock();
      for (Worker* worker : idle) worker->given.notify_one();
      lock.lock();
      continue;
    }
    waiting_ = true;
    awaited_ = awaited;
    const std::cv_status status = done_.wait_for(lock, kWaitTick);
    waiting_ = false;
    if (status == std::cv_status::timeout && while_waiting) {
      lock.unlock();
      while_waiting();
      lock.lock();
    }
  }
}

void PackWorkers::Stop() noexcept {
  {
    std::unique_lock lock(mutex_);
    // Files not begun are closed; the caller removes them with the rest.
    for (const std::unique_ptr<Worker>& worker : workers_) worker->queued.clear();
    waiting_ = true;
    awaited_ = 0;
    done_.wait(lock, [this] {
      return std::none_of(workers_.begin(), workers_.end(),
                          [](const auto& w) { return w->working; });
    });
    waiting_ = false;
  }
  EndWorkers();
}

int DefaultPackWorkers() { return std::clamp(platform::UsableProcessors(), 1, kMostWorkers); }

}  // namespace backup
