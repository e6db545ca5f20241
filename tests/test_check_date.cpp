// Check Date on backup folders of a temporary drive, in the "C" locale (English month
// names); the torq32-cli test below runs a non-English one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <string>
#include <vector>

#include "backup/check_date.h"
#include "drive_sandbox.h"
#include "recording_window.h"

namespace {

using ScreenLines = std::vector<std::string>;

// Today as the C library writes it in the "C" locale: "05 Mar 2001".
std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%d %b %Y", std::localtime(&now));
  return text;
}

ScreenLines FoundReport(const std::string& backup_date) {
  return {" ",
          " Backup Files Found!",
          " ",
          " ",
          " Today is: " + TodayText(),
          " ",
          " Date of Backup Files: " + backup_date};
}

class CheckDateTest : public ::testing::Test {
 protected:
  // The month names are read once, from the environment's LC_TIME; "C" gives none of
  // its own, so the table is the English one whatever the developer's locale. (On
  // Windows they are the user's locale's: scripts/test.sh runs Wine in the "C" one,
  // which Wine takes as English.)
  static void SetUpTestSuite() {
#ifndef _WIN32
    ::setenv("LC_ALL", "C", 1);
#endif
  }

  CheckDateTest() : drives_({'C'}) {
    drives_.MakeFolder("C:\\home");
    drives_.MakeFolder("C:\\backup");
    window_.HomeFolder = "C:\\home";
    window_.ICQPath = "C:\\ICQ";
    window_.SetBackupFolderText("C:\\backup");
  }

  void WriteList(const std::string& folder) {
    drives_.WriteFile(folder + "\\icqlist.txt", "Total Files : 1\r\nuin***1.dat|||1\r\n");
  }

  DriveSandbox drives_;
  RecordingWindow window_;
};

TEST_F(CheckDateTest, ListWrittenTodayShowsTodayTwice) {
  WriteList("C:\\backup");
  backup::CheckDateClick(window_);
  EXPECT_EQ(window_.lines, FoundReport(TodayText()));
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 100}));
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nC:\\backup\r\n");
}

TEST_F(CheckDateTest, LastSecondOfADayStaysOnThatDay) {
  WriteList("C:\\backup");
  drives_.SetLocalTime("C:\\backup\\icqlist.txt", 2001, 3, 5, 23, 59, 59);
  backup::CheckDateClick(window_);
  EXPECT_EQ(window_.lines, FoundReport("05 Mar 2001"));
}

TEST_F(CheckDateTest, CopyKeepingTimesShowsTheOriginalDate) {
  WriteList("C:\\backup");
  drives_.SetLocalTime("C:\\backup\\icqlist.txt", 1999, 12, 31, 8, 0, 0);
  drives_.MakeFolder("C:\\copy");
  std::filesystem::copy_file(drives_.Host("C:\\backup\\icqlist.txt"),
                             drives_.Host("C:\\copy\\icqlist.txt"));
  std::filesystem::last_write_time(
      drives_.Host("C:\\copy\\icqlist.txt"),
      std::filesystem::last_write_time(drives_.Host("C:\\backup\\icqlist.txt")));
  window_.SetBackupFolderText("C:\\copy\\");  // typed with a trailing backslash
  backup::CheckDateClick(window_);
  EXPECT_EQ(window_.lines, FoundReport("31 Dec 1999"));
  EXPECT_EQ(drives_.ReadFile("C:\\home\\pref.cfg"), "C:\\ICQ\r\nC:\\copy\r\n");
}

TEST_F(CheckDateTest, FolderNamedLikeTheListCountsWithItsDate) {
  drives_.MakeFolder("C:\\backup\\icqlist.txt");
  drives_.SetLocalTime("C:\\backup\\icqlist.txt", 2002, 1, 31, 12, 0, 0);
  backup::CheckDateClick(window_);
  EXPECT_EQ(window_.lines, FoundReport("31 Jan 2002"));
}

#ifndef _WIN32  // two names differing only in case cannot both exist on Windows
// Check UIN and the restore read icqlist.txt as spelled; the date must be that file's too.
TEST_F(CheckDateTest, ListInItsExactSpellingWinsOverAnotherCase) {
  WriteList("C:\\backup");
  drives_.SetLocalTime("C:\\backup\\icqlist.txt", 2001, 3, 5, 12, 0, 0);
  drives_.WriteFile("C:\\backup\\ICQLIST.TXT", "Total Files : 0\r\n");
  drives_.SetLocalTime("C:\\backup\\ICQLIST.TXT", 1999, 12, 31, 12, 0, 0);
  backup::CheckDateClick(window_);
  EXPECT_EQ(window_.lines, FoundReport("05 Mar 2001"));
}
#endif

TEST_F(CheckDateTest, NoListGivesErrorReportWithoutSaving) {
  for (const auto& [folder, detail] : std::vector<std::pair<std::string, std::string>>{
           {"C:\\backup", " C:\\backup!"}, {"C:\\nowhere", " C:\\nowhere!"}, {"", " !"}}) {
    SCOPED_TRACE("folder: " + folder);
    window_.SetBackupFolderText(folder);
    backup::CheckDateClick(window_);
    EXPECT_EQ(window_.lines,
              (ScreenLines{" ", " Error!", " ", " ICQ Backup Files not found in ", detail, " ", " ",
                           " Note:", " Please check your Backup Folder at",
                           " \"2. Select / Edit Backup Folder\" again!"}));
    EXPECT_EQ(window_.gauge, 0);
    EXPECT_FALSE(drives_.Exists("C:\\home\\pref.cfg"));
  }
}

// The month table of the "C" locale, which gives none of its own: the English names.
class CheckDateMonthTest : public CheckDateTest,
                           public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(CheckDateMonthTest, EnglishMonthNames) {
  const auto [month, name] = GetParam();
  WriteList("C:\\backup");
  drives_.SetLocalTime("C:\\backup\\icqlist.txt", 2001, month, 5, 12, 0, 0);
  backup::CheckDateClick(window_);
  EXPECT_EQ(window_.lines.back(), std::string(" Date of Backup Files: 05 ") + name + " 2001");
}

INSTANTIATE_TEST_SUITE_P(Months, CheckDateMonthTest,
                         ::testing::Values(std::pair{1, "Jan"}, std::pair{2, "Feb"},
                                           std::pair{3, "Mar"}, std::pair{4, "Apr"},
                                           std::pair{5, "May"}, std::pair{6, "Jun"},
                                           std::pair{7, "Jul"}, std::pair{8, "Aug"},
                                           std::pair{9, "Sep"}, std::pair{10, "Oct"},
                                           std::pair{11, "Nov"}, std::pair{12, "Dec"}));

}  // namespace
