// Makes files durable on a worker thread while the caller goes on with the next ones: a
// batch (what is queued, or gathered for a while) goes with one syncfs per file system, where
// an fsync per file would wait for the disk each time; Windows flushes each file. Paths are
// looked up on the calling thread; the worker touches only the files it is handed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/folder_handle.h"

namespace platform {

class BackgroundFlush {
 public:
  // Answers for one file (its path as submitted) instead of the disk: 0 or a Windows
  // error code. For tests that need a flush to fail.
  using StandIn = std::function<int(const std::string& path)>;

  // `gather`: how long a batch waits for more files after its first; for a caller that
  // waits for none of them before its end, where one flush of many costs the disk about
  // what one of a single file costs.
  // `batch`: the most files one flush takes, and when gathering, the count that ends it.
  explicit BackgroundFlush(StandIn stand_in = {}, std::chrono::milliseconds gather = {},
                           std::size_t batch = 64);
  ~BackgroundFlush();  // flushes every file handed over, then ends the worker
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;

  // Queues a file; the future answers 0 once it is on the disk, or a Windows error code
  // (3 for a path on no drive, 2 for a file that is gone).
  std::future<int> Submit(const std::string& path);
  // Queues a file opened elsewhere (through a held folder, folder_handle.h), kept open
  // until it is flushed, so that no name is looked up again. The stand-in is given its
  // Path().
  std::future<int> Submit(File file);
  // Queues the file `name` of a held folder (folder_handle.h), looked up by no path: on
  // POSIX the folder names its file system to syncfs, so the file is not even opened; on
  // Windows the file is opened in the folder and flushed. The stand-in is given its path.
  std::future<int> Submit(std::shared_ptr<const FolderHandle> folder, const std::string& name);
  // The caller is about to wait for a file: the batch being gathered goes at once.
  void Hurry();
  // The same for a caller that asks only at its end: the answer is kept for FirstFailure
  // instead of told by a future, whose keeping costs a call into the system per file.
  // The files added open are all on one file system (a backup's folder): one syncfs
  // through the first of a batch makes them durable, none of them asked for its own.
  void Add(const std::string& path);
  void Add(File file);
  // Waits until every file added is flushed; the path, as added, of the first one added
  // that could not be, or nullopt.
  std::optional<std::string> FirstFailure();

 private:
  struct Job {
    std::string path;
    std::string host_path;                       // empty: on no drive
    std::optional<std::promise<int>> result;     // empty: added, answered in first_failure_
    File file;                                   // open: flushed through it, not by host_path
    std::shared_ptr<const FolderHandle> folder;  // POSIX: flushed through it, not by host_path
  };
  void Queue(Job job);
  // Under the lock: a kept answer of a job added.
  void Keep(const Job& job, bool failed);
  void Work();
  // The system's part: the code for each job of the batch, in its order.
  static std::vector<int> FlushTogether(const std::deque<Job>& batch);

  StandIn stand_in_;
  const std::chrono::milliseconds gather_;
  const std::size_t batch_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  bool draining_ = false;                 // FirstFailure waits: no batch waits for more
  bool hurry_ = false;                    // Hurry was called: the batch gathering now goes
  std::size_t added_ = 0, answered_ = 0;  // files added, and those of them answered
  std::optional<std::string> first_failure_;
  std::condition_variable answered_all_;
  std::thread worker_;
};

}  // namespace platform
