// Check UIN on lists written by hand into a backup folder on a temporary drive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/check_uin.h"
#include "drive_sandbox.h"
#include "recording_window.h"

namespace {

using ScreenLines = std::vector<std::string>;

const ScreenLines kNoUINReport = {" ", " Error!", " ",      " No UIN(s) Found! ",
                                  " ", " ",       " Note:", " Your backup files MAY be corrupted!"};

std::string ListOf(const ScreenLines& file_lines) {
  std::string list = "Total Files : " + std::to_string(file_lines.size()) + "\r\n";
  for (const auto& line : file_lines) list += line + "\r\n";
  return list;
}

class CheckUINTest : public ::testing::Test {
 protected:
  CheckUINTest() : drives_({'C'}) {
    drives_.MakeFolder("C:\\home");
    drives_.MakeFolder("C:\\backup");
    window_.HomeFolder = "C:\\home";
    window_.SetBackupFolderText("C:\\backup");
  }

  void WriteList(const std::string& bytes) { drives_.WriteFile("C:\\backup\\icqlist.txt", bytes); }

  DriveSandbox drives_;
  RecordingWindow window_;
};

struct ScanCase {
  const char* name;
  ScreenLines file_lines;
  ScreenLines shown;  // the screen below the first " "
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class CheckUINScanTest : public CheckUINTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(CheckUINScanTest, ShowsCountAndOneLinePerUIN) {
  WriteList(ListOf(GetParam().file_lines));
  backup::CheckUINClick(window_);

  ScreenLines expected = {" "};
  expected.insert(expected.end(), GetParam().shown.begin(), GetParam().shown.end());
  EXPECT_EQ(window_.lines, expected);
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 100}));
  // The list was found, so the settings were saved: the ICQ setting as it stood.
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "none\r\nC:\\backup\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Lists, CheckUINScanTest,
    ::testing::Values(ScanCase{"UinFoldersInListOrder",
                               {"uin***11111111.dat|||2048", "newdb***00000001.dat|||100",
                                "Uin\\old***22222222.idx|||10", "history***33333333.dat|||5",
                                "UIN***44444444.dat|||7"},
                               {" 3 UIN(s) Found!", " ", " 11111111", " 22222222", " 44444444"}},
                      ScanCase{"TwoFilesOfOneUINCountTwice",
                               {"uin***12345678.dat|||2048", "uin***12345678.idx|||512"},
                               {" 2 UIN(s) Found!", " ", " 12345678", " 12345678"}},
                      ScanCase{"NameWithoutDotGivesEmptyUIN",
                               {"uin***readme|||10", "uin.old***555.dat|||1"},
                               {" 2 UIN(s) Found!", " ", " ", " "}},
                      ScanCase{"SpaceSplitsDisplayButNotCount",
                               {"uin***123 456.dat|||10"},
                               {" 1 UIN(s) Found!", " ", " 123", " 456"}},
                      ScanCase{"UinstallIsAUINFolder",
                               {"uinstall***setup.log|||10", "ui***9.dat|||1"},
                               {" 1 UIN(s) Found!", " ", " setup"}},
                      ScanCase{"LineWithoutStarGivesEmptyUIN",
                               {"uin\\12345678.dat|||10", "uin***77.dat|||1"},
                               {" 2 UIN(s) Found!", " ", " ", " 77"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CheckUINTest, ListWithoutUINLinesReportsNone) {
  for (const std::string& list : {std::string(), ListOf({}), ListOf({"newdb***1.dat|||5"})}) {
    SCOPED_TRACE("list: " + list);
    WriteList(list);
    backup::CheckUINClick(window_);
    EXPECT_EQ(window_.lines, kNoUINReport);
    EXPECT_EQ(window_.gauge, 0);
    EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "none\r\nC:\\backup\r\n");
  }
}

TEST_F(CheckUINTest, TrailingBackslashFindsTheList) {
  WriteList(ListOf({"uin***42.dat|||1"}));
  window_.SetBackupFolderText("C:\\backup\\");
  backup::CheckUINClick(window_);
  EXPECT_EQ(window_.lines, (ScreenLines{" ", " 1 UIN(s) Found!", " ", " 42"}));
  EXPECT_EQ(window_.BackupPath, "C:\\backup");
}

TEST_F(CheckUINTest, NoListGivesErrorReportWithoutSaving) {
  drives_.MakeFolder("C:\\backup\\icqlist.txt\\");  // a folder of that name is no list
  for (const auto& [folder, detail] : std::vector<std::pair<std::string, std::string>>{
           {"C:\\backup", " C:\\backup!"},
           {"C:\\nowhere\\", " C:\\nowhere!"},
           {"", " !"},
           {"C:\\a folder name longer than thirty", " C:\\..r name longer than thirty!"}}) {
    SCOPED_TRACE("folder: " + folder);
    window_.SetBackupFolderText(folder);
    backup::CheckUINClick(window_);
    EXPECT_EQ(window_.lines,
              (ScreenLines{" ", " Error!", " ", " ICQ Backup Files not found in ", detail, " ", " ",
                           " Note:", " Please check your Backup Folder at",
                           " \"2. Select / Edit Backup Folder\" again!"}));
    EXPECT_EQ(window_.gauge, 0);
    EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
  }
}

}  // namespace
