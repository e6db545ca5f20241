// Two copies of torq32-cli at once, as built, on real folders (the system's drive table,
// without a Wine prefix, so C: is "/"): a second backup into the folder a backup writes
// or a restore reads, or from the home folder a backup uses, refuses with its report and
// changes nothing; a killed run leaves the folders free; a restore from a read-only
// backup folder goes on.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/reports.h"
#include "platform/drives.h"
#include "platform/run_lock.h"
#include "tests/program_run.h"
#include "tests/restore_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 40;
constexpr char kProgressShown[] = " [#";   // the first step of the gauge on standard error
constexpr char kUnprivileged[] = "65534";  // nobody
constexpr char kChangeUser[] = "/usr/bin/setpriv";

void WriteHost(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varn_cli_locks_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    // This process names the folders as the programs do: from the same drive table.
    ::setenv("WINEPREFIX", (root_ / "no-prefix").c_str(), 1);
    platform::InstallDriveTableForTests({});
    for (const char* home : {"home", "home2"}) {
      WriteHost(root_ / home / "back.dat", "newdb\r\nuin\r\nTheEnd\r\n98b-2000b(P)\r\n");
    }
    WriteHost(root_ / "ICQ" / "icq.exe", "");
    WriteHost(root_ / "ICQ" / "uin" / "12345678.uin", "uin");
    // Enough to keep a run busy for a while after its gauge first moves.
    std::string text;
    while (text.size() < 300000) text += "message line " + std::to_string(text.size()) + "\r\n";
    for (int i = 0; i < kFiles; ++i) {
      WriteHost(root_ / "ICQ" / "newdb" / ("m" + std::to_string(100 + i) + ".dat"), text);
    }
  }
  void TearDown() override {
    fs::remove_all(root_);
    ::unsetenv("WINEPREFIX");
    platform::InstallDriveTableForTests({});
  }

  std::vector<std::string> Arguments(const std::string& home, const std::string& backup,
                                     std::vector<std::string> rest) const {
    std::vector<std::string> args = {
        "--home",   (root_ / home).string(),   "--icq", (root_ / "ICQ").string(),
        "--backup", (root_ / backup).string(), "--yes"};
    args.insert(args.end(), rest.begin(), rest.end());
    return args;
  }
  ProgramRun Run(const std::string& home, const std::string& backup,
                 std::vector<std::string> rest) const {
    return RunProgram(TORQ32_CLI, Arguments(home, backup, rest), root_ / home, Env());
  }
  // A run in the middle of its work, held there (paused) until it is waited for.
  std::unique_ptr<RunningProgram> Start(const std::string& home, const std::string& backup,
                                        const std::string& action) const {
    auto run = std::make_unique<RunningProgram>(
        TORQ32_CLI, Arguments(home, backup, {"--progress", action}), root_ / home, Env());
    EXPECT_TRUE(run->WaitForError(kProgressShown)) << run->Errors();
    run->Pause();
    return run;
  }
  Environment Env() const { return {{"WINEPREFIX", (root_ / "no-prefix").string()}}; }

  // The report of a run that finds the folder in use, as torq32-cli prints it.
  std::string InUse(const std::string& folder) const {
    const std::string shown =
        app::ShortPath(platform::ToWindowsPath((root_ / folder).string()).value_or("?"));
    return " \n Error!\n \n Folder in use : \n" + shown +
           "!\n \n \n Note:\n Wait: another copy of the program is using this folder!\n"
           " Try again once it has finished!\n";
  }
  bool LockFileIn(const std::string& folder) const {
    return fs::exists(root_ / folder / platform::kRunLockFileName);
  }

  fs::path root_;
};

