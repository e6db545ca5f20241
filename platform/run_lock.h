// Keeps two runs of the program off one folder: a run holds a lock on the file
// kRunLockFileName in it, made when missing and deleted when the run lets go. The lock is the
// process's, free however the process ends, so a killed run blocks no other; nothing waits.
// POSIX: flock on the file, which counts only while the folder's entry still is the file
// locked (its holder may have deleted it). Windows: the file opened delete-on-close and
// shared with nobody.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// No name the program's own files bear, so that nothing takes it for one of them.
inline constexpr char kRunLockFileName[] = "torq32.lck";

enum class FolderLock {
  kTaken,       // this run holds the folder (also when it held it already, by another name)
  kInUse,       // another process holds it
  kCannotHold,  // no lock file can be made there: a read-only folder, or none at all
};

// The folders one run holds; lets them go, deleting their lock files, when it is
// destroyed. Not shared between threads.
class RunLocks {
 public:
  RunLocks() = default;
  RunLocks(RunLocks&& other) noexcept : held_(std::exchange(other.held_, {})) {}
  RunLocks& operator=(RunLocks&&) = delete;
  ~RunLocks() { Release(); }

  // Locks the folder (a Windows path text) for this run. A folder held already under
  // another name (letter case, a link, another drive) is not locked twice. Failures of
  // the system other than those answered raise EInOutError.
  FolderLock Take(const std::string& folder);

  // Lets every folder go; their lock files are deleted first, so none is left behind.
  void Release() noexcept;

  // True when the path (a Windows path text) is the lock file of a folder this run holds.
  bool IsLockFile(const std::string& path) const;

 private:
  struct Held {
    std::intptr_t handle;   // the open lock file
    std::string host_path;  // where it was locked
  };
  std::vector<Held> held_;
};

}  // namespace platform
