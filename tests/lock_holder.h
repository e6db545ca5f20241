// A process that holds a folder's run lock, as another copy of the program running on
// it would: for tests of what a run does when it finds its folder in use.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/run_lock.h"

// A process that takes the folder's lock and keeps it until it is killed or told to
// end (its standard input closed); it answers its Take on a pipe first.
class LockHolder {
 public:
  explicit LockHolder(const std::string& folder) {
    int answer[2], quit[2];
    if (::pipe(answer) != 0 || ::pipe(quit) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(answer[0]);
      ::close(quit[1]);
      platform::RunLocks locks;
      const char taken = static_cast<char>(locks.Take(folder));
      if (::write(answer[1], &taken, 1) != 1) ::_exit(1);
      char ignored;
      while (::read(quit[0], &ignored, 1) > 0) {
      }
      locks.Release();
      ::_exit(0);
    }
    ::close(answer[1]);
    ::close(quit[0]);
    quit_ = quit[1];
    char taken = -1;
    if (::read(answer[0], &taken, 1) == 1) taken_ = static_cast<platform::FolderLock>(taken);
    ::close(answer[0]);
  }
  ~LockHolder() { Kill(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  platform::FolderLock Taken() const { return taken_; }

  // Lets go as a run that ends; answers its exit status.
  int End() {
    ::close(quit_);
    int status = -1;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Dies holding the lock, as a run the user kills.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(quit_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int quit_ = -1;
  platform::FolderLock taken_ = static_cast<platform::FolderLock>(-1);
};
