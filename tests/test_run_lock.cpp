// The run lock between real processes on real folders: a folder another process holds
// is in use until that process lets go or dies, one folder is locked once whatever its
// name, a lock file deleted under a waiting process never lets two runs in, and a
// folder that cannot hold a lock file is answered as such.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/run_lock.h"
#include "tests/drive_sandbox.h"
#include "tests/lock_holder.h"

namespace {

namespace fs = std::filesystem;
using platform::FolderLock;
using platform::RunLocks;

constexpr int kUnprivileged = 65534;  // nobody

// Runs `take` in a child process as an unprivileged user (this one, when it is not
// root) and answers what it answered.
template <typename Take>
FolderLock AsUnprivilegedUser(Take take) {
  int answer[2];
  if (::pipe(answer) != 0) return static_cast<FolderLock>(-1);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivileged) != 0 ||
                             ::setuid(kUnprivileged) != 0)) {
      ::_exit(1);
    }
    const char taken = static_cast<char>(take());
    ::_exit(::write(answer[1], &taken, 1) == 1 ? 0 : 1);
  }
  ::close(answer[1]);
  char taken = -1;
  const bool read = ::read(answer[0], &taken, 1) == 1;
  ::close(answer[0]);
  ::waitpid(child, nullptr, 0);
  return read ? static_cast<FolderLock>(taken) : static_cast<FolderLock>(-1);
}

class RunLockTest : public ::testing::Test {
 protected:
  RunLockTest() : drives_({'C', 'D'}) { drives_.MakeFolder("C:\\Backup"); }

  bool LockFileThere(const std::string& folder) const {
    return fs::exists(drives_.Host(folder) / platform::kRunLockFileName);
  }

  DriveSandbox drives_;
};

TEST_F(RunLockTest, AFolderAnotherProcessHoldsIsInUseUntilItEndsAndNoFileStays) {
  LockHolder holder("C:\\Backup");
  ASSERT_EQ(holder.Taken(), FolderLock::kTaken);
  EXPECT_TRUE(LockFileThere("C:\\Backup"));
  {
    RunLocks second;
    EXPECT_EQ(second.Take("C:\\Backup"), FolderLock::kInUse);
    EXPECT_EQ(second.Take("c:\\backup\\"), FolderLock::kInUse);
  }
  EXPECT_TRUE(LockFileThere("C:\\Backup"));  // a refused run does not take the holder's file
  EXPECT_EQ(holder.End(), 0);
  EXPECT_FALSE(LockFileThere("C:\\Backup"));

  RunLocks after;
  EXPECT_EQ(after.Take("C:\\Backup"), FolderLock::kTaken);
  after.Release();
  EXPECT_FALSE(LockFileThere("C:\\Backup"));
  EXPECT_EQ(fs::directory_iterator(drives_.Host("C:\\Backup")), fs::directory_iterator());
}

TEST_F(RunLockTest, ALockIsFreeTheMomentItsHolderIsKilledAndItsFileIsTakenOver) {
  LockHolder holder("C:\\Backup");
  ASSERT_EQ(holder.Taken(), FolderLock::kTaken);
  holder.Kill();
  EXPECT_TRUE(LockFileThere("C:\\Backup"));  // the killed run could not delete it
  {
    RunLocks next;
    EXPECT_EQ(next.Take("C:\\Backup"), FolderLock::kTaken);
    EXPECT_TRUE(next.IsLockFile("C:\\Backup\\" + std::string(platform::kRunLockFileName)));
    LockHolder third("C:\\Backup");
    EXPECT_EQ(third.Taken(), FolderLock::kInUse);
  }
  EXPECT_FALSE(LockFileThere("C:\\Backup"));
}

