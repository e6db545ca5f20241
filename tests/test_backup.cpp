// The Backup button and PackFile on temporary drives: every report line, the list, the
// numbered files, the gauge, and what an earlier backup keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/reports.h"
#include "backup/backup.h"
#include "backup/backup_commit.h"
#include "backup/backup_files.h"
#include "backup/backup_testing.h"
#include "backup/pack_file.h"
#include "drive_sandbox.h"
#include "lz/lz_file.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"
#include "recording_window.h"

// Built twice: compressing on the backup's own thread, and in worker threads ahead
// of the file in progress. Every outcome must be the same.
#ifndef VARN_TEST_PACK_WORKERS
#define VARN_TEST_PACK_WORKERS 1
#endif

namespace {

using Lines = std::vector<std::string>;
using backup::BackupOutcome;
namespace faults = platform::testing;

// Records every screen and gauge operation in order, beside what RecordingWindow keeps.
class TracingWindow : public RecordingWindow {
 public:
  std::vector<std::string> trace;
  void ClearScreen() override {
    trace.push_back("clear");
    RecordingWindow::ClearScreen();
  }
  void AppendLine(const std::string& line) override {
    trace.push_back("+" + line);
    RecordingWindow::AppendLine(line);
  }
  void DeleteLine(int index) override {
    trace.push_back("-" + std::to_string(index));
    RecordingWindow::DeleteLine(index);
  }
  void SetGauge(int percent) override {
    trace.push_back("gauge " + std::to_string(percent));
    RecordingWindow::SetGauge(percent);
  }
};

const Lines kProgressScreen = {" ",
                               " Backup ICQ...",
                               " ",
                               " This may take a few minutes...",
                               " ",
                               " ",
                               " Note:",
                               " 1. Try not to run other programs as this",
                               "      will slow down the process.",
                               " 2. If you are multi-tasking, Torq32 may",
                               "      appear not to be responsing. Just",
                               "      let it complete itself.",
                               " ",
                               " ",
                               " Processing File:"};

Lines SuccessReport(const std::string& shown_folder, const std::string& original,
                    const std::string& compressed) {
  return {" ",
          " Backup Successful to:",
          shown_folder,
          " ",
          " Original Filesize: " + original + " MB",
          " Compressed Filesize: " + compressed + " MB",
          " ",
          " ",
          " Note:",
          " You may copy the folder to any",
          " removable media for storage!"};
}

Lines ErrorReport(const std::string& headline, const std::string& detail,
                  const std::string& advice1, const std::string& advice2) {
  return {" ", " Error!", " ", headline, detail, " ", " ", " Note:", advice1, advice2};
}

const Lines kPackFileReport = {" ",
                               " Error!",
                               " ",
                               " Backup unsuccessful!",
                               " ",
                               " ",
                               " Note:",
                               " ICQ appears to be active!",
                               " No ICQ flower should be visible",
                               " in the system tray."};
const Lines kRemovalFailedReport = {" ",
                                    " Error!",
                                    " ",
                                    " Able to overwrite existing files!",
                                    " ",
                                    " ",
                                    " Note :",
                                    " Make sure your disk is not write-",
                                    " protected and your existing backup",
                                    " files are not in Read-Only mode!"};
const Lines kNoSpaceReport = {" ", " Error!", " ",      " Backup Unsuccessful!",
                              " ", " ",       " Note:", " Make sure your disk is not full!"};

std::string Joined(const Lines& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::string Bytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>("abcdefgh \n"[random() % 10]);
  return bytes;
}

class BackupTest : public ::testing::Test {
 protected:
  BackupTest() : drives_({'C', 'D'}) {
    lz::EngineStartup();
    tuning_.workers = VARN_TEST_PACK_WORKERS;
    drives_.MakeFolder("C:\\home");
    drives_.WriteFile("C:\\ICQ\\icq.exe", "");
    SetEntries({"newdb"});
    window_.HomeFolder = "C:\\home";
    window_.icq_folder = "C:\\ICQ";
    window_.SetBackupFolderText("D:\\backup");
  }
  ~BackupTest() override { faults::ResetFaults(); }

  void SetEntries(const Lines& entries) {
    Lines lines = entries;
    lines.push_back("TheEnd");
    lines.push_back("98b-2000b(P)");
    drives_.WriteFile("C:\\home\\back.dat", Joined(lines));
  }
  void Data(const std::string& path, const std::string& bytes) {
    drives_.WriteFile("C:\\ICQ\\" + path, bytes);
  }
  BackupOutcome Run() { return backup::BackupClick(window_, tuning_); }
  std::string List() const { return drives_.ReadFile("D:\\backup\\icqlist.txt"); }
  bool Stored(const std::string& name) const { return drives_.Exists("D:\\backup\\" + name); }

  // An earlier backup of three whose folder holds icq1.lz and icq2.lzz, a file above its
  // total and a file of another name.
  void EarlierBackup() {
    drives_.WriteFile("D:\\backup\\icqlist.txt", kEarlierList);
    drives_.WriteFile("D:\\backup\\icq1.lz", "old one");
    drives_.WriteFile("D:\\backup\\icq2.lzz", "old two");
    drives_.WriteFile("D:\\backup\\icq9.lzz", "above the total");
    drives_.WriteFile("D:\\backup\\notes.txt", "mine");
  }
  void ExpectEarlierBackupWhole() const {
    EXPECT_EQ(List(), kEarlierList);
    EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq1.lz"), "old one");
    EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq2.lzz"), "old two");
    EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq9.lzz"), "above the total");
    EXPECT_EQ(drives_.ReadFile("D:\\backup\\notes.txt"), "mine");
  }

  static constexpr char kEarlierList[] =
      "Total Files : 3\r\nnewdb***x|||1\r\nnewdb***y|||1\r\nnewdb***z|||0\r\n";

  DriveSandbox drives_;
  TracingWindow window_;
  backup::BackupTuning tuning_;
};

TEST_F(BackupTest, FourFilesOneEmpty) {
  Data("newdb\\a.dat", Bytes(10, 1));
  Data("newdb\\b.dat", "");
  Data("newdb\\c.dat", Bytes(20, 2));
  Data("newdb\\d.dat", Bytes(30, 3));

  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);

  EXPECT_EQ(List(), Joined({"Total Files : 4", "newdb***a.dat|||10", "newdb***b.dat|||0",
                            "newdb***c.dat|||20", "newdb***d.dat|||30"}));
  EXPECT_TRUE(Stored("icq1.lzz"));
  EXPECT_FALSE(Stored("icq2.lzz"));
  EXPECT_TRUE(Stored("icq3.lzz"));
  EXPECT_TRUE(Stored("icq4.lzz"));
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 50, 100, 100}));
  EXPECT_EQ(window_.lines, SuccessReport(" D:\\backup", "0.0", "0.0"));
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nD:\\backup\r\n");
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));

  // The screen as the backup went: the progress text, then one line per file at index
  // 15, removed again once the file is done.
  Lines expected = {"clear", "+ ", "gauge 0"};
  for (std::size_t i = 1; i < kProgressScreen.size(); ++i)
    expected.push_back("+" + kProgressScreen[i]);
  for (const auto& [name, gauge] : {std::pair{"a.dat", 50}, {"c.dat", 100}, {"d.dat", 100}}) {
    expected.push_back(std::string("+ C:\\ICQ\\newdb\\") + name);
    expected.push_back("-15");
    expected.push_back("gauge " + std::to_string(gauge));
  }
  expected.push_back("clear");
  for (const auto& line : SuccessReport(" D:\\backup", "0.0", "0.0"))
    expected.push_back("+" + line);
  EXPECT_EQ(window_.trace, expected);
}

