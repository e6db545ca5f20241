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
// How often a backup waiting for its workers is called back: a wait shorter than this
// is not worth a repaint of the window.
constexpr std::chrono::milliseconds kWaitTick{20};

}  // namespace

struct PackWorkers::Worker {
  enum class State { kIdle, kGiven, kDone };
  State state = State::kIdle;  // the rest but bytes_done is guarded by the mutex
  std::uint64_t number = 0;
  platform::File source, destination;
  PackResult result;
  std::atomic<std::int64_t> bytes_done = 0;
  // This worker has a file, or the workers are to end: each has its own, so that a file
  // handed over wakes only the worker that takes it.
  std::condition_variable given;
  std::thread thread;
};

PackWorkers::PackWorkers(int count) {
  if (count < 2) return;
  // Read here, before any worker runs, so that the workers' look-ups only read them.
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
}

void PackWorkers::Run(Worker& worker) {
  const lz::ThreadEngine engine;
  // The engine calls back at every block: the count for the gauge, and the stop request.
  const lz::ProgressProc progress = [&worker](const lz::LZFileInfo&, std::int32_t count) {
    platform::RaiseIfStopRequested();
    if (count > 0) worker.bytes_done += count;
  };
  std::unique_lock lock(mutex_);
  for (;;) {
    worker.given.wait(lock, [&] { return worker.state == Worker::State::kGiven || ending_; });
    if (worker.state != Worker::State::kGiven) return;
    PackResult result;
    result.number = worker.number;
    platform::File source = std::move(worker.source);
    result.destination = std::move(worker.destination);
    lock.unlock();
    try {
      result.bytes = CompressForBackup(source, result.destination, progress);
    } catch (...) {
      result.error = std::current_exception();
      result.destination = platform::File();
    }
    source = platform::File();
    lock.lock();
    worker.result = std::move(result);
    worker.state = Worker::State::kDone;
    done_.notify_all();
  }
}

int PackWorkers::Count() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(workers_.size());
}

int PackWorkers::Busy() const {
  const std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(workers_.begin(), workers_.end(), [](const auto& w) {
    return w->state != Worker::State::kIdle;
  }));
}

bool PackWorkers::Submit(std::uint64_t number, platform::File& source,
                         platform::File& destination) {
  Worker* worker = nullptr;
  {
    const std::lock_guard lock(mutex_);
    const auto idle = std::find_if(workers_.begin(), workers_.end(),
                                   [](const auto& w) { return w->state == Worker::State::kIdle; });
    if (idle == workers_.end()) return false;
    worker = idle->get();
    worker->number = number;
    worker->source = std::move(source);
    worker->destination = std::move(destination);
    worker->bytes_done = 0;
    worker->state = Worker::State::kGiven;
  }
  worker->given.notify_one();
  return true;
}

std::int64_t PackWorkers::BytesDone(std::uint64_t number) const {
  const std::lock_guard lock(mutex_);
  for (const std::unique_ptr<Worker>& worker : workers_) {
    if (worker->state != Worker::State::kIdle && worker->number == number) {
      return worker->bytes_done;
    }
  }
  return 0;
}

PackResult PackWorkers::Wait(const std::function<void()>& while_waiting) {
  std::unique_lock lock(mutex_);
  for (;;) {
    platform::RaiseIfStopRequested();
    bool busy = false;
    for (const std::unique_ptr<Worker>& worker : workers_) {
      if (worker->state == Worker::State::kDone) {
        worker->state = Worker::State::kIdle;
        return std::move(worker->result);
      }
      busy = busy || worker->state == Worker::State::kGiven;
    }
    if (!busy) throw std::logic_error("PackWorkers::Wait with nothing submitted");
    if (done_.wait_for(lock, kWaitTick) == std::cv_status::timeout && while_waiting) {
      lock.unlock();
      while_waiting();
      lock.lock();
    }
  }
}

void PackWorkers::Stop() noexcept {
  {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] {
      return std::none_of(workers_.begin(), workers_.end(),
                          [](const auto& w) { return w->state == Worker::State::kGiven; });
    });
    for (const std::unique_ptr<Worker>& worker : workers_) worker->state = Worker::State::kIdle;
  }
  EndWorkers();
}

int DefaultPackWorkers() { return std::clamp(platform::UsableProcessors(), 1, kMostWorkers); }

}  // namespace backup
