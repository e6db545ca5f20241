// The Restore button on drives of temporary folders: its checks and reports line by
// line, the entries of the list, the gauge, and the failures that stop a restore.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/reports.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/io_error.h"
#include "restore_fixture.h"

namespace {

namespace fs = std::filesystem;
using backup::RestoreOutcome;
using platform::testing::FileOp;

const std::vector<DataFile> kThree = {{"newdb", "a.dat", "first file, first file, first"},
                                      {"newdb", "b.dat", std::string(5000, 'b') + "end"},
                                      {"uin", "12345.uin", "UIN\r\n12345\r\n"}};

// Every file below the sandbox whose name has the restore's own form: icq.tmp, icq-N.tmp,
// torq32-N.tmp, in any letter case, except the data files the list names.
std::vector<std::string> RestoresOwnFiles(const fs::path& root, const std::vector<DataFile>& data) {
  std::vector<std::string> own;
  for (const auto& [path, content] : SnapshotTree(root)) {
    std::string name = fs::path(path).filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!(name.starts_with("icq") || name.starts_with("torq32-")) || !name.ends_with(".tmp") ||
        content == "<folder>") {
      continue;
    }
    const bool listed = std::any_of(data.begin(), data.end(), [&](const DataFile& file) {
      return fs::path(path) == fs::path("C/ICQ") / file.folder / file.name;
    });
    if (!listed) own.push_back(path);
  }
  return own;
}

std::vector<std::string> ErrorScreenLines(const std::string& headline, const std::string& detail,
                                          const std::string& advice1, const std::string& advice2) {
  return {" ", " Error!", " ", headline, detail, " ", " ", " Note:", advice1, advice2};
}

const std::vector<std::string> kUnableToRestore =
    ErrorScreenLines(" ICQ Backup is unable to restore", " your backup files!",
                     " Make sure your disk is not full!", " ");

// --- RestoreClick: the folders, the notes, the warning ------------------------------------

class RestoreClickTest : public RestoreFixture {};

struct MissingProgramCase {
  const char* name;
  const char* icq_folder;
  const char* shown;
};

void PrintTo(const MissingProgramCase& c, std::ostream* os) { *os << c.name; }

class MissingProgramTest : public RestoreFixture,
                           public ::testing::WithParamInterface<MissingProgramCase> {};

TEST_P(MissingProgramTest, ElevenLinesAndNothingWritten) {
  drives_.MakeFolder("C:\\Apps\\A very long folder name\\ICQ 2000b");
  window_.icq_folder = GetParam().icq_folder;
  MakeBackup(kThree);
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            (std::vector<std::string>{
                " ", " Error!", " ", " ICQ cannot be found in ", GetParam().shown, " ", " ",
                " Note:", " 1. Please check your ICQ Folder at",
                "     \"1. Select ICQ Folder\" again or", " 2. use the Auto Search function!"}));
  EXPECT_TRUE(window_.questions.empty());
  EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb"));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, MissingProgramTest,
    ::testing::Values(MissingProgramCase{"DriveRoot", "C:\\", " C:"},
                      MissingProgramCase{"Home", "C:\\home", " C:\\home"},
                      MissingProgramCase{"LongPath", "C:\\Apps\\A very long folder name\\ICQ 2000b",
                                         " C:\\..ong folder name\\ICQ 2000b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreClickTest, IcqSelectorAtDriveRootRestoresBelowTheRoot) {
  drives_.WriteFile("C:\\icq.exe", "");
  window_.icq_folder = "C:\\";
  MakeBackup(kThree);
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kSuccess);
  EXPECT_EQ(window_.ICQPath, "C:");
  EXPECT_EQ(drives_.ReadFile("C:\\newdb\\b.dat"), kThree[1].bytes);
  EXPECT_EQ(drives_.ReadFile("C:\\uin\\12345.uin"), kThree[2].bytes);
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\r\nD:\\backup\r\n");
}

TEST_F(RestoreClickTest, TrailingBackslashOfTheBackupFolderIsDropped) {
  window_.SetBackupFolderText("D:\\backup\\");
  MakeBackup(kThree);
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.BackupPath, "D:\\backup");
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nD:\\backup\r\n");
}

struct MissingListCase {
  const char* name;
  const char* backup_text;
  const char* detail;
};

void PrintTo(const MissingListCase& c, std::ostream* os) { *os << c.name; }

class MissingListTest : public RestoreFixture,
                        public ::testing::WithParamInterface<MissingListCase> {};

TEST_P(MissingListTest, ErrorScreenAndNothingWritten) {
  drives_.WriteFile("C:\\icqlist.txt", "Total Files : 0\r\n");  // where "\icqlist.txt" points
  window_.SetBackupFolderText(GetParam().backup_text);
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines, ErrorScreenLines(" ICQ Backup Files not found in ", GetParam().detail,
                                            " Please check your Backup Folder at",
                                            " \"2. Select / Edit Backup Folder\" again!"));
  EXPECT_TRUE(window_.questions.empty());
  EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
}

INSTANTIATE_TEST_SUITE_P(Folders, MissingListTest,
                         ::testing::Values(MissingListCase{"EmptyText", "", " !"},
                                           MissingListCase{"NoList", "D:\\backup", " D:\\backup!"},
                                           MissingListCase{"NoFolder", "D:\\gone\\", " D:\\gone!"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreClickTest, WarningAskedAfterTheNotesAndCancelTouchesNothing) {
  MakeBackup(kThree);
  drives_.WriteFile("C:\\ICQ\\newdb\\a.dat", "old");
  EXPECT_EQ(Restore(false), RestoreOutcome::kCancelled);
  ASSERT_EQ(window_.questions.size(), 1u);
  EXPECT_EQ(window_.questions[0].caption, "Warning");
  EXPECT_EQ(window_.questions[0].text,
            "Before proceeding, ensure that ICQ is inactive !\r\rSwitch ICQ to Sleep Mode or "
            "Close it now !");
  EXPECT_EQ(window_.lines, (std::vector<std::string>{" ", " ICQ Restoration Cancelled!"}));
  EXPECT_EQ(window_.gauge_history, std::vector<int>{0});
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), "old");
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\uin"));
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nD:\\backup\r\n");
}