TEST_F(BackupTest, ShowsLongPathsShortened) {
  Data("newdb\\a rather long folder name\\12345678.dat", "x");
  window_.SetBackupFolderText("D:\\backups of my icq\\from this machine");
  drives_.MakeFolder("D:\\backups of my icq");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_NE(
      std::find(window_.trace.begin(), window_.trace.end(), "+ C:\\.. folder name\\12345678.dat"),
      window_.trace.end());
  EXPECT_EQ(window_.lines[2], " D:\\.. my icq\\from this machine");
}

struct SizeCase {
  std::size_t bytes;
  const char* megabytes;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.bytes << " bytes"; }

class MegabyteTest : public BackupTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(MegabyteTest, OriginalSizeAtOneDecimal) {
  Data("newdb\\data.dat", Bytes(GetParam().bytes, 7));
  ASSERT_EQ(Run(), BackupOutcome::kSucceeded);
  const auto compressed = std::filesystem::file_size(drives_.Host("D:\\backup\\icq1.lzz"));
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.1f", compressed * 0.000001);
  EXPECT_EQ(window_.lines, SuccessReport(" D:\\backup", GetParam().megabytes, expected));
}

INSTANTIATE_TEST_SUITE_P(Sizes, MegabyteTest,
                         ::testing::Values(SizeCase{49999, "0.0"}, SizeCase{50001, "0.1"},
                                           SizeCase{999999, "1.0"}, SizeCase{1234567, "1.2"}));

TEST_F(BackupTest, NestedFoldersAndHiddenFilesInEntryOrder) {
  SetEntries({"uin", "newdb", "db99b"});
  Data("newdb\\.lock", "l");
  Data("newdb\\one\\two\\three\\deep.dat", "deep");
  Data("newdb\\one\\mid.dat", "mm");
  Data("uin\\12345678.uin", "uin");
  Data("db99b\\.hidden\\h.dat", "h");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(List(), Joined({"Total Files : 5", "uin***12345678.uin|||3", "newdb***.lock|||1",
                            "newdb\\one***mid.dat|||2", "newdb\\one\\two\\three***deep.dat|||4",
                            "db99b\\.hidden***h.dat|||1"}));
  for (const char* name : {"icq1.lzz", "icq2.lzz", "icq3.lzz", "icq4.lzz", "icq5.lzz"}) {
    EXPECT_TRUE(Stored(name)) << name;
  }
}

TEST_F(BackupTest, DefaultEntriesWithOnlyNewdbPresent) {
  SetEntries({"bookmark", "uin", "plugins", "icqfiles", "db", "newdb", "db99b", "2000a", "2000b"});
  Data("newdb\\a.dat", "aaa");
  Data("newdb\\b.dat", "bb");
  Data("other\\c.dat", "not named in back.dat");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(List(), Joined({"Total Files : 2", "newdb***a.dat|||3", "newdb***b.dat|||2"}));
  EXPECT_TRUE(Stored("icq1.lzz"));
  EXPECT_TRUE(Stored("icq2.lzz"));
  EXPECT_FALSE(Stored("icq3.lzz"));
}

TEST_F(BackupTest, EntryKeepsItsCaseWhenTheDiskSpellsItOtherwise) {
  Data("NewDB\\Sub\\a.dat", "aaa");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(List(), Joined({"Total Files : 1", "newdb\\Sub***a.dat|||3"}));
  lz::LZFileInfo info;
  ASSERT_EQ(lz::GetFileInfo("D:\\backup\\icq1.lzz", info), 1);
  EXPECT_EQ(info.name, "a.dat");
}

TEST_F(BackupTest, IcqExeFoundInAnyLetterCase) {
  std::filesystem::rename(drives_.Host("C:\\ICQ\\icq.exe"), drives_.Host("C:\\ICQ\\ICQ.EXE"));
  Data("newdb\\a.dat", "a");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
}

TEST_F(BackupTest, IcqFolderWithoutIcqExe) {
  std::filesystem::remove(drives_.Host("C:\\ICQ\\icq.exe"));
  Data("newdb\\a.dat", "a");
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            (Lines{" ", " Error!", " ", " ICQ cannot be found in ", " C:\\ICQ", " ", " ",
                   " Note:", " 1. Please check your ICQ Folder at",
                   "     \"1. Select ICQ Folder\" again or", " 2. use the AutoSearch function!"}));
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0}));
  EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
  EXPECT_FALSE(drives_.Exists("D:\\backup"));
}

class SameFolderTest : public BackupTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SameFolderTest, Refused) {
  Data("newdb\\a.dat", "a");
  window_.SetBackupFolderText(GetParam());
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, (Lines{" ", " Error!", " ", " It is not advisable to backup to the",
                                  " same folder as ICQ!"}));
  EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\icqlist.txt"));
}

INSTANTIATE_TEST_SUITE_P(Texts, SameFolderTest,
                         ::testing::Values("C:\\ICQ", "C:\\ICQ\\", "c:\\icq"));

// The ICQ folder under another name, or a folder inside one that the backup collects:
// the backup would write its files among the data files it reads.
struct OtherNameCase {
  const char* name;
  const char* typed;
  const char* link;         // made first when set: <link> -> C:\<link_target>
  const char* link_target;  // relative to C:'s root
};

void PrintTo(const OtherNameCase& c, std::ostream* os) { *os << c.name; }

class BackupFolderAmongTheDataTest : public BackupTest,
                                     public ::testing::WithParamInterface<OtherNameCase> {};

TEST_P(BackupFolderAmongTheDataTest, RefusedAsTheSameFolder) {
  Data("newdb\\a.dat", "a");
  drives_.AddDrive('Z', drives_.Root());  // Z:\C\ICQ is C:\ICQ
  // Only the Linux build has the cases with links.
  if (GetParam().link) {
    std::filesystem::create_directory_symlink(
        drives_.Host(std::string("C:\\") + GetParam().link_target), drives_.Host(GetParam().link));
  }
  window_.SetBackupFolderText(GetParam().typed);
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, (Lines{" ", " Error!", " ", " It is not advisable to backup to the",
                                  " same folder as ICQ!"}));
  EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
  // Nothing written among the data: the data folder holds its one file.
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\icqlist.txt"));
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\backup"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(drives_.Host("C:\\ICQ\\newdb")),
                          std::filesystem::directory_iterator()),
            1);
}

