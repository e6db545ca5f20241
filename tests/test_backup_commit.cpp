// A backup of tree B over an earlier backup of tree A, killed or stopped by a full disk
// at points all over its run: whatever it leaves, the next action on the folder finds a
// whole backup of A or of B, restores one of them byte for byte, and leaves no staged
// file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "backup/backup_testing.h"
#include "backup/check_date.h"
#include "backup/check_uin.h"
#include "backup/list_backup.h"
#include "backup/restore.h"
#include "backup/restore_testing.h"
#include "backup/verify.h"
#include "drive_sandbox.h"
#include "lz/lz_file.h"
#include "platform/fault_injection.h"
#include "platform/io_error.h"
#include "recording_window.h"
#include "restore_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace faults = platform::testing;
using Tree = std::map<std::string, std::string>;  // path below the ICQ folder -> bytes

std::string Bytes(std::mt19937& random, std::size_t count) {
  std::string bytes(count, '\0');
  for (char& c : bytes) c = "abcd efgh\r\n"[random() % 11];
  return bytes;
}

// The files a backup of each tree makes, besides the list: A has more numbers than B, a
// number that B leaves empty, and a file B keeps unchanged; B has a file A lacks.
Tree TreeA() {
  std::mt19937 random(1);
  return {{"newdb\\a.dat", Bytes(random, 3000)},   {"newdb\\b.dat", Bytes(random, 20000)},
          {"newdb\\sub\\c.dat", "kept as it is"},  {"newdb\\e.dat", ""},
          {"newdb\\f.dat", Bytes(random, 700)},    {"newdb\\g.dat", Bytes(random, 9000)},
          {"uin\\12345678.uin", Bytes(random, 40)}};
}

Tree TreeB() {
  std::mt19937 random(2);
  return {{"newdb\\a.dat", Bytes(random, 5000)},
          {"newdb\\b.dat", ""},
          {"newdb\\d.dat", Bytes(random, 30000)},
          {"newdb\\sub\\c.dat", "kept as it is"},
          {"uin\\87654321.uin", Bytes(random, 60)}};
}

// Names only a backup in progress makes in the backup folder.
bool IsStagedName(const std::string& name) {
  return name.starts_with("icq") &&
         (name.ends_with(".new") || name == "icqlist.put" || name == "icqlist.del");
}

class KilledBackupTest : public ::testing::Test {
 protected:
  KilledBackupTest() : drives_({'C', 'D'}) {
    lz::EngineStartup();
    faults::ResetFaults();
    drives_.WriteFile("C:\\home\\back.dat", "newdb\r\nuin\r\nTheEnd\r\n98b-2000b(P)\r\n");
    tuning_.workers = 1;  // one process: the operations come in the same order every run
    // A kill loses nothing the disk cache holds: the files' own flushes are left out, to
    // keep the runs short.
    tuning_.flush_stand_in = [](const std::string&) { return 0; };
    restore_tuning_.flush_stand_in = tuning_.flush_stand_in;

    WriteIcqTree(tree_a_);
    EXPECT_EQ(Backup(), backup::BackupOutcome::kSucceeded);
    backup_a_ = Folder();
    WriteIcqTree(tree_b_);
    EXPECT_EQ(Backup(), backup::BackupOutcome::kSucceeded);
    backup_b_ = Folder();
    EXPECT_NE(backup_a_, backup_b_);
  }
  ~KilledBackupTest() override { faults::ResetFaults(); }

  void WriteIcqTree(const Tree& tree) {
    fs::remove_all(drives_.Host("C:\\ICQ"));
    drives_.WriteFile("C:\\ICQ\\icq.exe", "");
    for (const auto& [path, bytes] : tree) drives_.WriteFile("C:\\ICQ\\" + path, bytes);
  }

  RecordingWindow Window(const std::string& icq_folder) const {
    RecordingWindow window;
    window.HomeFolder = "C:\\home";
    window.icq_folder = icq_folder;
    window.SetBackupFolderText("D:\\backup");
    return window;
  }

  backup::BackupOutcome Backup() {
    RecordingWindow window = Window("C:\\ICQ");
    window.answers = {true};
    return backup::BackupClick(window, tuning_);
  }

  // The backup folder as it stands: name -> bytes.
  Tree Folder() const { return SnapshotTree(drives_.Host("D:\\backup")); }

  // Puts the folder back to the whole backup of A.
  void RestoreBackupOfA() const {
    fs::remove_all(drives_.Host("D:\\backup"));
    drives_.MakeFolder("D:\\backup");
    for (const auto& [name, bytes] : backup_a_) drives_.WriteFile("D:\\backup\\" + name, bytes);
  }

  // Restores whatever the backup folder holds into an empty ICQ folder; its data files.
  Tree RestoreIntoFreshFolder() {
    fs::remove_all(drives_.Host("C:\\fresh"));
    drives_.WriteFile("C:\\fresh\\icq.exe", "");
    RecordingWindow window = Window("C:\\fresh");
    window.answers = {true};
    EXPECT_EQ(backup::RestoreClick(window, restore_tuning_), backup::RestoreOutcome::kSucceeded);
    EXPECT_EQ(window.lines, kSuccess);
    Tree restored;
    for (const auto& [path, bytes] : SnapshotTree(drives_.Host("C:\\fresh"))) {
      if (bytes == "<folder>" || path == "icq.exe") continue;
      std::string windows_path = path;
      std::replace(windows_path.begin(), windows_path.end(), '/', '\\');
      restored[windows_path] = bytes;
    }
    return restored;
  }