TEST_F(RestoreClickTest, HeaderOnlyListLeavesTheNotesAndTheGaugeAtZero) {
  WriteList("Total Files : 0", {});
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kNotes);
  EXPECT_EQ(window_.gauge_history, std::vector<int>{0});
  EXPECT_EQ(window_.lines[13], " Processing File:");
}

// --- The entries -----------------------------------------------------------------------

class RestoreFilesTest : public RestoreFixture {
 protected:
  void ExpectNoTemporaryFiles() {
    for (const auto& [path, content] : SnapshotTree(drives_.Root())) {
      const std::string name = fs::path(path).filename().string();
      EXPECT_FALSE(name.rfind("icq", 0) == 0 && name.size() > 4 &&
                   name.compare(name.size() - 4, 4, ".tmp") == 0)
          << path;
    }
  }
};

TEST_F(RestoreFilesTest, ThreeEntriesMoveTheGaugeTo33And66And100ThenReportSuccess) {
  MakeBackup(kThree);
  drives_.WriteFile("C:\\ICQ\\newdb\\a.dat", "an older a.dat");
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 33, 66, 100}));
  EXPECT_EQ(window_.lines, kSuccess);
  for (std::size_t i = 0; i < kThree.size(); ++i) {
    const std::string path = DataPath(kThree[i]);
    EXPECT_EQ(drives_.ReadFile(path), kThree[i].bytes) << path;
    EXPECT_EQ(platform::GetFileDosTime(path), platform::GetFileDosTime(CompressedName(i + 1)))
        << path;
  }
  ExpectNoTemporaryFiles();
}

// --- What the window is given to show while entries are decoded ---------------------------

constexpr std::size_t kEngineBlock = 262144;

// Text that compresses, but not to nothing.
std::string Compressible(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = "abcdefgh \n"[random() % 10];
  return bytes;
}

TEST_F(RestoreClickTest, OneLargeEntryIsShownWhileItIsDecodedAndTheGaugeMovesThroughIt) {
  const std::vector<DataFile> big = {{"newdb", "big.dat", Compressible(8 * kEngineBlock, 5)}};
  MakeBackup(big);
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\big.dat"), big[0].bytes);
  EXPECT_EQ(window_.bytes_counted, static_cast<std::int64_t>(8 * kEngineBlock));

  std::vector<std::string> in_progress = kNotes;
  in_progress.push_back(" C:\\ICQ\\newdb\\big.dat");
  ExpectShownThroughOneFile(window_, in_progress, 8);
  // The line is gone before the entry's file is flushed and put in place.
  EXPECT_TRUE(std::any_of(window_.refreshed.begin(), window_.refreshed.end(),
                          [](const RecordingWindow::Shown& shown) {
                            return shown.lines == kNotes && shown.gauge > 0;
                          }));
}

TEST_F(RestoreFilesTest, GaugeNeverGoesBackWhileEntriesWaitToBePutInPlace) {
  std::vector<DataFile> files;
  for (const char* name : {"a.dat", "b.dat", "c.dat", "d.dat"}) {
    files.push_back({"newdb", name, Compressible(3 * kEngineBlock, name[0])});
  }
  MakeBackup(files);
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  const std::vector<int>& gauge = window_.gauge_history;
  EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end()));
  for (int placed : {25, 50, 75, 100}) {
    EXPECT_NE(std::find(gauge.begin(), gauge.end(), placed), gauge.end()) << placed;
  }
  EXPECT_GT(gauge.size(), 5u) << "the first entry moves the gauge on its way";
}

TEST_F(RestoreFilesTest, OnlyTheMatchingEntriesMoveTheGaugeAndEndInSuccess) {
  MakeBackup(kThree);
  for (const DataFile& file : kThree) drives_.WriteFile(DataPath(file), "older");
  window_.answers = {true};
  EXPECT_EQ(backup::RestoreClick(window_, tuning_, "newdb\\A.*"), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 100}));
  EXPECT_EQ(window_.lines, kSuccess);
  EXPECT_EQ(drives_.ReadFile(DataPath(kThree[0])), kThree[0].bytes);
  EXPECT_EQ(drives_.ReadFile(DataPath(kThree[1])), "older");
  EXPECT_EQ(drives_.ReadFile(DataPath(kThree[2])), "older");
  ExpectNoTemporaryFiles();
}

TEST(EntryMatchesTest, NameOrWholePathInAnyLetterCase) {
  EXPECT_TRUE(backup::EntryMatches("*.DAT", "newdb\\sub", "a.dat"));
  EXPECT_TRUE(backup::EntryMatches("a.da?", "newdb", "A.DAT"));
  EXPECT_FALSE(backup::EntryMatches("newdb", "newdb", "a.dat"));  // the name alone
  EXPECT_TRUE(backup::EntryMatches("newdb/*", "newdb", "a.dat"));
  EXPECT_TRUE(backup::EntryMatches("NEWDB\\SUB\\*", "newdb\\sub", "a.dat"));
  EXPECT_FALSE(backup::EntryMatches("newdb\\a.dat", "newdb\\sub", "a.dat"));
  EXPECT_FALSE(backup::EntryMatches("b*", "newdb", "a.dat"));
}

