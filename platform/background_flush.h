// Makes files durable on a worker thread while the caller goes on with the next ones.
//
// The worker takes every file queued so far (or, when told to gather, those queued
// within that time of the first, up to a full batch), opens each, and flushes them
// together with one syncfs per file system: one pass writes their data and inodes, where an fsync
// per file would wait for the disk once or twice per file. On Windows, which has no such call, it
// opens each file for writing and flushes it (FlushFileBuffers); a read-only file has its attribute
// lifted for that moment. The paths are resolved on the calling thread, which the layer's look-ups
// belong to; the worker touches only the files it is handed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"

namespace platform {

class BackgroundFlush {
 public:
  // Answers for one file (its path as submitted) instead of the disk: 0 or a Windows
  // error code. For tests that need a flush to fail.
  using StandIn = std::function<int(const std::string& path)>;

  // `gather`: how long a batch waits for more files after its first; for a caller that
  // waits for none of them before its end, where one flush of many costs the disk about
  // what one of a single file costs.
  explicit BackgroundFlush(StandIn stand_in = {}, std::chrono::milliseconds gather = {});
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
    std::string host_path;  // empty: on no drive
    std::optional<std::promise<int>> result;  // empty: added, answered in first_failure_
    File file;  // open: flushed through it, not by host_path
  };
  void Queue(Job job);
  // Under the lock: a kept answer of a job added.
  void Keep(const Job& job, bool failed);
  void Work();
  // The system's part: the code for each job of the batch, in its order.
  static std::vector<int> FlushTogether(const std::deque<Job>& batch);

  StandIn stand_in_;
  const std::chrono::milliseconds gather_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  bool draining_ = false;               // FirstFailure waits: no batch waits for more
  std::size_t added_ = 0, answered_ = 0;  // files added, and those of them answered
  std::optional<std::string> first_failure_;
  std::condition_variable answered_all_;
  std::thread worker_;
};

}  // namespace platform
