// torq32-cli restore and verify, run as built in a temporary folder (the system's drive
// table without a Wine prefix, so C: is "/"), against a backup made by torq32-cli backup.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "lz/lz_file.h"
#include "lz/lz_format.h"
#include "platform/drives.h"
#include "tests/program_run.h"
#include "tests/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteHost(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

ProgramRun RunCli(const fs::path& cwd, const std::vector<std::string>& args) {
  return RunProgram(TORQ32_CLI, args, cwd, {{"WINEPREFIX", (cwd / "no-prefix").string()}});
}

class RestoreCliTest : public ::testing::Test {
 public:
  void SetUp() override {
    root_ = MakeScratchFolder("varn_restore_cli-");
#ifndef _WIN32
    // This process names the folders from the same drive table as the program, whether or
    // not the user has a Wine prefix of their own.
    ::setenv("WINEPREFIX", (root_ / "no-prefix").c_str(), 1);
    platform::InstallDriveTableForTests({});
#endif
    icq_ = root_ / "ICQ";
    backup_ = root_ / "backup";
    fs::create_directories(root_ / "home");
    WriteHost(icq_ / "icq.exe", "");
    std::string text;
    while (text.size() < 40000)
      text += "message history line " + std::to_string(text.size()) + "\r\n";
    files_ = {{"newdb/12345.dat", text},
              {"newdb/empty.dat", ""},
              {"newdb/sub/a.idx", std::string(3000, 'a') + "end"},
              {"uin/12345.uin", "UIN 12345\r\n"}};
    for (const auto& [path, bytes] : files_) WriteHost(icq_ / path, bytes);
    const ProgramRun backup = Run({"--yes", "backup"});
    ASSERT_EQ(backup.status, 0) << backup.out << backup.err;
  }
  void TearDown() override {
    fs::remove_all(root_);
#ifndef _WIN32
    ::unsetenv("WINEPREFIX");
    platform::InstallDriveTableForTests({});
#endif
  }

  ProgramRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", (root_ / "home").string(), "--icq", icq_.string(),
                               "--backup", backup_.string()});
    return RunCli(root_ / "home", args);
  }

  // The number N of the compressed file of a data file, from the list.
  int NumberOf(const std::string& name) {
    std::ifstream list(backup_ / "icqlist.txt", std::ios::binary);
    std::string line;
    std::getline(list, line);
    for (int n = 1; std::getline(list, line); ++n) {
      if (line.find("***" + name + "|||") != std::string::npos) return n;
    }
    return 0;
  }
  fs::path Compressed(int n) { return backup_ / ("icq" + std::to_string(n) + ".lzz"); }

  fs::path root_;
  fs::path icq_;
  fs::path backup_;
  std::vector<std::pair<std::string, std::string>> files_;
};