TEST_F(CliLockTest, ASecondBackupIntoTheFolderABackupWritesRefusesAndChangesNothing) {
  const auto home2 = SnapshotTree(root_ / "home2");
  const auto first = Start("home", "backup", "backup");
  const ProgramRun second = Run("home2", "backup", {"backup"});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, InUse("backup"));
  EXPECT_EQ(SnapshotTree(root_ / "home2"), home2);  // no pref.cfg, no icqlist.tmp
  const ProgramRun done = first->Wait();
  EXPECT_EQ(done.status, 0) << done.out;
  EXPECT_NE(done.out.find(" Backup Successful to:"), std::string::npos) << done.out;

  // The folder holds the first backup alone, byte for byte as one made by itself.
  ASSERT_EQ(Run("home", "alone", {"backup"}).status, 0);
  EXPECT_EQ(SnapshotTree(root_ / "backup"), SnapshotTree(root_ / "alone"));
  EXPECT_FALSE(LockFileIn("backup"));
  EXPECT_FALSE(LockFileIn("home"));
}

TEST_F(CliLockTest, ASecondBackupFromTheHomeFolderABackupUsesRefusesAndMakesNoFolder) {
  const auto first = Start("home", "backup", "backup");
  const ProgramRun second = Run("home", "backup2", {"backup"});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, InUse("home"));
  EXPECT_FALSE(fs::exists(root_ / "backup2"));
  EXPECT_EQ(first->Wait().status, 0);
}

TEST_F(CliLockTest, ABackupIntoTheFolderARestoreReadsRefusesAndTheRestoreEndsWhole) {
  ASSERT_EQ(Run("home", "backup", {"backup"}).status, 0);
  const auto backup = SnapshotTree(root_ / "backup");
  WriteHost(root_ / "ICQ" / "uin" / "12345678.uin", "changed since");
  const auto restore = Start("home", "backup", "restore");
  const ProgramRun second = Run("home2", "backup", {"backup"});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, InUse("backup"));
  const ProgramRun restored = restore->Wait();
  EXPECT_EQ(restored.status, 0) << restored.out;
  EXPECT_EQ(ReadHost(root_ / "ICQ" / "uin" / "12345678.uin"), "uin");
  EXPECT_EQ(SnapshotTree(root_ / "backup"), backup);
}

TEST_F(CliLockTest, AKilledBackupLeavesItsFoldersFreeAndTheNextRunTakesOverItsLockFiles) {
  auto killed = Start("home", "backup", "backup");
  killed->Kill();
  EXPECT_TRUE(LockFileIn("backup"));  // a killed run deletes nothing
  const ProgramRun next = Run("home", "backup", {"backup"});
  EXPECT_EQ(next.status, 0) << next.out;
  EXPECT_FALSE(LockFileIn("backup"));
  EXPECT_FALSE(LockFileIn("home"));
  EXPECT_EQ(Run("home", "backup", {"verify"}).status, 0);
}

// A backup folder the user may not write to, as on a CD: it cannot hold a lock file,
// and the restore goes on without one. The program runs as an unprivileged user.
TEST_F(CliLockTest, ARestoreFromAReadOnlyBackupFolderGoesOn) {
  ASSERT_EQ(Run("home", "backup", {"backup"}).status, 0);
  WriteHost(root_ / "ICQ" / "uin" / "12345678.uin", "changed since");
  const auto backup = SnapshotTree(root_ / "backup");
  // Everything open to that user but the backup folder, which may only be read.
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
  }
  fs::permissions(root_, fs::perms::all, fs::perm_options::add);
  fs::permissions(root_ / "backup",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::vector<std::string> args = Arguments("home", "backup", {"restore"});
  std::string program = TORQ32_CLI;
  if (::geteuid() == 0) {
    // util-linux, which every Debian system has, changes the user for one program.
    if (!fs::exists(kChangeUser)) GTEST_SKIP() << kChangeUser << " is missing";
    args.insert(args.begin(),
                {std::string("--reuid=") + kUnprivileged, std::string("--regid=") + kUnprivileged,
                 "--clear-groups", TORQ32_CLI});
    program = kChangeUser;
  }
  const ProgramRun run = RunProgram(program, args, root_ / "home", Env());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(" Restoration Successful!"), std::string::npos) << run.out;
  EXPECT_EQ(ReadHost(root_ / "ICQ" / "uin" / "12345678.uin"), "uin");
  EXPECT_EQ(SnapshotTree(root_ / "backup"), backup);
}

}  // namespace