const OtherNameCase kOtherNames[] = {
    OtherNameCase{"another_drive", "Z:\\C\\ICQ", nullptr, nullptr},
    OtherNameCase{"another_drive_other_case", "z:\\c\\icq\\", nullptr, nullptr},
    OtherNameCase{"dot", "C:\\ICQ\\.", nullptr, nullptr},
    OtherNameCase{"data_folder", "C:\\ICQ\\newdb", nullptr, nullptr},
    OtherNameCase{"inside_a_data_folder", "C:\\ICQ\\newdb\\backup", nullptr, nullptr},
    OtherNameCase{"inside_it_by_another_drive", "Z:\\C\\ICQ\\NewDB\\backup", nullptr, nullptr},
#ifndef _WIN32  // symbolic links: the Linux layer follows them to the folder they name
    OtherNameCase{"link", "D:\\icq-link", "D:\\icq-link", "ICQ"},
    OtherNameCase{"link_to_a_data_folder", "D:\\db-link", "D:\\db-link", "ICQ\\newdb"},
#endif
};

INSTANTIATE_TEST_SUITE_P(Names, BackupFolderAmongTheDataTest, ::testing::ValuesIn(kOtherNames),
                         [](const auto& info) { return std::string(info.param.name); });

// Inside the ICQ folder but outside every folder named in back.dat is an ordinary backup
// folder: nothing of it is collected.
TEST_F(BackupTest, FolderInsideIcqOutsideTheDataFoldersIsUsed) {
  Data("newdb\\a.dat", "a");
  window_.SetBackupFolderText("C:\\ICQ\\backups");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\backups\\icqlist.txt"),
            Joined({"Total Files : 1", "newdb***a.dat|||1"}));
  EXPECT_TRUE(drives_.Exists("C:\\ICQ\\backups\\icq1.lzz"));
}

struct FolderCase {
  const char* name;
  const char* typed;
  const char* saved;      // BackupPath, and line 2 of pref.cfg
  const char* list_host;  // where icqlist.txt lands, as a Windows path for the sandbox
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class BackupFolderTest : public BackupTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(BackupFolderTest, UsedAndSavedWithoutTrailingBackslash) {
  Data("newdb\\a.dat", "a");
  window_.SetBackupFolderText(GetParam().typed);
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(window_.BackupPath, GetParam().saved);
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"),
            std::string("C:\\ICQ\r\n") + GetParam().saved + "\r\n");
  EXPECT_EQ(drives_.ReadFile(GetParam().list_host), "Total Files : 1\r\nnewdb***a.dat|||1\r\n");
  EXPECT_EQ(window_.lines[2], std::string(" ") + GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(Texts, BackupFolderTest,
                         ::testing::Values(FolderCase{"TrailingBackslash", "D:\\backup\\",
                                                      "D:\\backup", "D:\\backup\\icqlist.txt"},
                                           FolderCase{"DriveRoot", "D:\\", "D:", "D:\\icqlist.txt"},
                                           FolderCase{"NewFolderOneLevel", "D:\\new", "D:\\new",
                                                      "D:\\new\\icqlist.txt"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackupTest, IcqFolderAtDriveRoot) {
  drives_.WriteFile("D:\\icq.exe", "");
  drives_.WriteFile("D:\\newdb\\a.dat", "aa");
  window_.icq_folder = "D:\\";
  window_.SetBackupFolderText("C:\\backup");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(window_.ICQPath, "D:");
  EXPECT_EQ(drives_.ReadFile("C:\\backup\\icqlist.txt"),
            "Total Files : 1\r\nnewdb***a.dat|||2\r\n");
}

class CannotCreateTest : public BackupTest,
                         public ::testing::WithParamInterface<std::pair<const char*, const char*>> {
};

TEST_P(CannotCreateTest, TwoLevelsBelowAnExistingFolder) {
  Data("newdb\\a.dat", "a");
  window_.SetBackupFolderText(GetParam().first);
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, ErrorReport(" Cannot create folder : ", GetParam().second,
                                       " Make sure your disk is not full!", " "));
  EXPECT_FALSE(drives_.Exists("D:\\a"));
  EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
}

INSTANTIATE_TEST_SUITE_P(Texts, CannotCreateTest,
                         ::testing::Values(std::pair{"D:\\a\\b", " D:\\a\\b!"},
                                           std::pair{"D:\\a\\a folder whose name is long",
                                                     " D:\\..folder whose name is long!"}));

TEST_F(BackupTest, NoDataFiles) {
  drives_.MakeFolder("C:\\ICQ\\newdb\\empty");
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, (Lines{" ", " Error!", " ", " No ICQ Data files Found!"}));
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nD:\\backup\r\n");
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
  EXPECT_FALSE(Stored("icqlist.txt"));
  EXPECT_TRUE(drives_.Exists("D:\\backup"));  // created before the collection
}

TEST_F(BackupTest, LeftoverTemporaryListIsEmptiedFirst) {
  drives_.WriteFile("C:\\home\\icqlist.tmp", "newdb***stale.dat|||5\r\n");
  Data("newdb\\a.dat", "a");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(List(), "Total Files : 1\r\nnewdb***a.dat|||1\r\n");
}

TEST_F(BackupTest, NoToOverwriteKeepsTheEarlierBackup) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  window_.answers = {false};
  EXPECT_EQ(Run(), BackupOutcome::kCancelled);
  ASSERT_EQ(window_.questions.size(), 1u);
  EXPECT_EQ(window_.questions[0].text, "Existing Backup Found !\r\rOverwrite files ?");
  EXPECT_EQ(window_.lines, (Lines{" ", " Backup Cancelled!"}));
  ExpectEarlierBackupWhole();
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nD:\\backup\r\n");
}

TEST_F(BackupTest, YesToOverwriteRemovesTheEarlierBackupUpToItsTotal) {
  EarlierBackup();
  drives_.WriteFile("D:\\backup\\icq3.lz", "both three");
  drives_.WriteFile("D:\\backup\\ICQ3.LZZ", "both three, compressed");
  Data("newdb\\a.dat", "a");
  window_.answers = {true};
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(List(), "Total Files : 1\r\nnewdb***a.dat|||1\r\n");
  EXPECT_FALSE(Stored("icq1.lz"));
  EXPECT_TRUE(Stored("icq1.lzz"));  // the new backup's
  EXPECT_FALSE(Stored("icq2.lzz"));
  // Where both exist only the .lz goes, as the removal has always done.
  EXPECT_FALSE(Stored("icq3.lz"));
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\ICQ3.LZZ"), "both three, compressed");
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq9.lzz"), "above the total");
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\notes.txt"), "mine");
  EXPECT_EQ(window_.lines, SuccessReport(" D:\\backup", "0.0", "0.0"));
}

TEST_F(BackupTest, EarlierListWithoutTotalIsAnError) {
  drives_.WriteFile("D:\\backup\\icqlist.txt", "Total Files : many\r\n");
  drives_.WriteFile("D:\\backup\\icq1.lzz", "old");
  Data("newdb\\a.dat", "a");
  window_.answers = {true};
  EXPECT_THROW(Run(), std::runtime_error);
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq1.lzz"), "old");
}

struct StuckCase {
  const char* name;
  const char* path;  // in D:\backup
  enum { kReadOnly, kHeld, kFolderProtected } how;
};

void PrintTo(const StuckCase& c, std::ostream* os) { *os << c.name; }

class RemovalFailsTest : public BackupTest, public ::testing::WithParamInterface<StuckCase> {};

TEST_P(RemovalFailsTest, ReportsAndLeavesTheEarlierBackupWhole) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  const std::string stuck = std::string("D:\\backup\\") + GetParam().path;
  switch (GetParam().how) {
    case StuckCase::kReadOnly:
      ASSERT_TRUE(drives_.MakeReadOnly(stuck));
      break;
    case StuckCase::kHeld:
      faults::HoldOpen(stuck);
      break;
    case StuckCase::kFolderProtected:
      faults::HoldOpen("D:\\backup");
      break;
  }
  window_.answers = {true};
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, kRemovalFailedReport);
  // Nothing was deleted before the refusal was known: icq1.lz comes first in the removal.
  ExpectEarlierBackupWhole();
  EXPECT_FALSE(Stored("icq1.lzz"));
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    StuckFiles, RemovalFailsTest,
    ::testing::Values(StuckCase{"ReadOnlyLastFile", "icq2.lzz", StuckCase::kReadOnly},
                      StuckCase{"ReadOnlyList", "icqlist.txt", StuckCase::kReadOnly},
                      StuckCase{"HeldLastFile", "icq2.lzz", StuckCase::kHeld},
                      StuckCase{"WriteProtectedFolder", "", StuckCase::kFolderProtected}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackupTest, ReadOnlyLzWithAnLzzBesideItGoesByTheLzz) {
  EarlierBackup();
  drives_.WriteFile("D:\\backup\\icq3.lz", "three, read-only");
  drives_.WriteFile("D:\\backup\\icq3.lzz", "three");
  ASSERT_TRUE(drives_.MakeReadOnly("D:\\backup\\icq3.lz"));
  Data("newdb\\a.dat", "a");
  window_.answers = {true};
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq3.lz"), "three, read-only");
  EXPECT_FALSE(Stored("icq3.lzz"));
  EXPECT_FALSE(Stored("icq2.lzz"));
}