TEST_F(RestoreFilesTest, SizeZeroEntryNeedsNoCompressedFileAndUsesUpItsNumber) {
  drives_.WriteFile("C:\\ICQ\\newdb\\empty.dat", "not empty before");
  Store(1, "a.dat", "aaa");
  Store(3, "b.dat", "bbbb");
  WriteList("Total Files : 3",
            {"newdb***a.dat|||3", "newdb***empty.dat|||0", "newdb\\new***b.dat|||4"});
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kSuccess);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\empty.dat"), "");
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\new\\b.dat"), "bbbb");
}

TEST_F(RestoreFilesTest, MissingCompressedFileStopsWithBackupFilesIncomplete) {
  MakeBackup(kThree);
  fs::remove(drives_.Host(CompressedName(2)));
  drives_.WriteFile("C:\\ICQ\\newdb\\b.dat", "old b");
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            AboutBackup({" Problem :", " Backup Files incomplete!", " ", " ",
                         " Note :", " Do not restore old backup files made",
                         " with the 16 bit Varn ICQ Backup!", " Use Torq Restore instead!"}));
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 33}));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), kThree[0].bytes);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\b.dat"), "old b");
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\uin"));
  ExpectNoTemporaryFiles();
}

struct FolderFaultCase {
  const char* name;
  int failing_creation;  // 0: none fails
  std::vector<const char*> made;
};

void PrintTo(const FolderFaultCase& c, std::ostream* os) { *os << c.name; }

class NestedFolderTest : public RestoreFixture,
                         public ::testing::WithParamInterface<FolderFaultCase> {};

TEST_P(NestedFolderTest, OutermostLevelFirstAndTheDeepestFailureReported) {
  Store(1, "deep.dat", "deep");
  WriteList("Total Files : 1", {"newdb\\sub\\deeper***deep.dat|||4"});
  if (GetParam().failing_creation > 0) {
    platform::testing::FailNthOperation(GetParam().failing_creation, FileOp::kCreateFolder);
  }
  const RestoreOutcome outcome = Restore();
  for (const char* folder :
       {"C:\\ICQ\\newdb", "C:\\ICQ\\newdb\\sub", "C:\\ICQ\\newdb\\sub\\deeper"}) {
    const bool expected =
        std::find_if(GetParam().made.begin(), GetParam().made.end(), [&](const char* made) {
          return std::string(made) == folder;
        }) != GetParam().made.end();
    EXPECT_EQ(fs::is_directory(drives_.Host(folder)), expected) << folder;
  }
  if (GetParam().failing_creation == 0) {
    EXPECT_EQ(outcome, RestoreOutcome::kSucceeded);
    EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\sub\\deeper\\deep.dat"), "deep");
  } else {
    EXPECT_EQ(outcome, RestoreOutcome::kFailed);
    // The walk goes on past a failed level, so the deepest level is the one reported.
    EXPECT_EQ(window_.lines,
              ErrorScreenLines(" Cannot create folder: ", " C:\\ICQ\\newdb\\sub\\deeper!",
                               " Make sure your disk is not full!", " "));
    EXPECT_EQ(window_.gauge_history, std::vector<int>{0});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, NestedFolderTest,
    ::testing::Values(
        FolderFaultCase{
            "AllMade", 0, {"C:\\ICQ\\newdb", "C:\\ICQ\\newdb\\sub", "C:\\ICQ\\newdb\\sub\\deeper"}},
        FolderFaultCase{"OutermostFails", 1, {}},
        FolderFaultCase{"DeepestFails", 3, {"C:\\ICQ\\newdb", "C:\\ICQ\\newdb\\sub"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The copy a failed restore leaves as icq.tmp is its own, and the next restore replaces it;
// a user's icq.tmp beside the list's entries stays.
TEST_F(RestoreFilesTest, TemporaryFileOfAFailedRestoreIsReplacedAndAUsersIsLeftAlone) {
  Store(1, "a.dat", "four");
  WriteList("Total Files : 1", {"newdb***a.dat|||5"});
  drives_.WriteFile("C:\\ICQ\\uin\\icq.tmp", "the user's");
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\icq.tmp"), "four");
  MakeBackup(kThree);
  window_ = RecordingWindow();
  window_.HomeFolder = "C:\\home";
  window_.icq_folder = "C:\\ICQ";
  window_.SetBackupFolderText("D:\\backup");
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  for (const DataFile& file : kThree) EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes);
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\icq.tmp"));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\uin\\icq.tmp"), "the user's");
  EXPECT_EQ(RestoresOwnFiles(drives_.Root(), kThree),
            std::vector<std::string>{fs::path("C/ICQ/uin/icq.tmp").make_preferred().string()});
}

TEST_F(RestoreFilesTest, FewerEntriesThanTheCountEndWithTheirOwnReport) {
  MakeBackup(kThree, 5);
  EXPECT_EQ(Restore(), RestoreOutcome::kIncomplete);
  EXPECT_EQ(window_.lines, AboutBackup({" Problem:", " Backup File List incomplete!",
                                        " It lists 3 of its 5 files!", " ", " ",
                                        " Note:", " The files it lists are restored;",
                                        "      the others are missing from it!"}));
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 20, 40, 60}));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\uin\\12345.uin"), kThree[2].bytes);
}

// A list cut off: wherever the cut lies, the entries before it are restored and the
// report names how many the list holds whole and how many its header counts. A cut line
// is no entry: neither its data file nor a temporary file is written for it.
struct CutListCase {
  const char* name;
  const char* cut_after;  // the list's text is cut just after this
  int whole_entries;
};

