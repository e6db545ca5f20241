// torq32-cli backup on a real folder, run as a program: its screen on standard output
// and its exit status.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/reports.h"
#include "platform/drives.h"
#include "tests/program_run.h"
#include "tests/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

using Result = ProgramRun;

// Runs torq32-cli with the arguments, standard input from the null device (no terminal).
Result RunCli(const std::vector<std::string>& arguments) {
  return RunProgram(TORQ32_CLI, arguments, fs::current_path());
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class BackupCliTest : public ::testing::Test {
 protected:
  BackupCliTest() {
    root_ = MakeScratchFolder("varn_backup_cli-");
    Write(root_ / "home" / "back.dat", "newdb\r\nuin\r\nTheEnd\r\n98b-2000b(P)\r\n");
    Write(root_ / "ICQ" / "icq.exe", "");
    Write(root_ / "ICQ" / "newdb" / "a.dat", "some ICQ data, some ICQ data");
    Write(root_ / "ICQ" / "uin" / "12345678.uin", "");
    Write(root_ / "ICQ" / "newdb" / "sub" / "b.idx", std::string(5000, 'b'));
  }
  ~BackupCliTest() override { fs::remove_all(root_); }

  std::vector<std::string> Arguments(const std::string& icq,
                                     std::vector<std::string> extra = {}) const {
    std::vector<std::string> arguments = {"--home",   (root_ / "home").string(),
                                          "--icq",    (root_ / icq).string(),
                                          "--backup", (root_ / "backup").string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.push_back("backup");
    return arguments;
  }
  // The folder as the program shows it: the drive path that holds it.
  std::string Shown(const std::string& folder) const {
    return app::ShortPath(platform::ToWindowsPath((root_ / folder).string()).value_or("?"));
  }

  fs::path root_;
};

TEST_F(BackupCliTest, BacksUpAskingNothingWithYesAndAnswersNoWithoutATerminal) {
  const Result first = RunCli(Arguments("ICQ", {"--yes"}));
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, " \n Backup Successful to:\n" + Shown("backup") +
                           "\n \n Original Filesize: 0.0 MB\n Compressed Filesize: 0.0 MB\n"
                           " \n \n Note:\n You may copy the folder to any\n"
                           " removable media for storage!\n");
  EXPECT_EQ(Read(root_ / "backup" / "icqlist.txt"),
            "Total Files : 3\r\nnewdb***a.dat|||28\r\nnewdb\\sub***b.idx|||5000\r\n"
            "uin***12345678.uin|||0\r\n");
  EXPECT_TRUE(fs::exists(root_ / "backup" / "icq1.lzz"));
  EXPECT_TRUE(fs::exists(root_ / "backup" / "icq2.lzz"));

  // The earlier backup is there now: without --yes and without a terminal, No.
  const Result second = RunCli(Arguments("ICQ"));
  EXPECT_EQ(second.status, 3);
  EXPECT_EQ(second.out, " \n Backup Cancelled!\n");

  EXPECT_EQ(RunCli(Arguments("ICQ", {"--yes"})).status, 0);
}

TEST_F(BackupCliTest, ErrorReportExitsOne) {
  const Result result = RunCli(Arguments("home", {"--yes"}));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, " \n Error!\n \n ICQ cannot be found in \n" + Shown("home") +
                            "\n \n \n Note:\n 1. Please check your ICQ Folder at\n"
                            "     \"1. Select ICQ Folder\" again or\n"
                            " 2. use the AutoSearch function!\n");
  EXPECT_FALSE(fs::exists(root_ / "backup"));
}