// The earlier backup's files go only once the new backup has taken its place: a deletion
// that fails then is reported, and the next action on the folder finishes the job.
TEST_F(BackupTest, DeletionThatFailsAfterTheChecksStillReports) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  // The first deletion is the earlier list's, the second icq1.lz's.
  faults::FailNthOperation(2, faults::FileOp::kDelete);
  window_.answers = {true};
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, kRemovalFailedReport);
  EXPECT_TRUE(Stored("icq1.lz"));
  EXPECT_FALSE(Stored("icqlist.txt"));

  faults::ResetFaults();
  backup::FinishStagedBackup("D:\\backup");
  EXPECT_EQ(List(), "Total Files : 1\r\nnewdb***a.dat|||1\r\n");
  EXPECT_FALSE(Stored("icq1.lz"));
  EXPECT_TRUE(Stored("icq1.lzz"));
  EXPECT_FALSE(Stored("icq2.lzz"));
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq9.lzz"), "above the total");
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\notes.txt"), "mine");
}

struct SpaceCase {
  std::optional<unsigned long long> free;
  bool succeeds;
};

void PrintTo(const SpaceCase& c, std::ostream* os) {
  if (c.free) {
    *os << *c.free << " bytes free";
  } else {
    *os << "free space unknown";
  }
}

class FreeSpaceTest : public BackupTest, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(FreeSpaceTest, FileMustBeSmallerThanTheFreeSpace) {
  Data("newdb\\a.dat", Bytes(10, 1));
  Data("newdb\\b.dat", Bytes(20, 2));
  Data("newdb\\c.dat", Bytes(5, 3));
  faults::SetFreeSpace(4, GetParam().free);  // D:
  if (GetParam().succeeds) {
    EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
    EXPECT_TRUE(Stored("icq3.lzz"));
    return;
  }
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, kNoSpaceReport);
  EXPECT_EQ(List(), Joined({"Total Files : 3", "newdb***a.dat|||10", "newdb***b.dat|||20"}));
  EXPECT_TRUE(Stored("icq1.lzz"));
  EXPECT_FALSE(Stored("icq2.lzz"));
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 66}));
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Figures, FreeSpaceTest,
                         ::testing::Values(SpaceCase{20, false}, SpaceCase{21, true},
                                           SpaceCase{std::nullopt, true},
                                           SpaceCase{5ULL << 40, true}));

class HeldDataFileTest : public BackupTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HeldDataFileTest, PackFileReportEndsTheBackupAfterThatFile) {
  Data("newdb\\a.dat", Bytes(10, 1));
  Data("newdb\\b.dat", Bytes(20, 2));
  Data("newdb\\c.dat", Bytes(30, 3));
  const bool being_written = GetParam();
  std::ofstream writer;
  if (being_written) {
    // Another program has it open for writing, as a running ICQ has its database.
    writer.open(drives_.Host("C:\\ICQ\\newdb\\b.dat"), std::ios::binary | std::ios::app);
    ASSERT_TRUE(writer.is_open());
  } else {
    faults::HoldOpen("C:\\ICQ\\newdb\\b.dat");
  }
  const BackupOutcome outcome = Run();
  writer.close();
  EXPECT_EQ(outcome, BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, kPackFileReport);
  EXPECT_EQ(List(), Joined({"Total Files : 3", "newdb***a.dat|||10", "newdb***b.dat|||20"}));
  EXPECT_TRUE(Stored("icq1.lzz"));
  EXPECT_FALSE(Stored("icq2.lzz"));
  EXPECT_FALSE(Stored("icq3.lzz"));
  // The gauge still moves past the file that failed; no line 15 is left to delete.
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 66, 100}));
  EXPECT_EQ(window_.trace[window_.trace.size() - 2], "-15");
}

INSTANTIATE_TEST_SUITE_P(Holds, HeldDataFileTest, ::testing::Values(false, true),
                         [](const auto& info) {
                           return info.param ? "OpenForWriting" : "HeldOpen";
                         });

TEST_F(BackupTest, ReadOnlyDataFileIsBackedUpWithItsAttribute) {
  Data("newdb\\a.dat", Bytes(10, 1));
  Data("newdb\\b.dat", Bytes(20, 2));
  ASSERT_TRUE(drives_.MakeReadOnly("C:\\ICQ\\newdb\\b.dat"));
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, SuccessReport(" D:\\backup", "0.0", "0.0"));
  ASSERT_EQ(lz::DecompressFile("D:\\backup\\icq2.lzz", "D:\\b.dat", nullptr, nullptr), 20);
  EXPECT_EQ(drives_.ReadFile("D:\\b.dat"), Bytes(20, 2));
  EXPECT_EQ(platform::GetAttributes("D:\\b.dat"), platform::faReadOnly | platform::faArchive);
}

TEST_F(BackupTest, EngineErrorEndsTheBackupAndLeavesTheTemporaryList) {
  Data("newdb\\a.dat", Bytes(10, 1));
  Data("newdb\\b.dat", Bytes(20, 2));
  drives_.WriteFile("D:\\backup\\icq2.lzz", "leftover, read-only");
  ASSERT_TRUE(drives_.MakeReadOnly("D:\\backup\\icq2.lzz"));
  try {
    Run();
    FAIL() << "no error raised";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), platform::kAccessDenied);
  }
  // No list that counts a file it cannot name; the error told on the screen.
  EXPECT_FALSE(drives_.Exists("D:\\backup\\icqlist.txt"));
  EXPECT_TRUE(drives_.Exists("C:\\home\\icqlist.tmp"));
  EXPECT_EQ(window_.lines, ErrorReport(" Backup could not be saved : ", " D:\\backup!",
                                       " " + platform::IoErrorText(platform::kAccessDenied) + "!",
                                       " "));
}

