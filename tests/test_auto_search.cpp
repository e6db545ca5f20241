// AutoSearch over drives made of temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "drive_sandbox.h"
#include "recording_window.h"
#include "search/auto_search.h"

namespace {

using ScreenLines = std::vector<std::string>;

const ScreenLines kNotes = {" ",
                            " Searching for ICQ...",
                            " ",
                            " This may take a few minutes...",
                            " ",
                            " ",
                            " Note:",
                            " 1. Try not to run other programs as this",
                            "      will slow down the search.",
                            " 2. If you are multi-tasking, Torq32 may",
                            "      appear not to be responsing. Just",
                            "      let it complete itself.",
                            " ",
                            " Searching:"};

const ScreenLines kFailureReport = {
    " ", " Error!", " ",      " ICQ cannot be found on this system!",
    " ", " ",       " Note:", " Please ensure that ICQ is installed!"};

ScreenLines SuccessReport(const std::string& shown_folder) {
  return {" ", " Search Successful!", " ", " ICQ Found in " + shown_folder};
}

// Also keeps every line the walk appended and the screen as each clear found it.
class WalkRecordingWindow : public RecordingWindow {
 public:
  ScreenLines appended;
  std::vector<ScreenLines> cleared_screens;

  void ClearScreen() override {
    cleared_screens.push_back(lines);
    RecordingWindow::ClearScreen();
  }
  void AppendLine(const std::string& line) override {
    appended.push_back(line);
    RecordingWindow::AppendLine(line);
  }

  // The folders the walk showed, in order: what it appended after the notes.
  ScreenLines Walked() const {
    const std::size_t notes = kNotes.size();
    const std::size_t report = lines.size();
    if (appended.size() < notes + report) return {};
    return ScreenLines(appended.begin() + notes, appended.end() - report);
  }
  // The screen as the walk left it, before the report cleared it.
  const ScreenLines& WalkScreen() const { return cleared_screens.back(); }
};

class AutoSearchTest : public ::testing::Test {
 protected:
  AutoSearchTest() : drives_({'C', 'D', 'E'}) {
    drives_.MakeFolder("C:\\home");
    window_.HomeFolder = "C:\\home";
    window_.BackupPath = "C:\\backup";
    drives_.WriteFile(kPrefs, kOldPrefs);
  }

  void Install(const std::string& folder) { drives_.WriteFile(folder + "\\icq.exe", "MZ"); }

  void ExpectFound(const std::string& icq_path) {
    EXPECT_EQ(window_.lines, SuccessReport(icq_path));
    EXPECT_EQ(window_.ICQPath, icq_path);
    EXPECT_EQ(window_.gauge, 100);
    EXPECT_EQ(drives_.ReadFile(kPrefs), icq_path + "\r\nC:\\backup\r\n");
    EXPECT_TRUE(platform::SamePathText(window_.icq_folder, platform::ExpandFileName(icq_path)))
        << window_.icq_folder;
  }

  static constexpr char kPrefs[] = "C:\\home\\pref.cfg";
  static constexpr char kOldPrefs[] = "C:\\old icq\r\nC:\\old backup\r\n";

  DriveSandbox drives_;
  WalkRecordingWindow window_;
};

TEST_F(AutoSearchTest, SettingHoldingICQIsTakenWithoutAWalk) {
  Install("D:\\Apps\\ICQ");
  Install("C:\\Program Files\\ICQ");
  window_.ICQPath = "D:\\Apps\\ICQ";
  search::Label2Click(window_);
  ExpectFound("D:\\Apps\\ICQ");
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 100}));
  EXPECT_EQ(window_.WalkScreen(), kNotes);
}

TEST_F(AutoSearchTest, UsualFolderIsTakenWithoutAWalkOverAStaleSetting) {
  Install("C:\\Program Files\\ICQ");
  Install("C:\\Apps\\ICQ");
  drives_.MakeFolder("C:\\Old ICQ");
  window_.ICQPath = "C:\\Old ICQ";
  search::Label2Click(window_);
  ExpectFound("C:\\Program Files\\ICQ");
  EXPECT_EQ(window_.gauge_history, (std::vector<int>{0, 100}));
  EXPECT_EQ(window_.WalkScreen(), kNotes);
}