#ifndef _WIN32  // SIGINT sent to a forked child
// Ctrl-C once the backup is under way: the progress line is ended, the screen printed,
// "interrupted" said, exit 130; the backup folder holds whole files and their list only.
TEST_F(BackupCliTest, InterruptStopsTheBackupAndLeavesOnlyWholeFiles) {
  constexpr int kFiles = 60;
  std::string text;
  while (text.size() < 400000) text += "message line " + std::to_string(text.size()) + "\r\n";
  for (int i = 0; i < kFiles; ++i) {
    Write(root_ / "ICQ" / "newdb" / ("m" + std::to_string(100 + i) + ".dat"), text);
  }
  const fs::path err = root_ / "err";
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open((root_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || error < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(error, 2);
    const std::string home = (root_ / "home").string(), icq = (root_ / "ICQ").string(),
                      backup = (root_ / "backup").string();
    ::execl(TORQ32_CLI, TORQ32_CLI, "--home", home.c_str(), "--icq", icq.c_str(), "--backup",
            backup.c_str(), "--yes", "--progress", "backup", nullptr);
    ::_exit(127);
  }
  ASSERT_GT(child, 0);
  // The first step of the gauge: some files are done, most are still to come.
  for (int tries = 0; tries < 2000 && Read(err).find(" [#") == std::string::npos; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
  EXPECT_EQ(WEXITSTATUS(status), 130) << Read(err);
  const std::string errors = Read(err);
  EXPECT_NE(errors.find("%\ntorq32-cli: interrupted\n"), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(root_ / "home" / "icqlist.tmp"));

  // Every compressed file the list names is whole; nothing else was left.
  std::ifstream list(root_ / "backup" / "icqlist.txt", std::ios::binary);
  std::string line;
  std::getline(list, line);
  int listed = 0;
  while (std::getline(list, line)) ++listed;
  EXPECT_LT(listed, kFiles + 3) << "the backup stopped early";
  int stored = 0;
  for (const auto& entry : fs::directory_iterator(root_ / "backup")) {
    const std::string name = entry.path().filename().string();
    if (name == "icqlist.txt") continue;
    ++stored;
    const std::string bytes = Read(entry.path());
    ASSERT_GT(bytes.size(), 257u) << name;
    std::int32_t body = 0;
    std::memcpy(&body, bytes.data() + 15, sizeof body);  // the header's body size
    EXPECT_EQ(bytes.size(), 257u + static_cast<std::size_t>(body)) << name << " is cut short";
  }
  // The list names the files that exist (the empty .uin file has none).
  EXPECT_GE(stored, listed - 1);
  EXPECT_LE(stored, listed);
}
#endif

#ifndef _WIN32  // a forked child killed with SIGKILL
// Every entry below a folder: relative path -> bytes ("<folder>" for a folder).
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    tree[fs::relative(entry.path(), root).string()] =
        entry.is_directory() ? "<folder>" : Read(entry.path());
  }
  return tree;
}

// A backup over an earlier one, with its worker threads, killed at moments spread over
// its run: a restore then finds one whole backup, the earlier or the new, and leaves
// nothing staged in the folder.
TEST_F(BackupCliTest, KilledAtAnyMomentLeavesOneWholeBackup) {
  ASSERT_EQ(RunCli(Arguments("ICQ", {"--yes"})).status, 0);
  const auto backup_a = Snapshot(root_ / "backup");
  auto tree_a = Snapshot(root_ / "ICQ");
  for (int i = 0; i < 24; ++i) {
    std::string text;
    while (text.size() < 150000) text += "line " + std::to_string(i * text.size()) + "\r\n";
    Write(root_ / "ICQ" / "newdb" / ("m" + std::to_string(i) + ".dat"), text);
  }
  Write(root_ / "ICQ" / "newdb" / "a.dat", "other ICQ data");
  const auto tree_b = Snapshot(root_ / "ICQ");

  const auto backup_killed_after = [&](std::chrono::microseconds delay) {
    fs::remove_all(root_ / "backup");
    fs::create_directories(root_ / "backup");
    for (const auto& [name, bytes] : backup_a) Write(root_ / "backup" / name, bytes);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
      const int quiet = ::open("/dev/null", O_RDWR);
      ::dup2(quiet, 0);
      ::dup2(quiet, 1);
      ::dup2(quiet, 2);
      const std::string home = (root_ / "home").string(), icq = (root_ / "ICQ").string(),
                        backup = (root_ / "backup").string();
      ::execl(TORQ32_CLI, TORQ32_CLI, "--home", home.c_str(), "--icq", icq.c_str(), "--backup",
              backup.c_str(), "--yes", "backup", nullptr);
      ::_exit(127);
    }
    if (delay.count() > 0) {
      std::this_thread::sleep_for(delay);
      ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  };
  const std::chrono::microseconds whole = backup_killed_after({});
  constexpr int kKills = 12;
  int earlier = 0;
  for (int k = 1; k <= kKills; ++k) {
    const std::string when = "killed after " + std::to_string(k) + "/" + std::to_string(kKills);
    backup_killed_after(whole * k / (kKills + 1));
    fs::remove_all(root_ / "fresh");
    Write(root_ / "fresh" / "icq.exe", "");
    const Result restored =
        RunCli({"--home", (root_ / "home").string(), "--icq", (root_ / "fresh").string(),
                "--backup", (root_ / "backup").string(), "--yes", "restore"});
    EXPECT_EQ(restored.status, 0) << when << restored.out;
    const auto tree = Snapshot(root_ / "fresh");
    EXPECT_TRUE(tree == tree_a || tree == tree_b) << when;
    earlier += tree == tree_a;
    for (const auto& entry : fs::directory_iterator(root_ / "backup")) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "icqlist.txt" || name.ends_with(".lzz")) << when << ": " << name;
    }
  }
  std::printf("%d kills over a run of %lld ms: %d left the earlier backup, %d the new one\n",
              kKills, static_cast<long long>(whole.count() / 1000), earlier, kKills - earlier);
}

#endif

}  // namespace