TEST_F(BackupTest, EngineErrorAfterFilesCompressedAheadTakesThemBack) {
  for (const char* name : {"a.dat", "b.dat", "c.dat", "d.dat", "e.dat"}) {
    Data(std::string("newdb\\") + name, Bytes(3000, name[0]));
  }
  // The first compressed file cannot be created; with workers, the files after it are
  // compressed meanwhile.
  faults::HoldOpen("D:\\backup\\icq1.lzz");
  try {
    Run();
    FAIL() << "no error raised";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), platform::kSharingViolation);
  }
  EXPECT_FALSE(drives_.Exists("D:\\backup\\icqlist.txt"));
  for (const char* name : {"icq1.lzz", "icq2.lzz", "icq3.lzz", "icq4.lzz", "icq5.lzz"}) {
    EXPECT_FALSE(Stored(name)) << name;
  }
  EXPECT_EQ(window_.lines[3], " Backup could not be saved : ");
}

// A stop requested while the second file is in progress (as Ctrl-C or the closed window
// request it) ends the backup; whatever it leaves is finished and listed.
TEST_F(BackupTest, StopRequestLeavesOnlyFinishedFilesAndTheirLines) {
  class StoppingWindow : public TracingWindow {
   public:
    void AppendLine(const std::string& line) override {
      if (line == " C:\\ICQ\\newdb\\b.dat") platform::RequestStop();
      TracingWindow::AppendLine(line);
    }
  } window;
  window.HomeFolder = window_.HomeFolder;
  window.icq_folder = window_.icq_folder;
  window.SetBackupFolderText(window_.backup_text);
  const char* names[] = {"a.dat", "b.dat", "c.dat", "d.dat", "e.dat", "f.dat"};
  for (const char* name : names) Data(std::string("newdb\\") + name, Bytes(300000, name[0]));
  try {
    backup::BackupClick(window, tuning_);
    ADD_FAILURE() << "no error raised";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), platform::kOperationAborted);
  }
  platform::ClearStopRequest();
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
  // The list names exactly the files that are there, and each of them is whole.
  Lines expected = {"Total Files : 6"};
  std::size_t stored = 0;
  for (std::size_t n = 1; n <= 6; ++n) {
    const std::string file = "D:\\backup\\icq" + std::to_string(n) + ".lzz";
    if (!drives_.Exists(file)) continue;
    ++stored;
    EXPECT_EQ(stored, n) << "a gap before " << file;
    expected.push_back(std::string("newdb***") + names[n - 1] + "|||300000");
    lz::CheckResult check;
    ASSERT_TRUE(lz::CheckCompressedFile(file, check)) << file;
    EXPECT_EQ(check.decoded, 300000) << file;
    EXPECT_EQ(check.crc32, check.header.crc32) << file;
  }
  EXPECT_LT(stored, 6u);
  EXPECT_EQ(List(), Joined(expected));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(drives_.Host("D:\\backup"))) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left.size(), stored + 1) << "only the list and the finished files";
}

// --- Over an earlier backup --------------------------------------------------------------

// The new backup is written beside the earlier one and takes its place only when whole:
// a backup that stops leaves the earlier one as it was, and nothing of its own.
class OverEarlierBackupTest : public BackupTest {
 protected:
  void SetUp() override {
    EarlierBackup();
    Data("newdb\\a.dat", Bytes(10, 1));
    Data("newdb\\b.dat", Bytes(20, 2));
    Data("newdb\\c.dat", Bytes(5, 3));
    window_.answers = {true};
  }
  void ExpectOnlyTheEarlierBackup() const {
    ExpectEarlierBackupWhole();
    Lines names;
    for (const auto& entry : std::filesystem::directory_iterator(drives_.Host("D:\\backup"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines{"icq1.lz", "icq2.lzz", "icq9.lzz", "icqlist.txt", "notes.txt"}));
  }
};

TEST_F(OverEarlierBackupTest, NoRoomForAFileLeavesTheEarlierBackup) {
  faults::SetFreeSpace(4, 20);  // D:
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, kNoSpaceReport);
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 66}));
  ExpectOnlyTheEarlierBackup();
}

TEST_F(OverEarlierBackupTest, PackFileReportLeavesTheEarlierBackup) {
  faults::HoldOpen("C:\\ICQ\\newdb\\b.dat");
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, kPackFileReport);
  ExpectOnlyTheEarlierBackup();
}

TEST_F(OverEarlierBackupTest, FileThatCannotBeFlushedLeavesTheEarlierBackup) {
  tuning_.flush_stand_in = [](const std::string& path) { return path.ends_with("2.new") ? 5 : 0; };
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            ErrorReport(" Backup could not be saved : ", " D:\\backup\\icq2.new!",
                        " Make sure your disk is not full", "      and is still connected!"));
  ExpectOnlyTheEarlierBackup();
}

TEST_F(OverEarlierBackupTest, EngineErrorLeavesTheEarlierBackup) {
  faults::FailFromNthOperation(9, faults::FileOp::kWrite, platform::kDiskFull);
  EXPECT_THROW(Run(), platform::EInOutError);
  faults::ResetFaults();
  ExpectOnlyTheEarlierBackup();
}

// A read-only file the new backup would replace (icq9.lzz, above the earlier total) is
// found before anything of the earlier backup goes.
TEST_F(OverEarlierBackupTest, FileItWouldReplaceThatRefusesLeavesTheEarlierBackup) {
  for (int n = 4; n <= 9; ++n) Data("newdb\\f" + std::to_string(n) + ".dat", Bytes(7, n));
  ASSERT_TRUE(drives_.MakeReadOnly("D:\\backup\\icq9.lzz"));
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, kRemovalFailedReport);
  ExpectOnlyTheEarlierBackup();
}

// What a killed backup left is dealt with before the question: files staged without a
// commit are deleted.
TEST_F(OverEarlierBackupTest, StagedFilesOfAKilledBackupAreDeletedFirst) {
  drives_.WriteFile("D:\\backup\\icqlist.new", "Total Files : 3\r\nnewdb***a.dat|||10\r\n");
  drives_.WriteFile("D:\\backup\\icq1.new", "half a file");
  drives_.WriteFile("D:\\backup\\icqlist.del", "icq1.lz\r\n");
  window_.answers = {false};
  EXPECT_EQ(Run(), BackupOutcome::kCancelled);
  ExpectOnlyTheEarlierBackup();
}

