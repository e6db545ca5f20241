// Flushes files to disk on worker threads. One fsync waits for a journal commit; several
// waiting at once share one, and they overlap the decoding of the next files. The
// workers touch nothing but the host files handed to them: the platform layer and the
// engine, which keep process-wide state, stay on the calling thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace backup {

// Opens a host file for reading, fsyncs and closes it: 0, or a Windows error code.
int SyncHostFile(const std::string& host_path);

class BackgroundSync {
 public:
  using SyncFile = std::function<int(const std::string& host_path)>;

  // threads >= 1 workers, each running sync (SyncHostFile when empty) on what it gets.
  BackgroundSync(int threads, SyncFile sync);
  ~BackgroundSync();  // waits for every file handed over, then ends the workers
  BackgroundSync(const BackgroundSync&) = delete;
  BackgroundSync& operator=(const BackgroundSync&) = delete;

  // Queues one file; the future answers what sync answered for it.
  std::future<int> Submit(std::string host_path);

 private:
  struct Job {
    std::string host_path;
    std::promise<int> result;
  };
  void Work();

  SyncFile sync_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace backup