void PrintTo(const CutListCase& c, std::ostream* os) { *os << c.name; }

class CutListTest : public RestoreFixture, public ::testing::WithParamInterface<CutListCase> {};

TEST_P(CutListTest, EndsWithTheIncompleteReportNamingBothCounts) {
  MakeBackup(kThree);
  drives_.WriteFile("C:\\ICQ\\newdb\\b.dat", "old b");
  std::string list = drives_.ReadFile("D:\\backup\\icqlist.txt");
  const std::size_t cut = list.find(GetParam().cut_after);
  ASSERT_NE(cut, std::string::npos);
  drives_.WriteFile("D:\\backup\\icqlist.txt",
                    list.substr(0, cut + std::strlen(GetParam().cut_after)));
  EXPECT_EQ(Restore(), RestoreOutcome::kIncomplete);
  EXPECT_EQ(window_.lines, AboutBackup({" Problem:", " Backup File List incomplete!",
                                        " It lists " + std::to_string(GetParam().whole_entries) +
                                            " of its 3 files!",
                                        " ", " ", " Note:", " The files it lists are restored;",
                                        "      the others are missing from it!"}));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), kThree[0].bytes);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\b.dat"),
            GetParam().whole_entries == 2 ? kThree[1].bytes : "old b");
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\icq.tmp"));
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\uin"));
}

INSTANTIATE_TEST_SUITE_P(Cuts, CutListTest,
                         ::testing::Values(CutListCase{"AtALineEnd", "|||5003\r\n", 2},
                                           CutListCase{"BetweenCrAndLf", "|||5003\r", 2},
                                           CutListCase{"InAName", "newdb***b.", 1},
                                           CutListCase{"InASize", "b.dat|||50", 1},
                                           CutListCase{"InTheLastEntry", "uin***123", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreFilesTest, MoreEntriesThanTheCountReportSuccessAtTheCountAndGoOn) {
  MakeBackup(kThree, 2);
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 50, 100, 100}));
  EXPECT_EQ(window_.lines, kSuccess);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\uin\\12345.uin"), kThree[2].bytes);
}

struct UnreplaceableCase {
  const char* name;
  bool background;  // the copy is staged and flushed in the background, else placed at once
};

void PrintTo(const UnreplaceableCase& c, std::ostream* os) { *os << c.name; }

class UnreplaceableDataFileTest : public RestoreFixture,
                                  public ::testing::WithParamInterface<UnreplaceableCase> {};

// A data file held open keeps the report; its copy is not left beside it.
TEST_P(UnreplaceableDataFileTest, RestoreUnsuccessfulAndNoCopyLeft) {
  tuning_.flush_in_background = GetParam().background;
  MakeBackup(kThree);
  drives_.WriteFile("C:\\ICQ\\newdb\\b.dat", "b in use");
  platform::testing::HoldOpen("C:\\ICQ\\newdb\\b.dat");
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines, kRestoreUnsuccessful);
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 33}));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), kThree[0].bytes);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\b.dat"), "b in use");
  EXPECT_EQ(RestoresOwnFiles(drives_.Root(), kThree), std::vector<std::string>{});
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\uin"));
}

// A read-only data file is replaced like any other, and the copy brings the header's
// attributes: read-only again, replaced again by the next restore.
TEST_P(UnreplaceableDataFileTest, ReadOnlyDataFileIsReplacedEveryTime) {
  tuning_.flush_in_background = GetParam().background;
  MakeBackup(kThree);
  drives_.WriteFile("C:\\src\\read-only\\b.dat", kThree[1].bytes);
  ASSERT_EQ(platform::SetAttributes("C:\\src\\read-only\\b.dat", platform::faReadOnly), 0);
  ASSERT_GT(lz::CompressFile("C:\\src\\read-only\\b.dat", CompressedName(2), nullptr, nullptr, 1),
            0);
  drives_.WriteFile("C:\\ICQ\\newdb\\b.dat", "old b");
  ASSERT_EQ(platform::SetAttributes("C:\\ICQ\\newdb\\b.dat", platform::faReadOnly), 0);
  for (int run = 1; run <= 2; ++run) {
    window_ = RecordingWindow();
    window_.HomeFolder = "C:\\home";
    window_.icq_folder = "C:\\ICQ";
    window_.SetBackupFolderText("D:\\backup");
    EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded) << run;
    EXPECT_EQ(window_.lines, kSuccess) << run;
    EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\b.dat"), kThree[1].bytes) << run;
    EXPECT_EQ(platform::GetAttributes("C:\\ICQ\\newdb\\b.dat").value_or(0) & platform::faReadOnly,
              platform::faReadOnly)
        << run;
    EXPECT_EQ(RestoresOwnFiles(drives_.Root(), kThree), std::vector<std::string>{}) << run;
  }
}

INSTANTIATE_TEST_SUITE_P(Flushing, UnreplaceableDataFileTest,
                         ::testing::Values(UnreplaceableCase{"AtOnce", false},
                                           UnreplaceableCase{"InTheBackground", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreFilesTest, FreeSpaceEqualToTheSizeFailsAndOneByteMorePasses) {
  const std::vector<DataFile> one = {{"newdb", "a.dat", "twelve bytes"}};
  MakeBackup(one);
  platform::testing::SetFreeSpace(3, 12);
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines, kUnableToRestore);
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\a.dat"));
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\icq.tmp"));

  platform::testing::SetFreeSpace(3, 13);
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), "twelve bytes");
}