// A committed backup is put in place first; its record of the earlier files deletes only
// names of compressed files.
TEST_F(OverEarlierBackupTest, CommittedBackupOfAKilledRunIsPutInPlaceFirst) {
  drives_.WriteFile("D:\\backup\\icqlist.put", "Total Files : 1\r\nnewdb***n.dat|||3\r\n");
  drives_.WriteFile("D:\\backup\\icq1.new", "new one");
  drives_.WriteFile("D:\\backup\\icqlist.del",
                    "icq1.lz\r\nicq2.lzz\r\nnotes.txt\r\n..\\icq3.lz\r\n");
  drives_.WriteFile("D:\\icq3.lz", "outside");
  window_.answers = {false};
  EXPECT_EQ(Run(), BackupOutcome::kCancelled);
  EXPECT_EQ(List(), "Total Files : 1\r\nnewdb***n.dat|||3\r\n");
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq1.lzz"), "new one");
  EXPECT_FALSE(Stored("icq1.lz"));
  EXPECT_FALSE(Stored("icq2.lzz"));
  EXPECT_FALSE(Stored("icq1.new"));
  EXPECT_FALSE(Stored("icqlist.put"));
  EXPECT_FALSE(Stored("icqlist.del"));
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\notes.txt"), "mine");
  EXPECT_EQ(drives_.ReadFile("D:\\icq3.lz"), "outside");
  EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq9.lzz"), "above the total");
}

// --- Mends -----------------------------------------------------------------------------

TEST_F(BackupTest, FileOfTwoGibibytesStopsBeforeTheQuestion) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  Data("newdb\\huge.db", "");
  std::filesystem::resize_file(drives_.Host("C:\\ICQ\\newdb\\huge.db"), 0x80000000LL);
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            ErrorReport(" File too large to backup : ", " C:\\ICQ\\newdb\\huge.db!",
                        " Files of 2 GB or more cannot be", "      stored in a backup!"));
  EXPECT_TRUE(window_.questions.empty());
  ExpectEarlierBackupWhole();
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
}

#ifndef _WIN32  // names Windows cannot make, and names in two letter cases in one folder
class UnlistableNameTest
    : public BackupTest,
      public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(UnlistableNameTest, StopsBeforeTheQuestionAndNamesThePath) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  std::ofstream(drives_.Host("C:\\ICQ\\newdb") / GetParam().first) << "x";
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            ErrorReport(" Name not allowed in a backup : ", GetParam().second,
                        " Rename it without \\ : * ? \" < > |", "      or control characters!"));
  EXPECT_TRUE(window_.questions.empty());
  ExpectEarlierBackupWhole();
}

INSTANTIATE_TEST_SUITE_P(Names, UnlistableNameTest,
                         ::testing::Values(std::pair{"b|c.dat", " C:\\ICQ\\newdb\\b|c.dat!"},
                                           std::pair{"b*c.dat", " C:\\ICQ\\newdb\\b*c.dat!"},
                                           std::pair{"b\tc.dat", " C:\\ICQ\\newdb\\b?c.dat!"}));

TEST_F(BackupTest, NamesDifferingOnlyInCaseStopBeforeTheQuestion) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  Data("newdb\\README", "upper");
  Data("newdb\\readme", "lower");
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            ErrorReport(" Names differ only in case : ", " C:\\ICQ\\newdb\\readme!",
                        " Rename one of them: a restore", "      could keep only one!"));
  EXPECT_TRUE(window_.questions.empty());
  ExpectEarlierBackupWhole();
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
}

// A folder that bears a compressed file's name in another letter case takes that name, as
// on Windows: the file cannot be written there (code 5), and none is made beside it.
TEST_F(BackupTest, FolderBearingACompressedFilesNameIsNotGivenATwin) {
  drives_.MakeFolder("D:\\backup\\ICQ1.LZZ");
  Data("newdb\\a.dat", "a");
  EXPECT_THROW(Run(), platform::EInOutError);
  EXPECT_FALSE(std::filesystem::exists(drives_.Host("D:\\backup") / "icq1.lzz"));
  EXPECT_TRUE(std::filesystem::is_directory(drives_.Host("D:\\backup") / "ICQ1.LZZ"));
}
#endif

TEST_F(BackupTest, FolderThatCannotBeEnteredStopsBeforeTheQuestion) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  Data("newdb\\locked\\b.dat", "b");
  faults::HoldOpen("C:\\ICQ\\newdb\\locked");
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            ErrorReport(" Cannot open folder : ", " C:\\ICQ\\newdb\\locked!",
                        " Make sure you may read it", "      and no program holds it!"));
  EXPECT_TRUE(window_.questions.empty());
  ExpectEarlierBackupWhole();
}

// --- back.dat entries --------------------------------------------------------------

// An entry that leads out of the ICQ folder is refused, naming it, before the question and
// before the earlier backup is touched; a ".." alone gets that report, not another one.
class LeadingOutEntryTest : public BackupTest,
                            public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(LeadingOutEntryTest, RefusedNamingItBeforeTheEarlierBackupIsTouched) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  drives_.WriteFile("C:\\victim\\v.dat", "not ICQ's");
  SetEntries({"newdb", GetParam().first, "uin"});
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines, ErrorReport(" Entry not allowed in back.dat : ", GetParam().second,
                                       " Entries name folders below", "      the ICQ Folder!"));
  EXPECT_TRUE(window_.questions.empty());
  ExpectEarlierBackupWhole();
  EXPECT_FALSE(drives_.Exists("C:\\home\\icqlist.tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LeadingOutEntryTest,
    ::testing::Values(std::pair{"..\\victim", " ..\\victim!"}, std::pair{"..", " ..!"},
                      std::pair{"newdb\\..\\..\\victim", " newdb\\..\\..\\victim!"},
                      std::pair{"newdb/../../victim", " newdb/../../victim!"},
                      std::pair{".", " .!"}, std::pair{"C:\\victim", " C:\\victim!"},
                      std::pair{"C:victim", " C:victim!"}, std::pair{"\\victim", " \\victim!"},
                      std::pair{"\\\\server\\share", " \\\\server\\share!"}));

// A huge back.dat with an ICQ folder of a thousand files: its entries are all looked for
// (bench/back_dat.sh times it), and a stop request ends the reading of them.
TEST_F(BackupTest, TenThousandEntriesAreLookedForAndAStopEndsThem) {
  const std::filesystem::path icq = drives_.Host("C:\\ICQ");
  for (int n = 0; n < 1000; ++n) std::ofstream(icq / ("f" + std::to_string(n) + ".dat")) << n;
  Lines entries;
  for (int n = 0; n < 10000; ++n) entries.push_back("missing" + std::to_string(n));
  entries.push_back("newdb");
  SetEntries(entries);
  Data("newdb\\a.dat", "a");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(List(), Joined({"Total Files : 1", "newdb***a.dat|||1"}));

  for (int n = 0; n < 30000; ++n) entries.push_back("more" + std::to_string(n));
  SetEntries(entries);
  platform::RequestStop();
  try {
    Run();
    ADD_FAILURE() << "no error raised";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), platform::kOperationAborted);
  }
  platform::ClearStopRequest();
}