TEST_F(RestoreCliTest, RestoreWithYesPutsTheBackupBackAndExitsZero) {
  WriteHost(icq_ / "newdb/12345.dat", "changed");
  fs::remove_all(icq_ / "newdb/sub");
  fs::remove(icq_ / "uin/12345.uin");
  const ProgramRun run = Run({"--yes", "restore"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            " \n Restoration Successful!\n \n \n Note:\n Register your UIN with ICQ and your\n"
            " ICQ will be up and running again!\n");
  EXPECT_EQ(run.err, "");
  for (const auto& [path, bytes] : files_) EXPECT_EQ(ReadHost(icq_ / path), bytes) << path;
  EXPECT_FALSE(fs::exists(icq_ / "newdb/icq.tmp"));
}

TEST_F(RestoreCliTest, RestoreOnlyPutsBackTheMatchingFilesAlone) {
  for (const auto& [path, bytes] : files_) WriteHost(icq_ / path, "changed");
  // A pattern without a separator is matched against the name, in any letter case.
  ProgramRun run = Run({"--yes", "restore", "--only", "12345.DAT"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(" Restoration Successful!\n"), std::string::npos) << run.out;
  EXPECT_EQ(ReadHost(icq_ / "newdb/12345.dat"), files_[0].second);
  EXPECT_EQ(ReadHost(icq_ / "newdb/sub/a.idx"), "changed");
  EXPECT_EQ(ReadHost(icq_ / "uin/12345.uin"), "changed");
  // One with a separator is matched against the whole path.
  run = Run({"--yes", "--only=newdb/*", "restore"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadHost(icq_ / "newdb/sub/a.idx"), files_[2].second);
  EXPECT_EQ(ReadHost(icq_ / "newdb/empty.dat"), "");
  EXPECT_EQ(ReadHost(icq_ / "uin/12345.uin"), "changed");
  EXPECT_FALSE(fs::exists(icq_ / "newdb/icq.tmp"));
}

TEST_F(RestoreCliTest, RestoreOnlyChecksWhatItRestoresAsTheFullRestoreDoes) {
  WriteHost(icq_ / "uin/12345.uin", "changed");
  // The matching entry's compressed file is damaged: nothing of it is written.
  std::string damaged = ReadHost(Compressed(NumberOf("12345.uin")));
  damaged[lz::kHeaderSize] = static_cast<char>(damaged[lz::kHeaderSize] ^ 0x40);
  WriteHost(Compressed(NumberOf("12345.uin")), damaged);
  ProgramRun run = Run({"--yes", "restore", "--only", "*.uin"});
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find(" ICQ backup is unable to restore\n"), std::string::npos) << run.out;
  EXPECT_EQ(ReadHost(icq_ / "uin/12345.uin"), "changed");

  // The warning is asked as before: without --yes the restore is cancelled.
  run = Run({"restore", "--only", "*.dat"});
  EXPECT_EQ(run.status, 3);

  run = Run({"--yes", "restore", "--only", "*.none"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(" No file in the backup matches:\n *.none!\n"), std::string::npos)
      << run.out;

  // --only belongs to restore.
  EXPECT_EQ(Run({"--only", "*", "verify"}).status, 2);
}

TEST_F(RestoreCliTest, ListShowsEachEntryFromItsHeader) {
  const ProgramRun run = Run({"list"});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines;
  std::string line;
  for (std::istringstream in(run.out); std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u + files_.size() + 2u) << run.out;
  EXPECT_EQ(lines[1],
            " Backup of 4 files in " + platform::ToWindowsPath(backup_.string()).value() + ":");
  for (const auto& [path, bytes] : files_) {
    const int n = NumberOf(fs::path(path).filename().string());
    ASSERT_GT(n, 0) << path;
    std::string windows_path = path;
    std::replace(windows_path.begin(), windows_path.end(), '/', '\\');
    const std::string& row = lines[3 + n];
    EXPECT_EQ(row.rfind(" " + std::string(6 - std::to_string(n).size(), ' ') + std::to_string(n) +
                            " " + std::string(12 - std::to_string(bytes.size()).size(), ' ') +
                            std::to_string(bytes.size()) + "  ",
                        0),
              0u)
        << row;
    EXPECT_EQ(row.substr(row.size() - windows_path.size()), windows_path) << row;
    if (bytes.empty()) {
      EXPECT_NE(row.find("  -  "), std::string::npos) << row;  // no compressed file
    } else {
      lz::LZFileInfo info;
      ASSERT_EQ(lz::GetFileInfo(platform::ToWindowsPath(Compressed(n).string()).value(), info), 1);
      EXPECT_NE(row.find(lz::DateTimeText(info.date_time) + "  LZSS "), std::string::npos) << row;
    }
  }
  EXPECT_EQ(lines.back(),
            " 4 entries, " + std::to_string(files_[0].second.size() + 3003 + 11) + " bytes");
  // A missing compressed file is named as such.
  fs::remove(Compressed(NumberOf("a.idx")));
  EXPECT_NE(Run({"list"}).out.find("  missing  "), std::string::npos);
}

TEST_F(RestoreCliTest, RestoreWithoutATerminalOrYesIsCancelled) {
  WriteHost(icq_ / "newdb/12345.dat", "changed");
  const ProgramRun run = Run({"restore"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, " \n ICQ Restoration Cancelled!\n");
  EXPECT_EQ(ReadHost(icq_ / "newdb/12345.dat"), "changed");
}

TEST_F(RestoreCliTest, RestoreOfAListShorterThanItsCountSaysSoAndExitsOne) {
  std::string list = ReadHost(backup_ / "icqlist.txt");
  list.replace(0, list.find("\r\n"), "Total Files : 6");
  WriteHost(backup_ / "icqlist.txt", list);
  WriteHost(icq_ / "uin/12345.uin", "changed");
  const ProgramRun run = Run({"--yes", "restore"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(
      run.out.ends_with(" Problem:\n Backup File List incomplete!\n"
                        " It lists 4 of its 6 files!\n \n \n Note:\n"
                        " The files it lists are restored;\n"
                        "      the others are missing from it!\n"))
      << run.out;
  EXPECT_EQ(ReadHost(icq_ / "uin/12345.uin"), "UIN 12345\r\n");
}

// The list cut off in the middle of an entry's size: that piece is no entry, and the
// report counts the entries before it.
TEST_F(RestoreCliTest, RestoreOfAListCutInALineSaysHowManyItHoldsAndWritesNothingForIt) {
  const int cut_entry = NumberOf("12345.dat");
  ASSERT_LT(cut_entry, 4);  // a cut in the last entry's size cannot be told from a size
  std::string list = ReadHost(backup_ / "icqlist.txt");
  const std::string cut_after = "***12345.dat|||" + std::to_string(files_[0].second.size() / 10);
  list.resize(list.find(cut_after) + cut_after.size());
  WriteHost(backup_ / "icqlist.txt", list);
  WriteHost(icq_ / "newdb/12345.dat", "changed");
  const ProgramRun run = Run({"--yes", "restore"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.ends_with(" Problem:\n Backup File List incomplete!\n It lists " +
                                std::to_string(cut_entry - 1) +
                                " of its 4 files!\n \n \n Note:\n"
                                " The files it lists are restored;\n"
                                "      the others are missing from it!\n"))
      << run.out;
  EXPECT_EQ(ReadHost(icq_ / "newdb/12345.dat"), "changed");
  EXPECT_FALSE(fs::exists(icq_ / "newdb/icq.tmp"));
}

TEST_F(RestoreCliTest, VerifyNamesANameWindowsDoesNotAllow) {
  std::string list = ReadHost(backup_ / "icqlist.txt");
  const std::size_t at = list.find("***12345.uin");
  list.replace(at, 12, "***12:345.uin");
  WriteHost(backup_ / "icqlist.txt", list);
  const ProgramRun run = Run({"verify"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(" has a name Windows does not allow: uin\\12:345.uin\n"),
            std::string::npos)
      << run.out;
}

TEST_F(RestoreCliTest, VerifyPassesOnAFreshBackupAndWritesNothing) {
  const auto stamp = fs::last_write_time(backup_ / "icqlist.txt");
  fs::remove(root_ / "home" / "pref.cfg");
  const ProgramRun run = Run({"verify"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, " 4 files verified, 0 damaged\n");
  EXPECT_EQ(fs::last_write_time(backup_ / "icqlist.txt"), stamp);
  EXPECT_FALSE(fs::exists(root_ / "home" / "pref.cfg"));
}

struct DamageCase {
  const char* name;
  const char* damaged;  // data file whose compressed file or list line is damaged
  std::function<void(RestoreCliTest&, int)> damage;
  const char* fault;  // the start of the fault told after "icqN.lzz: "
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class VerifyDamageTest : public RestoreCliTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(VerifyDamageTest, NamesTheFileAndExitsOne) {
  const int n = NumberOf(GetParam().damaged);
  ASSERT_GT(n, 0);
  GetParam().damage(*this, n);
  const ProgramRun run = Run({"verify"});
  EXPECT_EQ(run.status, 1);
  const std::string line = " icq" + std::to_string(n) + ".lzz: " + GetParam().fault;
  EXPECT_EQ(run.out.rfind(line, 0), 0u) << run.out;
  EXPECT_TRUE(run.out.ends_with("\n 4 files verified, 1 damaged\n")) << run.out;
}

// Flips a body byte in the middle of the file, the first flip that changes what it
// decodes to.
void FlipBodyByte(RestoreCliTest& test, int n) {
  const fs::path path = test.Compressed(n);
  const std::string original = ReadHost(path);
  for (std::size_t at = original.size() / 2; at < original.size(); ++at) {
    std::string damaged = original;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
    WriteHost(path, damaged);
    lz::CheckResult check;
#ifdef _WIN32
    // The host path is a Windows path already.
    const bool other =
        lz::CheckCompressedFile(path.string(), check) && check.crc32 != check.header.crc32;
#else
    platform::InstallDriveTableForTests({{'C', "/"}});
    const bool other = lz::CheckCompressedFile(*platform::ToWindowsPath(path.string()), check) &&
                       check.crc32 != check.header.crc32;
    platform::InstallDriveTableForTests({});
#endif
    if (other) return;
  }
  ADD_FAILURE() << "no flip changed the data";
}

INSTANTIATE_TEST_SUITE_P(
    Damage, VerifyDamageTest,
    ::testing::Values(
        DamageCase{"FlippedBodyByte", "12345.dat", FlipBodyByte, "decodes to"},
        DamageCase{"Truncated", "12345.dat",
                   [](RestoreCliTest& t, int n) {
                     fs::resize_file(t.Compressed(n), fs::file_size(t.Compressed(n)) - 100);
                   },
                   "truncated: "},
        DamageCase{"Missing", "a.idx",
                   [](RestoreCliTest& t, int n) { fs::remove(t.Compressed(n)); }, "missing"},
        DamageCase{"HeaderOfAnotherFile", "a.idx",
                   [](RestoreCliTest& t, int n) {
                     // Removed first: MinGW's copy_file refuses to overwrite.
                     fs::remove(t.Compressed(n));
                     fs::copy_file(t.Compressed(t.NumberOf("12345.uin")), t.Compressed(n));
                   },
                   "holds 12345.uin, the list names a.idx"},
        DamageCase{"ListSizeDiffers", "12345.uin",
                   [](RestoreCliTest& t, int) {
                     std::string list = ReadHost(t.backup_ / "icqlist.txt");
                     const std::size_t at = list.find("12345.uin|||11");
                     list.replace(at, 14, "12345.uin|||12");
                     WriteHost(t.backup_ / "icqlist.txt", list);
                   },
                   "its header says 11 bytes, the list says 12"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreCliTest, VerifyNamesAMissingList) {
  fs::remove(backup_ / "icqlist.txt");
  const ProgramRun run = Run({"verify"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, " icqlist.txt: missing\n 0 files verified, 0 damaged\n");
}

TEST_F(RestoreCliTest, VerifyNamesACountThatDiffersFromTheLines) {
  std::string list = ReadHost(backup_ / "icqlist.txt");
  list.replace(0, list.find("\r\n"), "Total Files : 5");
  WriteHost(backup_ / "icqlist.txt", list);
  const ProgramRun run = Run({"verify"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            " icqlist.txt: its header counts 5 files, it lists 4\n 4 files verified, 0 damaged\n");
}

}  // namespace
