// Compression of backup files in worker threads, each with an engine of its own. A submitted
// file is the worker's alone until the backup has waited for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace backup {

struct PackResult {
  std::uint64_t number = 0;    // as submitted
  std::int64_t bytes = 0;      // CompressForBackup's answer
  std::exception_ptr error;    // what it raised
  platform::File destination;  // still open for its flush, unless it failed
};

class PackWorkers {
 public:
  // Starts up to `count` workers (none when count < 2), each queueing up to `files_each`
  // files so that it goes on to the next without waiting for the backup's thread.
  explicit PackWorkers(int count, int files_each = 1);
  ~PackWorkers();  // lets every worker finish its file; the files queued are closed
  PackWorkers(const PackWorkers&) = delete;
  PackWorkers& operator=(const PackWorkers&) = delete;

  // Every call comes from the thread that made the workers.
  int Count() const { return static_cast<int>(workers_.size()); }
  int Busy() const { return busy_; }  // submitted files not yet waited for
  int Capacity() const { return Count() * static_cast<int>(files_each_); }

  // To the worker that holds the fewest files; false, nothing handed over, when all are full.
  bool Submit(std::uint64_t number, platform::File& source, platform::File& destination,
              const std::optional<platform::FileFacts>& facts = std::nullopt);
  // The bytes of submitted file `number` compressed so far; 0 when no worker has it.
  std::int64_t BytesDone(std::uint64_t number) const;
  // Until one submitted file is done, calling while_waiting meanwhile; a stop request raises.
  // With `awaited`, only that file or a worker with no file left wakes it early.
  PackResult Wait(const std::function<void()>& while_waiting = nullptr, std::uint64_t awaited = 0);
  // After a stop request: ends every worker. Removing what they wrote is the caller's part.
  void Stop() noexcept;

 private:
  struct Worker;
  void Run(Worker& worker);
  void EndWorkers() noexcept;

  const std::size_t files_each_;
  int busy_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable done_;  // a worker has finished a file that Wait is woken for
  bool waiting_ = false;          // Wait or Stop sleeps on done_
  std::uint64_t awaited_ = 0;     // the file it is woken for; 0: any
  bool ending_ = false;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::deque<PackResult> results_;  // files done, not yet waited for
};

// The processors this process may run on, at most four.
int DefaultPackWorkers();

}  // namespace backup