// A disk that fills up at each write in turn, run after run over what the last one left:
// every run that fails says so on the screen with the free-space report and leaves no
// half-written copy; each data file is old or new.
TEST_F(RestoreFilesTest, DiskFilledWhileACopyIsWrittenIsReportedAndLeavesNoCopy) {
  const std::vector<DataFile> files = {{"newdb", "a.dat", std::string(300000, 'a')},
                                       {"newdb", "b.dat", std::string(300000, 'b')}};
  MakeBackup(files);
  for (const DataFile& file : files) drives_.WriteFile(DataPath(file), "old " + file.name);
  int failed = 0;
  for (int failing = 1; failing <= 6; ++failing) {
    window_ = RecordingWindow();
    platform::testing::ResetFaults();
    platform::testing::FailFromNthOperation(failing, FileOp::kWrite, platform::kDiskFull);
    try {
      EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded) << failing;
    } catch (const platform::EInOutError& error) {
      ++failed;
      EXPECT_EQ(error.ErrorCode(), platform::kDiskFull);
      EXPECT_EQ(window_.lines, kUnableToRestore) << failing;
    }
    platform::testing::ResetFaults();
    EXPECT_EQ(RestoresOwnFiles(drives_.Root(), files), std::vector<std::string>{}) << failing;
    for (const DataFile& file : files) {
      const std::string now = drives_.ReadFile(DataPath(file));
      EXPECT_TRUE(now == file.bytes || now == "old " + file.name) << failing << " " << file.name;
    }
  }
  EXPECT_GE(failed, 2);
}

TEST_F(RestoreFilesTest, LengthOtherThanTheListsIsFilesizeDifferent) {
  Store(1, "a.dat", "four");
  WriteList("Total Files : 1", {"newdb***a.dat|||5"});
  drives_.WriteFile("C:\\ICQ\\newdb\\a.dat", "older");
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines, AboutBackup({" Problem:", " Filesize Different!"}));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), "older");
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\icq.tmp"), "four");
}

TEST_F(RestoreFilesTest, CrcOtherThanTheHeadersStopsWithItsOwnReport) {
  MakeBackup(kThree);
  // Another CRC-32 in the header of file 2: same length, other data.
  std::string bytes = drives_.ReadFile(CompressedName(2));
  bytes[27] = static_cast<char>(bytes[27] ^ 0x01);
  drives_.WriteFile(CompressedName(2), bytes);
  drives_.WriteFile("C:\\ICQ\\newdb\\b.dat", "old b");
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            AboutBackup({" Problem:", " Backup File damaged:", " D:\\backup\\icq2.lzz!", " ", " ",
                         " Note:", " Its data file was left unchanged;",
                         "      the files before it are restored!"}));
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 33}));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), kThree[0].bytes);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\b.dat"), "old b");
}

struct DamagedListCase {
  const char* name;
  std::string header;
  std::vector<std::string> lines;
  const char* detail;
  int restored;  // entries in place before the report
};

void PrintTo(const DamagedListCase& c, std::ostream* os) { *os << c.name; }

class DamagedListTest : public RestoreFixture,
                        public ::testing::WithParamInterface<DamagedListCase> {};

TEST_P(DamagedListTest, RefusedWithTheListReport) {
  Store(1, "a.dat", "aaa");
  WriteList(GetParam().header, GetParam().lines);
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(
      window_.lines,
      AboutBackup({" Problem:", " Backup File List damaged!", GetParam().detail, " ", " ",
                   " Note:", " Make sure it is the list of a", "      backup made by Torq32!"}));
  EXPECT_EQ(drives_.Exists("C:\\ICQ\\newdb\\a.dat"), GetParam().restored > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DamagedListTest,
    ::testing::Values(
        // A count of 0, or none, with entries after it: the gauge would divide by it.
        DamagedListCase{"CountZero",
                        "Total Files : 0",
                        {"newdb***a.dat|||3"},
                        " It counts 0 files but lists some!",
                        0},
        DamagedListCase{"NoNumber",
                        "Total Files : many",
                        {"newdb***a.dat|||3"},
                        " Its first line has no file count!",
                        0},
        DamagedListCase{"NoColon",
                        "Total Files 1",
                        {"newdb***a.dat|||3"},
                        " Its first line has no file count!",
                        0},
        DamagedListCase{"EmptyList", "", {}, " Its first line has no file count!", 0},
        DamagedListCase{"NoBars",
                        "Total Files : 2",
                        {"newdb***a.dat|||3", "newdb***b.dat"},
                        " Entry 2 cannot be read!",
                        1},
        DamagedListCase{"SizeNotANumber",
                        "Total Files : 2",
                        {"newdb***a.dat|||3", "newdb***b.dat|||3x"},
                        " Entry 2 cannot be read!",
                        1},
        DamagedListCase{"NegativeSize",
                        "Total Files : 2",
                        {"newdb***a.dat|||3", "newdb***b.dat|||-1"},
                        " Entry 2 has a wrong size!",
                        1},
        DamagedListCase{"SizeOver2GiB",
                        "Total Files : 2",
                        {"newdb***a.dat|||3", "newdb***b.dat|||2147483648"},
                        " Entry 2 has a wrong size!",
                        1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreFilesTest, EmptyFolderPartIsTheIcqFolderItself) {
  Store(1, "top.dat", "top");
  WriteList("Total Files : 1", {"***top.dat|||3"});
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\top.dat"), "top");
}

TEST_F(RestoreFilesTest, DataFilesNamedLikeTheTemporaryFilesAreRestoredToo) {
  // Staged copies wait as torq32-N.tmp: an entry of that name must not meet one of them.
  const std::vector<DataFile> files = {{"db", "torq32-3.tmp", "named like a staged file"},
                                       {"db", "icq3.tmp", "named like a temporary file"},
                                       {"db", "a.dat", "a"},
                                       {"db", "b.dat", "b"},
                                       {"db", "ICQ2.TMP", "upper case"},
                                       {"db", "c.dat", "c"},
                                       {"db", "icq.tmp", "the last in its folder"}};
  MakeBackup(files);
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  for (const DataFile& file : files) EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes);
}

TEST_F(RestoreFilesTest, DataFileNamedIcqTmpSurvivesTheEntriesAfterIt) {
  const std::vector<DataFile> files = {{"newdb", "icq.tmp", "a data file of that name"},
                                       {"newdb", "a.dat", "after it"},
                                       {"newdb", "ICQ-1.TMP", "named like the next choice"},
                                       {"newdb", "b.dat", "after both"},
                                       {"uin", "c.dat", "a folder without such names"}};
  MakeBackup(files);
  for (bool background : {false, true}) {
    tuning_.flush_in_background = background;
    fs::remove_all(drives_.Host("C:\\ICQ\\newdb"));
    fs::remove_all(drives_.Host("C:\\ICQ\\uin"));
    window_ = RecordingWindow();
    window_.HomeFolder = "C:\\home";
    window_.icq_folder = "C:\\ICQ";
    window_.SetBackupFolderText("D:\\backup");
    EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded) << background;
    EXPECT_EQ(window_.lines, kSuccess);
    for (const DataFile& file : files) {
      EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes) << DataPath(file) << background;
    }
    EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\icq-2.tmp"));
    EXPECT_FALSE(drives_.Exists("C:\\ICQ\\uin\\icq.tmp"));
  }
}