// "none" and an empty setting name no folder: neither is looked up as a relative path
// (in the current directory, or the current drive's root); the drives are walked.
TEST_F(AutoSearchTest, NoneAndEmptySettingsAreNoFolders) {
  Install("C:\\home\\none");
  ASSERT_TRUE(platform::SetCurrentDir("C:\\home"));
  window_.ICQPath = "none";
  search::Label2Click(window_);
  ExpectFound("c:\\home\\none");

  Install("C:");
  window_.ICQPath = "";
  search::Label2Click(window_);
  ExpectFound("c:");
}

TEST_F(AutoSearchTest, DrivesAreWalkedInLetterOrderUpToTheFirstFind) {
  drives_.MakeFolder("C:\\Windows\\System");
  drives_.MakeFolder("C:\\games");
  Install("D:\\apps\\ICQ");
  drives_.MakeFolder("D:\\Games");
  drives_.WriteFile("D:\\readme.txt", "not a folder");
  Install("E:\\ICQ");
  window_.ICQPath = "none";
  search::Label2Click(window_);

  ExpectFound("d:\\apps\\ICQ");
  // Entries in the directory search order (upper-case names), E: never reached.
  const ScreenLines walked = {
      " c:", " c:\\games", " c:\\home",      " c:\\Windows", " c:\\Windows\\System",
      " d:", " d:\\apps",  " d:\\apps\\ICQ", " d:\\Games"};
  EXPECT_EQ(window_.Walked(), walked);
  // Line 14 showed the folder entered last while C: was walked; each later drive's
  // root is appended below it without a deletion, so on D: the screen holds two paths.
  ScreenLines walk_screen = kNotes;
  walk_screen.push_back(" d:\\apps\\ICQ");
  walk_screen.push_back(" d:\\Games");
  EXPECT_EQ(window_.WalkScreen(), walk_screen);
  std::vector<int> gauge = {0};
  for (int folders = 1; folders <= static_cast<int>(walked.size()); ++folders) {
    gauge.push_back(folders);
  }
  gauge.push_back(100);
  EXPECT_EQ(window_.gauge_history, gauge);
}

TEST_F(AutoSearchTest, LaterInstallationInWalkOrderWins) {
  Install("D:\\A");
  Install("D:\\B");
  drives_.MakeFolder("D:\\C");
  search::Label2Click(window_);
  ExpectFound("d:\\B");
  EXPECT_EQ(window_.Walked().back(), " d:\\C");  // the walk went on after the finds
}

TEST_F(AutoSearchTest, FolderBelowAnInstallationIsNotWalked) {
  Install("D:\\ICQ");
  Install("D:\\ICQ\\zz");
  search::Label2Click(window_);
  ExpectFound("d:\\ICQ");
  EXPECT_EQ(window_.Walked(), (ScreenLines{" c:", " c:\\home", " d:", " d:\\ICQ"}));
}

TEST_F(AutoSearchTest, ProgramInADriveRootGivesTheBareDrive) {
  Install("D:");
  drives_.MakeFolder("D:\\sub");
  search::Label2Click(window_);
  ExpectFound("d:");
  EXPECT_EQ(window_.Walked(), (ScreenLines{" c:", " c:\\home", " d:"}));
}

TEST_F(AutoSearchTest, FolderNamedLikeTheProgramDoesNotCount) {
  drives_.MakeFolder("D:\\X\\icq.exe");
  drives_.MakeFolder("D:\\Program Files\\ICQ\\icq.exe");
  search::Label2Click(window_);
  EXPECT_EQ(window_.lines, kFailureReport);
  EXPECT_EQ(window_.ICQPath, "none");
}

