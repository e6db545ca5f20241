// Compression of backup files in worker processes. The engine keeps its state
// process-wide and runs one operation at a time; each worker is a process of its own,
// the program torq32-worker started afresh (platform/process.h) with this process's
// drive table and current directory, so a backup can compress on every core while
// every engine still runs alone.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace backup {

struct PackResult {
  std::uint64_t number = 0;  // as submitted
  std::int64_t bytes = 0;    // CompressForBackup's answer
  std::exception_ptr error;  // what it raised, rebuilt in this process: EInOutError with
                             // its code, the engine's classes, else std::runtime_error
};

class PackWorkers {
 public:
  // Starts up to `count` workers; none when count < 2, when torq32-worker cannot be
  // found, or when the system refuses a process (the backup then compresses itself).
  explicit PackWorkers(int count);
  // Lets every worker finish the file it has, then ends it.
  ~PackWorkers();
  PackWorkers(const PackWorkers&) = delete;
  PackWorkers& operator=(const PackWorkers&) = delete;

  int Count() const;  // workers running
  int Busy() const;   // submitted files not yet waited for
  std::vector<int> ProcessIds() const;

  // Hands CompressForBackup(source, destination) to an idle worker; false when there is
  // none (or it has died), and then nothing was handed over.
  bool Submit(std::uint64_t number, const std::string& source, const std::string& destination);
  // Waits until one submitted file is done. Needs Busy() > 0. A worker that dies gives
  // its file an error result and is not used again. while_waiting, if given, is called
  // every few milliseconds while no file is done. A stop request (platform/interrupt.h)
  // ends the wait with EInOutError kOperationAborted.
  PackResult Wait(const std::function<void()>& while_waiting = nullptr);
  // Ends every worker at once, in the middle of its file: removing what they were
  // writing is the caller's part. Busy() and Count() are 0 afterwards.
  void Stop() noexcept;

 private:
  struct Worker {
    platform::HelperProcess process;
    bool busy = false;
    std::uint64_t number = 0;
  };
  std::vector<Worker> workers_;
};

// Workers for a backup: the processors this process may run on, at most four; 1 when
// there is only one (then the backup compresses in its own process).
int DefaultPackWorkers();

// The worker's side: torq32-worker's main. Answers its exit status: 0 when the backup
// closed the channel, 1 when it was not started by PackWorkers or lost its parent.
int RunPackWorker();

}  // namespace backup