TEST_F(RestoreFilesTest, FailedEntryLeavesADataFileNamedIcqTmpAsItWas) {
  MakeBackup({{"newdb", "a.dat", "new a"}, {"newdb", "icq.tmp", "new icq.tmp"}});
  std::string bytes = drives_.ReadFile(CompressedName(1));
  bytes[27] = static_cast<char>(bytes[27] ^ 0x01);  // another CRC-32: a.dat fails
  drives_.WriteFile(CompressedName(1), bytes);
  drives_.WriteFile("C:\\ICQ\\newdb\\icq.tmp", "old icq.tmp");
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines[9], " Backup File damaged:");
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\icq.tmp"), "old icq.tmp");
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\a.dat"));
}

struct FlushFaultCase {
  const char* name;
  int failing_flush;  // 1: the file's, 2: its folder's
  const char* named;
  bool restored;
};

void PrintTo(const FlushFaultCase& c, std::ostream* os) { *os << c.name; }

class FlushFaultTest : public RestoreFixture,
                       public ::testing::WithParamInterface<FlushFaultCase> {};

// Flushing on the calling thread: the file before its rename, the folder before the report.
TEST_P(FlushFaultTest, FailedFlushIsReportedNotPassedOver) {
  MakeBackup({{"newdb", "a.dat", "new a"}});
  drives_.WriteFile("C:\\ICQ\\newdb\\a.dat", "old a");
  tuning_.flush_in_background = false;
  // pref.cfg's flush, when the settings are saved, comes before the restore's.
  platform::testing::FailNthOperation(1 + GetParam().failing_flush, FileOp::kFlush);
  EXPECT_EQ(Restore(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines,
            ErrorScreenLines(" Restored files could not be saved: ", GetParam().named,
                             " Make sure your disk is not full", "      and is still connected!"));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), GetParam().restored ? "new a" : "old a");
}

INSTANTIATE_TEST_SUITE_P(Flushes, FlushFaultTest,
                         ::testing::Values(FlushFaultCase{"File", 1, " C:\\ICQ\\newdb\\a.dat!",
                                                          false},
                                           FlushFaultCase{"Folder", 2, " C:\\ICQ\\newdb!", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreFilesTest, EntryNumbersGoOnPast65535) {
  // 65,536 empty files first (quick: no compressed file), then one that needs icq65537.lzz;
  // a 16-bit number would look for icq1.lzz.
  constexpr std::uint64_t kLast = 65537;
  Store(kLast, "last.dat", "last");
  std::string list = "Total Files : " + std::to_string(kLast) + "\r\n";
  for (std::uint64_t n = 1; n < kLast; ++n) list += "db***empty.dat|||0\r\n";
  list += "db***last.dat|||4\r\n";
  drives_.WriteFile("D:\\backup\\icqlist.txt", list);
  tuning_.flush_stand_in = [](const std::string&) { return 0; };  // 65,536 flushes prove nothing
  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kSuccess);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\db\\last.dat"), "last");
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\db\\empty.dat"), "");
}

// Many entries, so that several are flushed in the background at once.
std::vector<DataFile> ManyFiles(int count) {
  std::vector<DataFile> files;
  for (int i = 0; i < count; ++i) {
    files.push_back(
        {i % 3 ? "newdb" : "newdb\\f" + std::to_string(i % 7), "file" + std::to_string(i),
         std::string(static_cast<std::size_t>(i * 37 % 900), static_cast<char>('a' + i % 26)) +
             std::to_string(i)});
  }
  return files;
}

TEST_F(RestoreFilesTest, BackgroundFlushingShowsWhatFlushingEachFileAtOnceShows) {
  const std::vector<DataFile> files = ManyFiles(45);
  MakeBackup(files);
  drives_.WriteFile("C:\\ICQ\\newdb\\file10", "old");
  const auto before = SnapshotTree(drives_.Root());

  tuning_.flush_in_background = false;
  ASSERT_EQ(Restore(), RestoreOutcome::kSucceeded);
  const auto at_once_tree = SnapshotTree(drives_.Root());
  const RecordingWindow at_once = window_;

  fs::remove_all(drives_.Root() / "C" / "ICQ");
  fs::remove(drives_.Root() / "C" / "home" / "pref.cfg");
  drives_.WriteFile("C:\\ICQ\\icq.exe", "");
  drives_.WriteFile("C:\\ICQ\\newdb\\file10", "old");
  ASSERT_EQ(SnapshotTree(drives_.Root()), before);
  window_ = RecordingWindow();
  window_.HomeFolder = "C:\\home";
  window_.icq_folder = "C:\\ICQ";
  window_.SetBackupFolderText("D:\\backup");
  tuning_.flush_in_background = true;
  ASSERT_EQ(Restore(), RestoreOutcome::kSucceeded);

  EXPECT_EQ(window_.lines, at_once.lines);
  EXPECT_EQ(window_.gauge_history, at_once.gauge_history);
  EXPECT_EQ(SnapshotTree(drives_.Root()), at_once_tree);
  for (const DataFile& file : files) EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes);
  ExpectNoTemporaryFiles();
}