// A disk that fills up at each write in turn: the free-space report on the screen, no cut
// compressed file, and no list whose count its lines do not reach; over an earlier backup
// the report too, with the earlier backup whole.
TEST_F(BackupTest, DiskFilledDuringTheBackupIsReportedAndLeavesNoListThatLies) {
  for (int n = 1; n <= 4; ++n) Data("newdb\\f" + std::to_string(n) + ".dat", Bytes(200000, n));
  int failed_after_a_file = 0;
  for (int failing = 1; failing <= 40; failing += 3) {
    std::filesystem::remove_all(drives_.Host("D:\\backup"));
    window_ = TracingWindow();
    window_.HomeFolder = "C:\\home";
    window_.icq_folder = "C:\\ICQ";
    window_.SetBackupFolderText("D:\\backup");
    faults::ResetFaults();
    faults::FailFromNthOperation(failing, faults::FileOp::kWrite, platform::kDiskFull);
    try {
      EXPECT_EQ(Run(), BackupOutcome::kSucceeded) << failing;
      continue;
    } catch (const platform::EInOutError& error) {
      EXPECT_EQ(error.ErrorCode(), platform::kDiskFull);
    }
    faults::ResetFaults();
    EXPECT_EQ(window_.lines, kNoSpaceReport) << failing;
    EXPECT_FALSE(drives_.Exists("D:\\backup\\icqlist.txt")) << failing;
    for (int n = 1; n <= 4; ++n) {
      const std::string file = "D:\\backup\\icq" + std::to_string(n) + ".lzz";
      if (!drives_.Exists(file)) continue;
      failed_after_a_file += n == 1;
      lz::CheckResult check;
      ASSERT_TRUE(lz::CheckCompressedFile(file, check)) << file;
      EXPECT_EQ(check.decoded, 200000) << failing << " " << file;
    }
  }
  EXPECT_GT(failed_after_a_file, 0);

  faults::ResetFaults();
  window_ = TracingWindow();
  window_.HomeFolder = "C:\\home";
  window_.icq_folder = "C:\\ICQ";
  window_.SetBackupFolderText("D:\\backup");
  std::filesystem::remove_all(drives_.Host("D:\\backup"));
  EarlierBackup();
  window_.answers = {true};
  faults::FailFromNthOperation(9, faults::FileOp::kWrite, platform::kDiskFull);
  EXPECT_THROW(Run(), platform::EInOutError);
  faults::ResetFaults();
  EXPECT_EQ(window_.lines, kNoSpaceReport);
  ExpectEarlierBackupWhole();
}

TEST_F(BackupTest, FailedAppendToTheTemporaryListEndsTheBackup) {
  EarlierBackup();
  Data("newdb\\a.dat", "a");
  Data("newdb\\b.dat", "b");
  // The writes before the collection (pref.cfg) are not counted here: fail each write in
  // turn until the one that fails is the second line's append.
  bool met = false;
  for (int n = 1; n <= 8 && !met; ++n) {
    drives_.WriteFile("C:\\home\\icqlist.tmp", "");
    faults::ResetFaults();
    faults::FailNthOperation(n, faults::FileOp::kWrite, platform::kDiskFull);
    EXPECT_THROW(Run(), platform::EInOutError);
    met = drives_.ReadFile("C:\\home\\icqlist.tmp") == "newdb***a.dat|||1\r\n";
  }
  EXPECT_TRUE(met);
  EXPECT_TRUE(window_.questions.empty());
  ExpectEarlierBackupWhole();
}

TEST_F(BackupTest, NumbersGoPastSixtyFiveThousand) {
  // 70,000 files, all empty but four, so that only those are compressed.
  const auto folder = drives_.Host("C:\\ICQ\\newdb");
  std::filesystem::create_directories(folder);
  char name[16];
  for (int i = 1; i <= 70000; ++i) {
    std::snprintf(name, sizeof name, "f%05d", i);
    std::ofstream file(folder / name);
    if (i == 65535 || i == 65536 || i == 65537 || i == 70000) file << name;
  }
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  const std::string list = List();
  EXPECT_TRUE(list.starts_with("Total Files : 70000\r\nnewdb***f00001|||0\r\n"));
  EXPECT_TRUE(list.ends_with("newdb***f70000|||6\r\n"));
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 70001);
  for (const char* stored : {"icq65535.lzz", "icq65536.lzz", "icq65537.lzz", "icq70000.lzz"}) {
    EXPECT_TRUE(Stored(stored)) << stored;
  }
  EXPECT_FALSE(Stored("icq0.lzz"));
  EXPECT_FALSE(Stored("icq1.lzz"));
  EXPECT_FALSE(Stored("icq4464.lzz"));  // 70000 - 65536: where a 16-bit number would wrap to
  EXPECT_EQ(window_.gauge, 100);
}

class FlushFailsTest : public BackupTest,
                       public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(FlushFailsTest, ReportsInsteadOfSuccess) {
  Data("newdb\\a.dat", Bytes(10, 1));
  Data("newdb\\b.dat", Bytes(20, 2));
  Data("newdb\\c.dat", Bytes(30, 3));
  const int step = GetParam().first;
  if (step > 0) {
    // The list's flush, then the folder's, go through the platform layer; pref.cfg's
    // flush, when the settings are saved, comes before them.
    faults::FailNthOperation(1 + step, faults::FileOp::kFlush, 5);
  } else {
    // The compressed files are flushed on the flush thread; the report names the first
    // in list order that failed.
    tuning_.flush_stand_in = [](const std::string& path) {
      return path.ends_with("\\icq2.lzz") || path.ends_with("\\icq3.lzz") ? 5 : 0;
    };
  }
  EXPECT_EQ(Run(), BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            ErrorReport(" Backup could not be saved : ", GetParam().second,
                        " Make sure your disk is not full", "      and is still connected!"));
  EXPECT_EQ(List(), Joined({"Total Files : 3", "newdb***a.dat|||10", "newdb***b.dat|||20",
                            "newdb***c.dat|||30"}));
}

INSTANTIATE_TEST_SUITE_P(Steps, FlushFailsTest,
                         ::testing::Values(std::pair{0, " D:\\backup\\icq2.lzz!"},
                                           std::pair{1, " D:\\backup\\icqlist.txt!"},
                                           std::pair{2, " D:\\backup!"}));

TEST_F(BackupTest, FlushesEveryCompressedFileBeforeTheReport) {
  Data("newdb\\a.dat", Bytes(10, 1));
  Data("newdb\\b.dat", "");
  Data("newdb\\c.dat", Bytes(30, 3));
  std::vector<std::string> flushed;
  std::mutex guard;
  tuning_.flush_stand_in = [&](const std::string& path) {
    std::lock_guard lock(guard);
    flushed.push_back(path.substr(path.rfind('\\') + 1));
    return 0;
  };
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  std::sort(flushed.begin(), flushed.end());
  EXPECT_EQ(flushed, (std::vector<std::string>{"icq1.lzz", "icq3.lzz"}));
}

// --- The backup folder text --------------------------------------------------------------

// The folder lists move the current directory, and so does the collection walk: a
// relative text names the folder below the one a list moved to last, throughout.
TEST_F(BackupTest, RelativeBackupFolderTextIsMadeFullAndUsedThroughout) {
  Data("newdb\\sub\\a.dat", "a");  // the walk enters a folder below newdb
  drives_.MakeFolder("D:\\lists");
  window_.MoveBackupFolder("D:\\lists");
  window_.SetBackupFolderText("relbk");
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(window_.BackupPath, "D:\\lists\\relbk");
  EXPECT_EQ(window_.BackupFolderText(), "D:\\lists\\relbk") << "the edit box shows it";
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nD:\\lists\\relbk\r\n");
  EXPECT_EQ(drives_.ReadFile("D:\\lists\\relbk\\icqlist.txt"),
            "Total Files : 1\r\nnewdb\\sub***a.dat|||1\r\n");
  EXPECT_TRUE(drives_.Exists("D:\\lists\\relbk\\icq1.lzz"));
}