TEST_F(AutoSearchTest, NoInstallationReportsFailureAndKeepsTheSettingsFile) {
  // More folders than the gauge counts.
  for (int i = 0; i < 60; ++i) drives_.MakeFolder("E:\\f" + std::to_string(i) + "\\g");
  window_.ICQPath = "C:\\gone";
  search::Label2Click(window_);
  EXPECT_EQ(window_.lines, kFailureReport);
  EXPECT_EQ(window_.ICQPath, "none");
  EXPECT_EQ(drives_.ReadFile(kPrefs), kOldPrefs);
  EXPECT_EQ(window_.Walked().size(), 2u + 1u + 121u);  // c:, c:\home, d:, e: and its folders
  EXPECT_EQ(window_.gauge, 99);
  EXPECT_EQ(window_.gauge_history.back(), 99);
}

#ifndef _WIN32  // symbolic links made on the host, and mount points inside a drive
// The program file is judged as a look-up of "icq.exe" judges it: the exact spelling
// first, links followed, folders and dangling links not counted.
TEST_F(AutoSearchTest, ProgramFileIsTheEntryALookUpFinds) {
  drives_.MakeFolder("D:\\A\\icq.exe");
  drives_.WriteFile("D:\\A\\ICQ.EXE", "MZ");  // another spelling beside a folder
  drives_.MakeFolder("D:\\B");
  std::filesystem::create_symlink("gone.exe", drives_.Host("D:\\B\\icq.exe"));
  drives_.WriteFile("D:\\C\\Icq.Exe", "MZ");
  drives_.WriteFile("D:\\D\\real.exe", "MZ");
  std::filesystem::create_symlink("real.exe", drives_.Host("D:\\D\\icq.exe"));
  drives_.MakeFolder("D:\\E");
  search::Label2Click(window_);
  ExpectFound("d:\\D");
  EXPECT_EQ(window_.Walked(), (ScreenLines{" c:", " c:\\home", " d:", " d:\\A", " d:\\A\\icq.exe",
                                           " d:\\B", " d:\\C", " d:\\D", " d:\\E"}));
}

// C: at the host root and D: mounted below it, as "/" and "/usr" are: the links from
// C: into D: ("/bin -> usr/bin") belong to D:'s walk, and D:'s links back to C:'s.
TEST_F(AutoSearchTest, FoldersOfAnotherDriveAreLeftToItsWalk) {
  drives_.MakeFolder("C:\\usr\\bin\\ICQ");
  Install("C:\\usr\\bin\\ICQ");
  drives_.MakeFolder("C:\\etc");
  std::filesystem::create_directory_symlink("usr/bin", drives_.Host("C:\\bin"));
  std::filesystem::create_directory_symlink("../etc", drives_.Host("C:\\usr\\etc"));
  platform::InstallDriveTableForTests(
      {{'C', drives_.Host("C:").string()}, {'D', drives_.Host("C:\\usr").string()}});
  search::Label2Click(window_);
  ExpectFound("d:\\bin\\ICQ");
  EXPECT_EQ(window_.Walked(),
            (ScreenLines{" c:", " c:\\etc", " c:\\home", " d:", " d:\\bin", " d:\\bin\\ICQ"}));
}

TEST_F(AutoSearchTest, LinksBackUpTheTreeEndTheWalk) {
  drives_.MakeFolder("D:\\loop");
  std::filesystem::create_directory_symlink(drives_.Host("D:"), drives_.Host("D:\\loop\\root"));
  std::filesystem::create_directory_symlink("..", drives_.Host("D:\\loop\\up"));
  std::filesystem::create_directory_symlink(".", drives_.Host("D:\\loop\\self"));
  Install("D:\\zz\\ICQ");
  search::Label2Click(window_);
  ExpectFound("d:\\zz\\ICQ");
  EXPECT_EQ(window_.Walked(),
            (ScreenLines{" c:", " c:\\home", " d:", " d:\\loop", " d:\\zz", " d:\\zz\\ICQ"}));
}
#endif

}  // namespace