TEST_F(RestoreFilesTest, FailedBackgroundFlushStopsAtThatEntryAsIfItWereAlone) {
  const std::vector<DataFile> files = ManyFiles(30);
  MakeBackup(files);
  for (const DataFile& file : files) drives_.WriteFile(DataPath(file), "old " + file.name);
  const std::uint64_t failing = 7;
  tuning_.flush_stand_in = [&](const std::string& path) {
    return path.ends_with("\\torq32-" + std::to_string(failing) + ".tmp") ? 5 : 0;
  };
  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kFailed);
  const DataFile& stopped = files[failing - 1];
  EXPECT_EQ(window_.lines,
            ErrorScreenLines(
                " Restored files could not be saved: ", app::ShortPath(DataPath(stopped)) + "!",
                " Make sure your disk is not full", "      and is still connected!"));
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string expected = i + 1 < failing ? files[i].bytes : "old " + files[i].name;
    EXPECT_EQ(drives_.ReadFile(DataPath(files[i])), expected) << DataPath(files[i]);
  }
  EXPECT_EQ(window_.gauge, static_cast<int>((failing - 1) * 100 / files.size()));
  // The copy of the entry that stopped the restore waits in its folder's icq.tmp.
  const std::string folder = DataPath(stopped).substr(0, DataPath(stopped).rfind('\\'));
  EXPECT_EQ(drives_.ReadFile(folder + "\\icq.tmp"), stopped.bytes);
  // No staged copy of a later entry is left behind.
  for (const auto& [path, content] : SnapshotTree(drives_.Root())) {
    const std::string name = fs::path(path).filename().string();
    EXPECT_TRUE(name == "icq.tmp" || !name.ends_with(".tmp")) << path;
  }
}

// --- Files of the restore's own: staged copies, temporary files ----------------------------

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

class LeftoverTest : public RestoreFixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    tuning_.flush_in_background = GetParam();
    MakeBackup(files_);
    // What a restore killed part-way may have staged, in the folders this one writes to.
    drives_.WriteFile("C:\\ICQ\\newdb\\torq32-2.tmp", "staged a");
    ASSERT_EQ(platform::SetAttributes("C:\\ICQ\\newdb\\torq32-2.tmp", platform::faReadOnly), 0);
    drives_.WriteFile("C:\\ICQ\\newdb\\torq32-4000.tmp", "staged by a restore of a longer list");
    drives_.WriteFile("C:\\ICQ\\uin\\torq32-1.tmp", "staged u");
    // Not the restore's: a data file of the list, other spellings, another folder, a link,
    // and the user's own files named like the restore's temporary files.
    drives_.WriteFile("C:\\ICQ\\newdb\\torq32-7.tmp", "old data file");
    drives_.WriteFile("C:\\ICQ\\newdb\\TORQ32-5.TMP", "upper case");
    drives_.WriteFile("C:\\ICQ\\newdb\\torq32-05.tmp", "leading zero");
    drives_.WriteFile("C:\\ICQ\\plugins\\torq32-2.tmp", "a folder the list does not name");
    for (const char* own : {"C:\\ICQ\\newdb\\icq12.tmp", "C:\\ICQ\\newdb\\icq.tmp",
                            "C:\\ICQ\\uin\\icq1.tmp", "C:\\ICQ\\uin\\icq-1.tmp"}) {
      drives_.WriteFile(own, std::string("the user's ") + own);
    }
    ASSERT_EQ(platform::SetAttributes("C:\\ICQ\\newdb\\icq.tmp", platform::faReadOnly), 0);
    drives_.WriteFile("D:\\victim.dat", "victim");
#ifndef _WIN32  // a symbolic link made on the host
    fs::create_symlink(drives_.Root() / "D" / "victim.dat",
                       drives_.Host("C:\\ICQ\\newdb\\torq32-8.tmp"));
    fs::create_symlink(drives_.Root() / "D" / "victim.dat", drives_.Host("C:\\ICQ\\uin\\icq.tmp"));
#endif
  }

  const std::vector<DataFile> files_ = {{"newdb", "a.dat", "new a"},
                                        {"newdb", "torq32-7.tmp", "a data file named like a copy"},
                                        {"uin", "u.dat", "new u"}};
};