struct FolderTextCase {
  const char* name;
  const char* typed;
  const char* used;   // what the action reads
  const char* shown;  // the edit box afterwards
};

void PrintTo(const FolderTextCase& c, std::ostream* os) { *os << c.name; }

class FolderTextTest : public ::testing::TestWithParam<FolderTextCase> {};

TEST_P(FolderTextTest, OnlyTextsThatDependOnTheCurrentDirectoryAreMadeFull) {
  DriveSandbox drives({'C', 'D'});
  drives.MakeFolder("D:\\lists\\inner");
  ASSERT_TRUE(platform::SetCurrentDir("D:\\lists\\inner"));
  RecordingWindow window;
  window.SetBackupFolderText(GetParam().typed);
  EXPECT_EQ(backup::ReadBackupFolder(window), GetParam().used);
  EXPECT_EQ(window.BackupFolderText(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FolderTextTest,
    ::testing::Values(
        FolderTextCase{"Relative", "relbk", "D:\\lists\\inner\\relbk", "D:\\lists\\inner\\relbk"},
        FolderTextCase{"RelativeWithBackslash", "relbk\\", "D:\\lists\\inner\\relbk",
                       "D:\\lists\\inner\\relbk\\"},
        FolderTextCase{"Parent", "..\\up", "D:\\lists\\up", "D:\\lists\\up"},
        FolderTextCase{"FromTheDriveRoot", "\\top", "D:\\top", "D:\\top"},
        FolderTextCase{"Full", "C:\\Backup\\", "C:\\Backup", "C:\\Backup\\"},
        FolderTextCase{"DriveAlone", "C:", "C:", "C:"},
        FolderTextCase{"Network", "\\\\server\\share", "\\\\server\\share", "\\\\server\\share"},
        FolderTextCase{"Empty", "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- What the window is given to show while files are compressed --------------------------

constexpr std::size_t kEngineBlock = 262144;

bool Shows(const RecordingWindow& window, const Lines& lines) {
  return std::any_of(window.refreshed.begin(), window.refreshed.end(),
                     [&](const RecordingWindow::Shown& shown) { return shown.lines == lines; });
}

Lines WithFileLine(const std::string& line) {
  Lines lines = kProgressScreen;
  lines.push_back(line);
  return lines;
}

TEST_F(BackupTest, OneLargeFileIsShownWhileItIsCompressedAndTheGaugeMovesThroughIt) {
  Data("newdb\\big.dat", Bytes(8 * kEngineBlock, 7));
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);

  ExpectShownThroughOneFile(window_, WithFileLine(" C:\\ICQ\\newdb\\big.dat"), 8);
  ASSERT_GE(window_.lines.size(), 5u);
  EXPECT_EQ(window_.lines[4], " Original Filesize: 2.1 MB");
}

TEST_F(BackupTest, FileLinesAreRefreshedWhileTheBackupWaitsForTheirFiles) {
  // The first file keeps the backup waiting for it, compressed here or by a worker.
  Data("newdb\\a.dat", Bytes(16 * kEngineBlock, 'a'));
  for (const char* name : {"b.dat", "c.dat", "d.dat"}) {
    Data(std::string("newdb\\") + name, Bytes(3 * kEngineBlock, name[0]));
  }
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_TRUE(Shows(window_, WithFileLine(" C:\\ICQ\\newdb\\a.dat")));
  if (tuning_.workers == 1) {
    // Compressed here, every file of more than a block is refreshed before it starts.
    for (const char* name : {"b.dat", "c.dat", "d.dat"}) {
      EXPECT_TRUE(Shows(window_, WithFileLine(std::string(" C:\\ICQ\\newdb\\") + name))) << name;
    }
  }
  // The files' steps of the gauge are those of the plain loop, whatever moved between.
  for (int step : {50, 75, 100}) {
    EXPECT_NE(std::find(window_.gauge_history.begin(), window_.gauge_history.end(), step),
              window_.gauge_history.end())
        << step;
  }
  EXPECT_TRUE(std::is_sorted(window_.gauge_history.begin(), window_.gauge_history.end()));
  // Every byte of data is counted once, whoever compressed it.
  EXPECT_EQ(window_.bytes_counted, static_cast<std::int64_t>((16 + 3 * 3) * kEngineBlock));
}

TEST_F(BackupTest, SmallFilesAreLeftToTheWindowsOwnRepaints) {
  for (int i = 0; i < 20; ++i) Data("newdb\\f" + std::to_string(i) + ".dat", Bytes(1000, i));
  tuning_.workers = 1;  // a worker's file may keep the backup waiting, however small
  EXPECT_EQ(Run(), BackupOutcome::kSucceeded);
  EXPECT_EQ(window_.refreshes, 1) << "only before the files are flushed";
}

// --- PackFile ----------------------------------------------------------------------------

class PackFileTest : public BackupTest {};

TEST_F(PackFileTest, CompressesWithAnyModeButUAndReplacesTheDestination) {
  Data("a.dat", "abc");
  drives_.WriteFile("D:\\out.lzz", "an older file");
  bool ok = true;
  EXPECT_EQ(backup::PackFile(window_, "C:\\ICQ\\a.dat", "D:\\out.lzz", "c", ok), 261);
  EXPECT_TRUE(ok);
  EXPECT_EQ(std::filesystem::file_size(drives_.Host("D:\\out.lzz")), 261u);
  EXPECT_EQ(backup::PackFile(window_, "C:\\ICQ\\a.dat", "D:\\out2.lzz", "x", ok), 261);
  EXPECT_TRUE(window_.lines.empty());
}

TEST_F(PackFileTest, BothLetterCasesOfUDecompressOverAnExistingFile) {
  Data("a.dat", "hello, hello, hello");
  bool ok = true;
  ASSERT_GT(backup::PackFile(window_, "C:\\ICQ\\a.dat", "D:\\a.lzz", "c", ok), 0);
  for (const char* mode : {"U", "u"}) {
    drives_.WriteFile("D:\\a.dat", "to be replaced");
    ok = false;  // left as it is
    EXPECT_EQ(backup::PackFile(window_, "D:\\a.lzz", "D:\\a.dat", mode, ok), 19);
    EXPECT_FALSE(ok);
    EXPECT_EQ(drives_.ReadFile("D:\\a.dat"), "hello, hello, hello");
  }
}

TEST_F(PackFileTest, SourceThatCannotBeOpenedIsReported) {
  window_.AppendLine(" earlier text");
  bool ok = true;
  EXPECT_EQ(backup::PackFile(window_, "C:\\ICQ\\missing.dat", "D:\\m.lzz", "c", ok), 0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(window_.lines, kPackFileReport);
  EXPECT_FALSE(drives_.Exists("D:\\m.lzz"));
}

TEST_F(PackFileTest, EngineErrorsPassThrough) {
  Data("a.dat", "abc");
  bool ok = true;
  EXPECT_THROW(backup::PackFile(window_, "C:\\ICQ\\a.dat", "D:\\no folder\\a.lzz", "c", ok),
               platform::EInOutError);
  EXPECT_TRUE(ok);
}

}  // namespace
