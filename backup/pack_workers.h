// Compression of backup files in worker threads. The engine runs one operation at a
// time on each thread (lz/lz_file.h), so each worker is a thread with an engine of its
// own (lz::ThreadEngine), and a backup can compress on every core.
//
// What the workers share with the backup's thread: the drive table and the current
// directory, which the constructor has the layer read before any worker starts and which
// nothing changes while the backup compresses, so the workers only read them; and the
// stop request (platform/interrupt.h), an atomic flag. Folder listings are kept for the
// backup's thread alone, and the tests' faults act on the thread that sets them. A
// submitted file is the worker's alone until the backup has waited for it.
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
  std::uint64_t number = 0;  // as submitted
  std::int64_t bytes = 0;    // CompressForBackup's answer
  std::exception_ptr error;  // what it raised
  // The compressed file, still open when it was written without an error (for its
  // flush); closed otherwise, as is the source.
  platform::File destination;
};

class PackWorkers {
 public:
  // Starts up to `count` workers; none when count < 2 or when the system refuses a
  // thread (the backup then compresses on its own thread). Each worker holds up to
  // `files_each` submitted files, the one it compresses and those queued behind it, so
  // that it goes on to the next without waiting for the backup's thread.
  explicit PackWorkers(int count, int files_each = 1);
  // Lets every worker finish the file it compresses, then ends it; the files queued
  // and not begun are closed.
  ~PackWorkers();
  PackWorkers(const PackWorkers&) = delete;
  PackWorkers& operator=(const PackWorkers&) = delete;

  // Asked, as every call but the workers' own, on the thread that made the workers, which
  // alone changes these: no lock needed.
  int Count() const;     // workers running
  int Busy() const;      // submitted files not yet waited for
  int Capacity() const;  // the most files submitted at once: Count() times files_each

  // Hands CompressForBackup(source, destination) to the worker that holds the fewest
  // files, with both files; false at Capacity() files not yet waited for, or when every
  // worker holds files_each, and then nothing was handed over. Each worker takes its
  // files in the order submitted; a sleeping one is woken once it holds files_each, or
  // by Wait. `facts`, if given, are the source's from its open (OpenSourceToPack).
  bool Submit(std::uint64_t number, platform::File& source, platform::File& destination,
              const std::optional<platform::FileFacts>& facts = std::nullopt);
  // The bytes of the submitted file `number` that its worker has compressed so far; 0
  // when no worker has it.
  std::int64_t BytesDone(std::uint64_t number) const;
  // Waits until one submitted file is done. Needs Busy() > 0. while_waiting, if given, is
  // called every few milliseconds while no file is done. A stop request ends the wait
  // with EInOutError kOperationAborted. With `awaited` (a submitted number) the wait is
  // woken early only by that file or by a worker that has no file left; any file done
  // may still be the answer.
  PackResult Wait(const std::function<void()>& while_waiting = nullptr,
                  std::uint64_t awaited = 0);
  // After a stop request, which ends each worker's file within a block of the engine's
  // work: waits for that and ends every worker. Removing what they wrote is the caller's
  // part. Busy() and Count() are 0 afterwards.
  void Stop() noexcept;

 private:
  struct Worker;
  void Run(Worker& worker);
  void EndWorkers() noexcept;

  const std::size_t files_each_;
  int busy_ = 0;  // the owner's count: submitted, not yet waited for
  mutable std::mutex mutex_;
  std::condition_variable done_;  // a worker has finished a file that Wait is woken for
  bool waiting_ = false;          // Wait or Stop sleeps on done_
  std::uint64_t awaited_ = 0;     // the file it is woken for; 0: any
  bool ending_ = false;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::deque<PackResult> results_;  // files done, not yet waited for
};

// Workers for a backup: the processors this process may run on, at most four; 1 when
// there is only one (then the backup compresses on its own thread).
int DefaultPackWorkers();

}  // namespace backup
