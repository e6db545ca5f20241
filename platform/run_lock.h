// Keeps two runs of the program off one folder.
//
// A run that uses a folder holds a lock on the lock file kRunLockFileName in it, made
// when missing and deleted again when the run lets go. The lock belongs to the process:
// it is free the moment the process ends, however it ends, so a run that was killed
// never blocks the next one; the file it left is taken over and deleted by the next run
// that locks the folder. Nothing waits for a lock: a folder another process holds is
// answered at once.
//
// On POSIX the lock is flock(LOCK_EX | LOCK_NB) on the file, opened without following
// a link. A process that had the file open when its holder deleted it may get the lock
// of a file no longer in the folder; the lock counts only when the folder's entry still
// is the file locked, else it is tried again on the entry there now. On Windows it is
// LockFileEx (exclusive, fail at once) on the file opened to be deleted when closed, so
// not even a killed run leaves it behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The lock file's name. It is no name the program's own files bear (the list, the
// compressed files, the settings), so nothing takes it for one of them.
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
  RunLocks(RunLocks&& other) noexcept;
  RunLocks& operator=(RunLocks&& other) noexcept;
  RunLocks(const RunLocks&) = delete;
  RunLocks& operator=(const RunLocks&) = delete;
  ~RunLocks();

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