TEST_P(LeftoverTest, StagedCopiesOfAnEarlierRestoreGoBeforeTheSuccessReport) {
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kSuccess);
  for (const DataFile& file : files_) EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes);
  for (const char* gone : {"C:\\ICQ\\newdb\\torq32-2.tmp", "C:\\ICQ\\newdb\\torq32-4000.tmp",
                           "C:\\ICQ\\uin\\torq32-1.tmp"}) {
    EXPECT_FALSE(drives_.Exists(gone)) << gone;
  }
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\TORQ32-5.TMP"), "upper case");
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\torq32-05.tmp"), "leading zero");
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\plugins\\torq32-2.tmp"), "a folder the list does not name");
  for (const char* own : {"C:\\ICQ\\newdb\\icq12.tmp", "C:\\ICQ\\newdb\\icq.tmp",
                          "C:\\ICQ\\uin\\icq1.tmp", "C:\\ICQ\\uin\\icq-1.tmp"}) {
    EXPECT_EQ(drives_.ReadFile(own), std::string("the user's ") + own);
  }
#ifndef _WIN32
  EXPECT_TRUE(fs::is_symlink(drives_.Host("C:\\ICQ\\newdb\\torq32-8.tmp")));
  EXPECT_TRUE(fs::is_symlink(drives_.Host("C:\\ICQ\\uin\\icq.tmp")));
#endif
  EXPECT_EQ(drives_.ReadFile("D:\\victim.dat"), "victim");
}

TEST_P(LeftoverTest, StagedCopyThatCannotBeDeletedIsRaisedInsteadOfTheSuccessReport) {
  platform::testing::HoldOpen("C:\\ICQ\\newdb\\torq32-4000.tmp");
  try {
    Restore();
    ADD_FAILURE() << "the restore raised nothing";
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), platform::kSharingViolation);
    EXPECT_NE(std::string(e.what()).find("torq32-4000.tmp"), std::string::npos) << e.what();
  }
  EXPECT_NE(window_.lines, kSuccess);
  for (const DataFile& file : files_) EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes);
  EXPECT_TRUE(drives_.Exists("C:\\ICQ\\newdb\\torq32-4000.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Flushing, LeftoverTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? std::string("InTheBackground") : std::string("AtOnce");
});

class RollBackTest : public RestoreFixture {
 protected:
  void SetUp() override {
    MakeBackup(files_);
    for (const DataFile& file : files_) drives_.WriteFile(DataPath(file), "old " + file.name);
    tuning_.flush_stand_in = [this](const std::string& path) {
      return path == Staged(kFailing) ? platform::kAccessDenied : 0;
    };
  }

  // Where entry n waits for its flush.
  std::string Staged(std::uint64_t n) const {
    return FolderOf(DataPath(files_[n - 1])) + "\\torq32-" + std::to_string(n) + ".tmp";
  }

  void ExpectStoppedAtTheFailingEntry() {
    EXPECT_EQ(window_.lines, ErrorScreenLines(" Restored files could not be saved: ",
                                              app::ShortPath(DataPath(files_[kFailing - 1])) + "!",
                                              " Make sure your disk is not full",
                                              "      and is still connected!"));
    for (std::size_t i = 0; i < files_.size(); ++i) {
      const std::string expected = i + 1 < kFailing ? files_[i].bytes : "old " + files_[i].name;
      EXPECT_EQ(drives_.ReadFile(DataPath(files_[i])), expected) << DataPath(files_[i]);
    }
  }

  static constexpr std::uint64_t kFailing = 7;
  const std::vector<DataFile> files_ = ManyFiles(30);
};

TEST_F(RollBackTest, ReadOnlyCopiesAreDeletedAndOneTemporaryFileStays) {
  // Restored copies carry their data files' attributes: here every one is read-only.
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const std::string source = "C:\\src\\read-only\\" + files_[i].name;
    drives_.WriteFile(source, files_[i].bytes);
    ASSERT_EQ(platform::SetAttributes(source, platform::faReadOnly), 0);
    ASSERT_GT(lz::CompressFile(source, CompressedName(i + 1), nullptr, nullptr, 1), 0);
  }
  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kFailed);
  ExpectStoppedAtTheFailingEntry();
  const std::string temp = FolderOf(DataPath(files_[kFailing - 1])) + "\\icq.tmp";
  EXPECT_EQ(drives_.ReadFile(temp), files_[kFailing - 1].bytes);
  EXPECT_EQ(RestoresOwnFiles(drives_.Root(), files_),
            std::vector<std::string>{fs::relative(drives_.Host(temp), drives_.Root()).string()});
}

TEST_F(RollBackTest, CopyThatCannotBeDeletedOrRenamedIsRaisedAfterTheReport) {
  platform::testing::HoldOpen(Staged(kFailing));  // it cannot go back to icq.tmp
  platform::testing::HoldOpen(Staged(9));         // nor this one be deleted
  try {
    RestoreFilesOnly();
    ADD_FAILURE() << "the restore raised nothing";
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), platform::kSharingViolation);
    EXPECT_NE(std::string(e.what()).find(Staged(9)), std::string::npos) << e.what();
  }
  ExpectStoppedAtTheFailingEntry();
  EXPECT_EQ(drives_.ReadFile(Staged(kFailing)), files_[kFailing - 1].bytes);
  std::vector<std::string> left;
  for (std::uint64_t n : {kFailing, std::uint64_t{9}}) {
    left.push_back(fs::relative(drives_.Host(Staged(n)), drives_.Root()).string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(RestoresOwnFiles(drives_.Root(), files_), left);

  // The next restore puts everything in place and leaves neither copy.
  platform::testing::ResetFaults();
  tuning_.flush_stand_in = nullptr;
  window_ = RecordingWindow();
  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kSuccess);
  for (const DataFile& file : files_) EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes);
  EXPECT_TRUE(RestoresOwnFiles(drives_.Root(), files_).empty());
}

}  // namespace
