// The actions on a home folder, an ICQ folder or a backup folder that another copy of the
// program is using: each stops at once with the report naming the folder and changes nothing on
// any drive; once the other copy is gone, even killed, it runs and leaves no lock file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/reports.h"
#include "backup/backup.h"
#include "backup/backup_testing.h"
#include "backup/check_date.h"
#include "backup/check_uin.h"
#include "backup/restore.h"
#include "lz/lz_file.h"
#include "tests/drive_sandbox.h"
#include "tests/lock_holder.h"
#include "tests/recording_window.h"
#include "tests/restore_fixture.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The action run, and whether it ended as it does on its own folders.
using Action = std::function<bool(app::WindowSeam&)>;

bool Backup(app::WindowSeam& window) {
  backup::BackupTuning in_this_process;
  in_this_process.workers = 1;
  return backup::BackupClick(window, in_this_process) == backup::BackupOutcome::kSucceeded;
}
bool Restore(app::WindowSeam& window) {
  return backup::RestoreClick(window) == backup::RestoreOutcome::kSucceeded;
}

struct ActionCase {
  const char* name;
  Action run;
  const char* held;  // the folder the other copy holds
};

void PrintTo(const ActionCase& c, std::ostream* os) { *os << c.name; }

Lines InUseReport(const std::string& folder) {
  return {" ",
          " Error!",
          " ",
          " Folder in use : ",
          app::ShortPath(folder) + "!",
          " ",
          " ",
          " Note:",
          " Wait: another copy of the program is using this folder!",
          " Try again once it has finished!"};
}

class ActionLockTest : public ::testing::TestWithParam<ActionCase> {
 protected:
  ActionLockTest() : drives_({'C', 'D'}) {
    lz::EngineStartup();
    drives_.WriteFile("C:\\home\\back.dat", "newdb\r\nuin\r\nTheEnd\r\n98b-2000b(P)\r\n");
    drives_.WriteFile("C:\\ICQ\\icq.exe", "");
    drives_.WriteFile("C:\\ICQ\\newdb\\contacts.dat", std::string(20000, 'c') + "end");
    drives_.WriteFile("C:\\ICQ\\uin\\12345678.uin", "uin data");
    RecordingWindow first = Window();
    EXPECT_TRUE(Backup(first)) << ::testing::PrintToString(first.lines);
    // The data changed since: a restore would change it back.
    drives_.WriteFile("C:\\ICQ\\newdb\\contacts.dat", "changed");
  }

  RecordingWindow Window() const {
    RecordingWindow window;
    window.HomeFolder = "C:\\home";
    window.icq_folder = "C:\\ICQ";
    window.SetBackupFolderText("D:\\backup");
    window.answers = {true};  // Yes, overwrite; OK, ICQ is closed
    return window;
  }
  bool LockFilesLeft() const {
    return drives_.Exists("C:\\home\\" + std::string(platform::kRunLockFileName)) ||
           drives_.Exists("C:\\ICQ\\" + std::string(platform::kRunLockFileName)) ||
           drives_.Exists("D:\\backup\\" + std::string(platform::kRunLockFileName));
  }

  DriveSandbox drives_;
};

TEST_P(ActionLockTest, AFolderInUseStopsTheActionAtOnceAndNothingChanges) {
  LockHolder other_copy(GetParam().held);
  ASSERT_EQ(other_copy.Taken(), platform::FolderLock::kTaken);
  const auto before = SnapshotTree(drives_.Root());
  RecordingWindow window = Window();
  EXPECT_FALSE(GetParam().run(window));
  EXPECT_EQ(window.lines, InUseReport(GetParam().held));
  EXPECT_TRUE(window.questions.empty());
  EXPECT_EQ(SnapshotTree(drives_.Root()), before);  // pref.cfg not written either

  // The other copy is killed: its lock goes with it, and the action runs.
  other_copy.Kill();
  RecordingWindow after = Window();
  EXPECT_TRUE(GetParam().run(after)) << ::testing::PrintToString(after.lines);
  EXPECT_FALSE(LockFilesLeft());
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ActionLockTest,
    ::testing::Values(ActionCase{"BackupHome", Backup, "C:\\home"},
                      ActionCase{"BackupBackupFolder", Backup, "D:\\backup"},
                      // A backup reads the ICQ folder another copy restores into.
                      ActionCase{"BackupIcqFolder", Backup, "C:\\ICQ"},
                      ActionCase{"RestoreHome", Restore, "C:\\home"},
                      ActionCase{"RestoreBackupFolder", Restore, "D:\\backup"},
                      ActionCase{"RestoreIcqFolder", Restore, "C:\\ICQ"},
                      ActionCase{"CheckUINHome", backup::CheckUINClick, "C:\\home"},
                      ActionCase{"CheckUINBackupFolder", backup::CheckUINClick, "D:\\backup"},
                      ActionCase{"CheckDateHome", backup::CheckDateClick, "C:\\home"},
                      ActionCase{"CheckDateBackupFolder", backup::CheckDateClick, "D:\\backup"}),
    [](const auto& info) { return std::string(info.param.name); });

// The home folder is locked before the backup folder is made: a backup refused makes none.
TEST_F(ActionLockTest, ABackupRefusedForItsHomeFolderMakesNoBackupFolder) {
  LockHolder other_copy("C:\\home");
  RecordingWindow window = Window();
  window.SetBackupFolderText("D:\\new");
  EXPECT_FALSE(Backup(window));
  EXPECT_EQ(window.lines, InUseReport("C:\\home"));
  EXPECT_FALSE(drives_.Exists("D:\\new"));
}

// A home folder inside a data folder: the run's lock file there is no data, while a data
// file that only bears its name is.
TEST_F(ActionLockTest, TheRunsOwnLockFileIsNotCollectedAndADataFileOfThatNameIs) {
  drives_.WriteFile("C:\\ICQ\\newdb\\torq\\back.dat", drives_.ReadFile("C:\\home\\back.dat"));
  drives_.WriteFile("C:\\ICQ\\uin\\" + std::string(platform::kRunLockFileName), "data");
  RecordingWindow window = Window();
  window.HomeFolder = "C:\\ICQ\\newdb\\torq";
  EXPECT_TRUE(Backup(window)) << ::testing::PrintToString(window.lines);
  const std::string list = drives_.ReadFile("D:\\backup\\icqlist.txt");
  EXPECT_EQ(list.find("torq***" + std::string(platform::kRunLockFileName)), std::string::npos)
      << list;
  EXPECT_NE(list.find("torq***back.dat|||"), std::string::npos) << list;
  EXPECT_NE(list.find("uin***" + std::string(platform::kRunLockFileName) + "|||4\r\n"),
            std::string::npos)
      << list;
}

// Home folder and backup folder in one: one lock, nothing left of it afterwards.
TEST_F(ActionLockTest, ABackupIntoTheHomeFolderTakesOneLock) {
  RecordingWindow window = Window();
  window.SetBackupFolderText("C:\\home");
  EXPECT_TRUE(Backup(window)) << ::testing::PrintToString(window.lines);
  EXPECT_TRUE(drives_.Exists("C:\\home\\icq1.lzz"));
  EXPECT_FALSE(drives_.Exists("C:\\home\\" + std::string(platform::kRunLockFileName)));
  RecordingWindow restore = Window();
  restore.SetBackupFolderText("C:\\home");
  EXPECT_TRUE(Restore(restore)) << ::testing::PrintToString(restore.lines);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\contacts.dat"), "changed");
}

}  // namespace