  std::vector<std::string> StagedNames() const {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Folder()) {
      if (IsStagedName(name)) names.push_back(name);
    }
    return names;
  }

  // Runs the backup of B in a child process killed before its nth file operation; false
  // when the backup ended before it.
  bool BackupKilledBefore(int n) {
    const pid_t child = ::fork();
    if (child == 0) {
      faults::ResetFaults();
      faults::BeforeNthOperation(n, [] { ::raise(SIGKILL); });
      try {
        Backup();
      } catch (...) {
      }
      ::_exit(0);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

  DriveSandbox drives_;
  backup::BackupTuning tuning_;
  backup::RestoreTuning restore_tuning_;
  const Tree tree_a_ = TreeA();
  const Tree tree_b_ = TreeB();
  Tree backup_a_, backup_b_;  // the backup folder after a whole backup of each tree
};

// The first action after the kill, each taking its turn: every one of them must find the
// folder holding the one backup or the other, nothing staged beside it.
struct FirstAction {
  const char* name;
  std::function<void(RecordingWindow&)> run;
};

const std::vector<FirstAction>& FirstActions() {
  static const std::vector<FirstAction> actions = {
      {"Check UIN", [](RecordingWindow& window) { backup::CheckUINClick(window); }},
      {"Check Date", [](RecordingWindow& window) { backup::CheckDateClick(window); }},
      {"list", [](RecordingWindow& window) { backup::ListBackupClick(window); }},
      {"verify", [](RecordingWindow& window) { backup::VerifyClick(window); }},
      {"restore", nullptr},  // the restore below is the first
  };
  return actions;
}

TEST_F(KilledBackupTest, KilledAnywhereLeavesOneWholeBackupAndARerunCleansUp) {
  RestoreBackupOfA();
  faults::ResetFaults();
  ASSERT_EQ(Backup(), backup::BackupOutcome::kSucceeded);
  const int operations = faults::OperationCount();
  ASSERT_GE(operations, 50);
  ASSERT_EQ(Folder(), backup_b_) << "a backup over a backup leaves the same folder each time";

  std::map<std::string, int> states;  // what the kills left, as the folder showed it
  int kills = 0;
  // Points spread over the run, and its last few operations, where the placement ends.
  const int stride = std::max(1, operations / 55);
  std::set<int> points;
  for (int n = 1; n <= operations; n += stride) points.insert(n);
  for (int n = std::max(1, operations - 4); n <= operations; ++n) points.insert(n);
  for (const int n : points) {
    const std::string when = "killed before operation " + std::to_string(n);
    RestoreBackupOfA();
    ASSERT_TRUE(BackupKilledBefore(n)) << when;
    ++kills;
    const Tree left = Folder();
    const bool committed = left.contains("icqlist.put");
    const bool staged = !StagedNames().empty();
    ++states[committed ? "committed" : staged ? "staged" : left == backup_b_ ? "B" : "A"];

    const FirstAction& first = FirstActions()[n % FirstActions().size()];
    if (first.run) {
      RecordingWindow window = Window("C:\\ICQ");
      first.run(window);
      const Tree found = Folder();
      EXPECT_TRUE(found == backup_a_ || found == backup_b_) << when << ", then " << first.name;
    }
    const Tree restored = RestoreIntoFreshFolder();
    EXPECT_TRUE(restored == tree_a_ || restored == tree_b_) << when;
    if (committed) {
      EXPECT_EQ(restored, tree_b_) << when << ": the new backup was committed";
    }
    EXPECT_EQ(StagedNames(), std::vector<std::string>{}) << when << ", then a restore";

    if (kills % 3 == 0) {
      ASSERT_EQ(Backup(), backup::BackupOutcome::kSucceeded) << when << ", then a backup";
      EXPECT_EQ(Folder(), backup_b_) << when << ", then a backup";
    }
  }
  std::printf("%d kill points over %d file operations: %d A, %d staged, %d committed, %d B\n",
              kills, operations, states["A"], states["staged"], states["committed"], states["B"]);
  EXPECT_GE(kills, 50);
  // The kills met every state: before the new backup began, while it was staged and after
  // its commit. (Once the earlier files' record is deleted, the last operation of the
  // run, the folder is B's backup: the whole run above.)
  for (const char* state : {"A", "staged", "committed"}) {
    EXPECT_GT(states[state], 0) << state;
  }
}

// The disk fills up at every write in turn: the earlier backup stays whole, nothing of
// the new one is left, and it restores.
TEST_F(KilledBackupTest, FullDiskAnywhereLeavesTheEarlierBackupWhole) {
  RestoreBackupOfA();
  WriteIcqTree(tree_b_);
  faults::ResetFaults();
  ASSERT_EQ(Backup(), backup::BackupOutcome::kSucceeded);
  int full = 0;
  for (int n = 1;; ++n) {
    RestoreBackupOfA();
    faults::ResetFaults();
    faults::FailFromNthOperation(n, faults::FileOp::kWrite, platform::kDiskFull);
    backup::BackupOutcome outcome = backup::BackupOutcome::kFailed;
    try {
      outcome = Backup();
    } catch (const platform::EInOutError& error) {
      EXPECT_EQ(error.ErrorCode(), platform::kDiskFull) << "write " << n;
    }
    faults::ResetFaults();
    if (outcome == backup::BackupOutcome::kSucceeded) break;  // no write left to fail
    ++full;
    EXPECT_EQ(Folder(), backup_a_) << "disk full at write " << n;
    EXPECT_EQ(RestoreIntoFreshFolder(), tree_a_) << "disk full at write " << n;
  }
  EXPECT_GE(full, 10);
  std::printf("the disk filled up at %d writes in turn\n", full);
}

}  // namespace