TEST_F(RunLockTest, OneFolderUnderSeveralNamesIsLockedOnce) {
  drives_.AddDrive('Z', drives_.Root());  // Z:\C\Backup is C:\Backup
  fs::create_directory_symlink(drives_.Host("C:\\Backup"), drives_.Host("C:\\Link"));
  RunLocks locks;
  EXPECT_EQ(locks.Take("C:\\Backup"), FolderLock::kTaken);
  EXPECT_EQ(locks.Take("C:\\BACKUP"), FolderLock::kTaken);
  EXPECT_EQ(locks.Take("Z:\\C\\Backup"), FolderLock::kTaken);
  EXPECT_EQ(locks.Take("C:\\Link"), FolderLock::kTaken);
  EXPECT_EQ(LockHolder("Z:\\C\\backup").Taken(), FolderLock::kInUse);
  EXPECT_FALSE(locks.IsLockFile("C:\\Backup\\other.txt"));
  locks.Release();
  EXPECT_FALSE(LockFileThere("C:\\Backup"));
  EXPECT_EQ(LockHolder("C:\\Link").Taken(), FolderLock::kTaken);
}

TEST_F(RunLockTest, FoldersThatCannotHoldALockFileAreSaidSoAndLeftAlone) {
  RunLocks locks;
  EXPECT_EQ(locks.Take("C:\\Missing"), FolderLock::kCannotHold);
  EXPECT_FALSE(fs::exists(drives_.Host("C:\\Missing")));
  EXPECT_EQ(locks.Take("Q:\\Backup"), FolderLock::kCannotHold);  // on no drive
  fs::create_directory(drives_.Host("C:\\Backup") / platform::kRunLockFileName);
  EXPECT_EQ(locks.Take("C:\\Backup"), FolderLock::kCannotHold);  // the name is a folder's

  // A folder read-only to the user, as a CD is: nothing is made there.
  drives_.MakeFolder("C:\\CD");
  fs::permissions(drives_.Root(), fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::add);
  fs::permissions(drives_.Host("C:\\"), fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::add);
  fs::permissions(drives_.Host("C:\\CD"), fs::perms::owner_write | fs::perms::group_write,
                  fs::perm_options::remove);
  EXPECT_EQ(AsUnprivilegedUser([] { return RunLocks().Take("C:\\CD"); }), FolderLock::kCannotHold);
  EXPECT_FALSE(LockFileThere("C:\\CD"));

  // The same folder while a user who may write there holds it: the lock file is read
  // and found in use.
  LockHolder writer("C:\\CD");
  ASSERT_EQ(writer.Taken(), FolderLock::kTaken);
  EXPECT_EQ(AsUnprivilegedUser([] { return RunLocks().Take("C:\\CD"); }), FolderLock::kInUse);
  EXPECT_EQ(writer.End(), 0);
}

// Processes that take and let go of one folder's lock as fast as they can, each
// marking its time inside with a file only one can make at a time. A process that
// opened the lock file just before its holder deleted it, and locked the deleted file,
// would be inside beside the one that locked the new file.
TEST_F(RunLockTest, ALockFileDeletedUnderAWaitingProcessNeverLetsTwoIn) {
  constexpr int kProcesses = 4;
  constexpr int kRounds = 400;
  constexpr int kTwoInside = 2;
  const fs::path inside = drives_.Host("D:\\") / "inside";
  const fs::path entries = drives_.Host("D:\\") / "entries";
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    if (child == 0) {
      const int log = ::open(entries.c_str(), O_CREAT | O_APPEND | O_WRONLY, 0600);
      for (int round = 0; round < kRounds; ++round) {
        RunLocks locks;
        if (locks.Take("C:\\Backup") != FolderLock::kTaken) continue;
        const int mark = ::open(inside.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (mark < 0) ::_exit(kTwoInside);
        ::close(mark);
        if (::write(log, "+", 1) != 1) ::_exit(1);
        ::sched_yield();
        ::unlink(inside.c_str());
      }
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "exit status " << status;
  }
  EXPECT_GT(fs::file_size(entries), 0u);
  EXPECT_FALSE(LockFileThere("C:\\Backup"));
}

}  // namespace
