// Makes files durable on a worker thread while the caller goes on: a batch goes with one
// syncfs per file system, where an fsync per file would wait for the disk each time (Windows
// flushes each file). Paths are looked up on the calling thread.
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
  // Answers for a file (its path as submitted) instead of the disk, for tests: 0 or a code.
  using StandIn = std::function<int(const std::string& path)>;

  // `gather`: how long a batch waits for more files after its first, for a caller that
  // waits for none before its end (one flush of many costs the disk about what one costs).
  // `batch`: the most files one flush takes, and the count that ends a gathering.
  explicit BackgroundFlush(StandIn stand_in = {}, std::chrono::milliseconds gather = {},
                           std::size_t batch = 64);
  ~BackgroundFlush();  // flushes every file handed over, then ends the worker
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;

  // Queues a file; the future answers 0 once it is on the disk, or a Windows error code
  // (3 for a path on no drive, 2 for a file that is gone).
  std::future<int> Submit(const std::string& path);
  // Queues the file `name` of a held folder (folder_handle.h) without a path look-up: on
  // POSIX the folder names its file system to syncfs; on Windows the file is opened in it.
  std::future<int> Submit(std::shared_ptr<const FolderHandle> folder, const std::string& name);
  // The caller is about to wait for a file: the batch being gathered goes at once.
  void Hurry();
  // For a caller that asks only at its end: the answer is kept for FirstFailure, as a
  // future per file costs a system call. The open files added all lie on one file system
  // (a backup's folder), which one syncfs through the first of a batch makes durable.
  void Add(const std::string& path);
  void Add(File file);
  // Waits until every file added is flushed; the path of the first one that could not be.
  std::optional<std::string> FirstFailure();

 private:
  struct Job {
    std::string path;
    std::string host_path;                       // empty: on no drive
    std::optional<std::promise<int>> result;     // empty: added, answered in first_failure_
    File file;                                   // open: added open, flushed through it
    std::shared_ptr<const FolderHandle> folder;  // POSIX: flushed through it, not by host_path
  };
  std::future<int> Queue(Job job);
  void Raise(bool& flag);  // sets one of the flags below and wakes the worker
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
