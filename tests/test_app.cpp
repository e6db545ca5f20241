// Start-up, pref.cfg, back.dat and the fixed reports, on a drive C: made of a
// temporary folder, with the recording window.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/plugin.h"
#include "app/reports.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/drives.h"
#include "platform/fault_injection.h"
#include "platform/io_error.h"
#include "tests/recording_window.h"
#include "tests/scratch_folder.h"

namespace platform::testing {
// Readable test names for the suites that fail one kind of file operation.
void PrintTo(FileOp op, std::ostream* os) {
  switch (op) {
    case FileOp::kOpen:
      *os << "open";
      return;
    case FileOp::kRead:
      *os << "read";
      return;
    default:
      *os << "file operation " << static_cast<int>(op);
  }
}
}  // namespace platform::testing

namespace {

namespace fs = std::filesystem;
using platform::testing::FileOp;

const std::vector<std::string> kDefaultBanner = {
    " ",
    " Varn ICQ Backup - 32 bit Ver 0.9.3 beta",
    " ",
    " Supports ICQ : 98b-2000b(P)",
    " ",
    " ",
    " Visit http://www.example.org/varn",
    " for latest plugin!",
};

const char kDefaultPluginBytes[] =
    "bookmark\r\nuin\r\nplugins\r\nicqfiles\r\ndb\r\nnewdb\r\ndb99b\r\n2000a\r\n2000b\r\n"
    "TheEnd\r\n98b-2000b(P)\r\n";

// Drive C: is a fresh temporary folder; the current directory is C:\home.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeScratchFolder("varn_app-");
    platform::InstallDriveTableForTests({{'C', root_.string()}});
    platform::testing::ResetFaults();
    fs::create_directory(root_ / "home");
    ASSERT_TRUE(platform::SetCurrentDir("C:\\home"));
  }
  void TearDown() override {
    platform::testing::ResetFaults();
    platform::InstallDriveTableForTests({});
    fs::remove_all(root_);
  }

  void WriteFile(const std::string& relative, const std::string& bytes) {
    std::ofstream(root_ / relative, std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& relative) {
    std::ifstream in(root_ / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& relative) { return fs::exists(root_ / relative); }
  void MakeFolder(const std::string& relative) { fs::create_directories(root_ / relative); }

  fs::path root_;
};

// --- Reports ------------------------------------------------------------------------

struct ShortPathCase {
  const char* name;
  std::string path;
  std::string expected;
};

void PrintTo(const ShortPathCase& c, std::ostream* os) { *os << c.name; }

class ShortPathTest : public ::testing::TestWithParam<ShortPathCase> {};

TEST_P(ShortPathTest, ShowsWholeOrShortened) {
  EXPECT_EQ(app::ShortPath(GetParam().path), GetParam().expected);
}

const std::string k30 = "C:\\ICQ\\abcdefghijklmnopqrstuvw";  // 30 characters
const std::string k31 = k30 + "x";

INSTANTIATE_TEST_SUITE_P(
    Lengths, ShortPathTest,
    ::testing::Values(ShortPathCase{"Empty", "", " "}, ShortPathCase{"Thirty", k30, " " + k30},
                      ShortPathCase{"ThirtyOne", k31, " C:\\..\\abcdefghijklmnopqrstuvwx"},
                      ShortPathCase{"Long", "C:\\Program Files\\ICQ\\newdb\\1234567\\messages",
                                    " C:\\..CQ\\newdb\\1234567\\messages"},
                      // "ö" is two bytes, "€" three: a cut inside one leaves it out.
                      ShortPathCase{"HeadCutsACharacter",
                                    "C:\xc3\xb6\\ICQ\\abcdefghijklmnopqrstuvwxyz",
                                    " C:..bcdefghijklmnopqrstuvwxyz"},
                      ShortPathCase{"TailCutsACharacter",
                                    "C:\\ICQ\\abcdefghijkl\xe2\x82\xac"
                                    "mnopqrstuvwxyz012345678",
                                    " C:\\..mnopqrstuvwxyz012345678"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Reports, ErrorScreenReplacesTheScreenAndLeavesTheGauge) {
  RecordingWindow window;
  window.lines = {" old report"};
  window.gauge = 40;
  EXPECT_FALSE(app::ErrorScreen(window, " Cannot create folder : ", " C:\\Backup!",
                                " Make sure your disk is not full!", " "));
  const std::vector<std::string> expected = {
      " ", " Error!", " ",      " Cannot create folder : ",          " C:\\Backup!",
      " ", " ",       " Note:", " Make sure your disk is not full!", " ",
  };
  EXPECT_EQ(window.lines, expected);
  EXPECT_EQ(window.gauge, 40);
  EXPECT_TRUE(window.gauge_history.empty());
}

TEST(Reports, AboutShowsTwelveLinesAndFillsTheGauge) {
  RecordingWindow window;
  window.lines = {" old report"};
  app::AboutClick(window);
  ASSERT_EQ(window.lines.size(), 12u);
  const std::vector<std::pair<int, std::string>> fixed = {
      {1, " "},  {2, " Varn ICQ Backup - 32 bit Ver 0.9.3 beta"},
      {3, " "},  {5, " "},
      {6, " "},  {10, " "},
      {11, " "}, {12, " Thanks for using Varn ICQ Backup!"},
  };
  for (const auto& [number, text] : fixed) EXPECT_EQ(window.lines[number - 1], text) << number;
  // The maker's lines: copyright with years, credit, e-mail, web address.
  EXPECT_EQ(window.lines[3], " Copyright (c) 2000-2026 Varn authors");
  EXPECT_EQ(window.lines[6], " Programmed by the Varn authors");
  EXPECT_EQ(window.lines[7], " E-mail : varn@example.org");
  EXPECT_EQ(window.lines[8], " Web : http://www.example.org/varn");
  EXPECT_EQ(window.gauge, 100);
}

TEST(Reports, ReadMeShowsItsFiftyEightLinesAndFillsTheGauge) {
  RecordingWindow window;
  window.lines = {" old report"};
  app::Label4Click(window);
  const std::vector<std::string> expected = {
      " ",
      " - Read Me -",
      " ",
      " ",
      " Installing ICQ Backup:",
      " ",
      " 1. Unzip the file TORQ32.EXE to any folder",
      "     and run it from there.",
      " ",
      " ",
      " Background Information:",
      " ",
      " 1. This is a fully workable freeware with",
      "     NO time limit.",
      " 2. Thus, I sincerely need your continued",
      "     suggestions to improve on it.",
      " 3. Feel free to drop me at mail at",
      "     varn@example.org",
      " 4. Visit the software support forum",
      "     at http://forum.example.org/varn",
      " ",
      " ** This 32 bit version is incompatible",
      "     with the 16 bit version!",
      " ",
      " ",
      " Point To Note:",
      " ",
      " 1. Please ensure that ICQ is inactive",
      "      when performing restoration!",
      " 2. Just make sure no flower is visible",
      "      in the system tray.",
      " ",
      " ",
      " Features:",
      " ",
      " 1. For new users, ICQ Backup is for",
      "      backing up and restoring of ICQ",
      "      data files.",
      " 2. Using the LZSS Compression Engine,",
      "      data files are compressed up to",
      "      80%.",
      " 3. It can backup multiple accounts and",
      "      multiple instances of ICQ on your",
      "      harddisk.",
      " 4. Upgradable to support future versions",
      "      of ICQ just by downloading a small",
      "      file of less than 1Kb.",
      " ",
      " ",
      " Special Thanks:",
      " ",
      " 1. The authors of the LZSS method",
      "      and all who refined it since",
      "      for their LZSS Compression Codes.",
      "      URL: http://www.example.org/lzss",
      " ",
      " ",
      " - The End -",
  };
  ASSERT_EQ(expected.size(), 58u);
  EXPECT_EQ(window.lines, expected);
  EXPECT_EQ(window.gauge, 100);
}

TEST(Reports, ClearScreenAfterAboutRestoresBannerAndEmptiesTheGauge) {
  RecordingWindow window;
  window.SupportedVersions = "98b-2000b(P)";
  app::AboutClick(window);
  ASSERT_EQ(window.gauge, 100);
  app::ClearScreenClick(window);
  EXPECT_EQ(window.lines, kDefaultBanner);
  EXPECT_EQ(window.gauge, 0);
}

// --- pref.cfg -----------------------------------------------------------------------

TEST_F(AppTest, PathIsFolderOnlyForExistingFolders) {
  MakeFolder("home/sub");
  WriteFile("home/file.txt", "x");
  EXPECT_TRUE(app::PathIsFolder("C:\\home\\sub"));
  EXPECT_TRUE(app::PathIsFolder("C:\\"));
  EXPECT_FALSE(app::PathIsFolder("C:\\home\\file.txt"));
  EXPECT_FALSE(app::PathIsFolder("C:\\home\\missing"));
  EXPECT_FALSE(app::PathIsFolder("C:\\home\\missing\\deeper"));
  EXPECT_FALSE(app::PathIsFolder(""));
  EXPECT_FALSE(app::PathIsFolder("Q:\\nowhere"));
  EXPECT_FALSE(app::PathIsFolder("\\\\server\\share"));
}

TEST_F(AppTest, SavePrefsWritesTwoCrLfLinesThatReadPrefsReadsBack) {
  RecordingWindow window;
  window.HomeFolder = "C:\\home";
  window.ICQPath = "C:\\Program Files\\ICQ";
  window.BackupPath = "none";
  app::SavePrefs(window);
  EXPECT_EQ(ReadFile("home/pref.cfg"), "C:\\Program Files\\ICQ\r\nnone\r\n");

  RecordingWindow reread;
  reread.HomeFolder = "C:\\home";
  app::ReadPrefs(reread);
  EXPECT_EQ(reread.ICQPath, "C:\\Program Files\\ICQ");
  EXPECT_EQ(reread.BackupPath, "none");
}

TEST_F(AppTest, SavePrefsReplacesTheWholeFile) {
  WriteFile("home/pref.cfg", "C:\\a very long old setting\r\nC:\\another\r\nthird\r\n");
  RecordingWindow window;
  window.HomeFolder = "C:\\home";
  window.ICQPath = "C:";
  window.BackupPath = "D:\\B";
  app::SavePrefs(window);
  EXPECT_EQ(ReadFile("home/pref.cfg"), "C:\r\nD:\\B\r\n");
}

TEST_F(AppTest, SavePrefsAtADriveRoot) {
  RecordingWindow window;
  window.HomeFolder = "C:\\";  // gives "C:\\pref.cfg"
  window.ICQPath = "C:\\ICQ";
  app::SavePrefs(window);
  EXPECT_EQ(ReadFile("pref.cfg"), "C:\\ICQ\r\nnone\r\n");
}

TEST_F(AppTest, SavePrefsFailureRaises) {
  for (FileOp op : {FileOp::kCreate, FileOp::kWrite, FileOp::kClose}) {
    platform::testing::ResetFaults();
    platform::testing::FailNthOperation(1, op);
    RecordingWindow window;
    window.HomeFolder = "C:\\home";
    EXPECT_THROW(app::SavePrefs(window), platform::EInOutError) << static_cast<int>(op);
  }
}

// A full disk, a failed flush or a refused rename while pref.cfg is rewritten: the
// action ends with the error, the old settings are whole and nothing is left beside them.
TEST_F(AppTest, SavePrefsFailureKeepsTheOldSettingsWhole) {
  const std::string old_prefs = "C:\\old icq\r\nC:\\old backup\r\n";
  struct Fault {
    FileOp op;
    int code;
  };
  for (const Fault fault :
       {Fault{FileOp::kCreate, 5}, Fault{FileOp::kWrite, 101}, Fault{FileOp::kFlush, 101},
        Fault{FileOp::kClose, 5}, Fault{FileOp::kRename, 32}}) {
    SCOPED_TRACE(static_cast<int>(fault.op));
    WriteFile("home/pref.cfg", old_prefs);
    platform::testing::ResetFaults();
    platform::testing::FailNthOperation(1, fault.op, fault.code);
    RecordingWindow window;
    window.HomeFolder = "C:\\home";
    window.ICQPath = "C:\\new icq";
    int raised = 0;
    try {
      app::SavePrefs(window);
    } catch (const platform::EInOutError& e) {
      raised = e.ErrorCode();
    }
    EXPECT_EQ(raised, fault.code);
    EXPECT_EQ(ReadFile("home/pref.cfg"), old_prefs);
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(root_ / "home"), {}),
              std::vector<fs::path>{root_ / "home" / "pref.cfg"});
  }
}

// The file keeps the disk's spelling, as creating it over another case always did.
TEST_F(AppTest, SavePrefsReplacesAnEntryInAnotherCase) {
  WriteFile("home/PREF.CFG", "old\r\nold\r\n");
  RecordingWindow window;
  window.HomeFolder = "C:\\home";
  window.ICQPath = "C:\\ICQ";
  app::SavePrefs(window);
  EXPECT_EQ(ReadFile("home/PREF.CFG"), "C:\\ICQ\r\nnone\r\n");
  // The folder's listing, not a look-up, which ignores letter case on Windows.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root_ / "home")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"PREF.CFG"});
}

// --- Start-up -----------------------------------------------------------------------

struct StartupCase {
  const char* name;
  const char* pref_cfg;  // nullptr: no file
  std::string icq_path, backup_path;
  std::string icq_folder, backup_folder, backup_text;
};

void PrintTo(const StartupCase& c, std::ostream* os) { *os << c.name; }

class StartupTest : public AppTest, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(StartupTest, PointsTheSelectorsAtSavedFoldersThatExist) {
  const StartupCase& c = GetParam();
  MakeFolder("ICQ");
  MakeFolder("Saved Backup");
  if (c.pref_cfg) WriteFile("home/pref.cfg", c.pref_cfg);

  RecordingWindow window;
  window.lines = {" design-time text"};
  app::FormCreate(window);

  EXPECT_EQ(window.HomeFolder, "C:\\home");
  EXPECT_EQ(window.ICQPath, c.icq_path);
  EXPECT_EQ(window.BackupPath, c.backup_path);
  EXPECT_EQ(window.ICQFolder(), c.icq_folder);
  EXPECT_EQ(window.BackupFolder(), c.backup_folder);
  EXPECT_EQ(window.BackupFolderText(), c.backup_text);
  EXPECT_EQ(window.lines, kDefaultBanner);  // nothing reported about a missing folder
  EXPECT_TRUE(window.gauge_history.empty());
  EXPECT_TRUE(window.questions.empty());
  // Start-up never writes pref.cfg.
  EXPECT_EQ(Exists("home/pref.cfg"), c.pref_cfg != nullptr);
  if (c.pref_cfg) {
    EXPECT_EQ(ReadFile("home/pref.cfg"), c.pref_cfg);
  }
}

INSTANTIATE_TEST_SUITE_P(
    PrefCfg, StartupTest,
    ::testing::Values(
        StartupCase{"NoFile", nullptr, "none", "none", "C:\\home", "C:\\home", "C:\\home"},
        StartupCase{"BothSaved", "C:\\ICQ\r\nC:\\Saved Backup\r\n", "C:\\ICQ", "C:\\Saved Backup",
                    "C:\\ICQ", "C:\\Saved Backup", "C:\\Saved Backup"},
        StartupCase{"NoneThenFolder", "none\r\nC:\\Saved Backup\r\n", "none", "C:\\Saved Backup",
                    "C:\\home", "C:\\Saved Backup", "C:\\Saved Backup"},
        StartupCase{"DriveRootsSaved", "C:\r\nC:\r\n", "C:", "C:", "C:\\", "C:\\", "C:\\"},
        StartupCase{"BackupIsHome", "none\r\nC:\\home\r\n", "none", "C:\\home", "C:\\home",
                    "C:\\home", "C:\\home"},
        StartupCase{"OneLine", "C:\\ICQ\r\n", "C:\\ICQ", "", "C:\\ICQ", "C:\\home", "C:\\Backup"},
        StartupCase{"OneLineNoEnd", "C:\\ICQ", "C:\\ICQ", "", "C:\\ICQ", "C:\\home", "C:\\Backup"},
        StartupCase{"Empty", "", "", "", "C:\\home", "C:\\home", "C:\\Backup"},
        StartupCase{"FoldersGone", "C:\\Old ICQ\r\nC:\\Old Backup\r\n", "C:\\Old ICQ",
                    "C:\\Old Backup", "C:\\home", "C:\\home", "C:\\Backup"},
        StartupCase{"DriveGone", "Q:\\ICQ\r\nQ:\\Backup\r\n", "Q:\\ICQ", "Q:\\Backup", "C:\\home",
                    "C:\\home", "C:\\Backup"},
        StartupCase{"SettingsNameFiles", "C:\\home\\back.dat\r\nC:\\home\\back.dat\r\n",
                    "C:\\home\\back.dat", "C:\\home\\back.dat", "C:\\home", "C:\\home",
                    "C:\\Backup"},
        StartupCase{"NoneIsCaseSensitive", "None\r\nNONE\r\n", "None", "NONE", "C:\\home",
                    "C:\\home", "C:\\Backup"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, StartupLeavesTheCurrentDirectoryWhereTheLastListMoved) {
  MakeFolder("ICQ");
  MakeFolder("Saved Backup");
  WriteFile("home/pref.cfg", "C:\\ICQ\r\nC:\\Saved Backup\r\n");
  RecordingWindow both;
  app::FormCreate(both);
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\Saved Backup");

  // With no backup folder saved the backup list does not move.
  ASSERT_TRUE(platform::SetCurrentDir("C:\\home"));
  WriteFile("home/pref.cfg", "C:\\ICQ\r\nnone\r\n");
  RecordingWindow icq_only;
  app::FormCreate(icq_only);
  EXPECT_EQ(icq_only.BackupFolderText(), "C:\\home");
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\ICQ");
}

TEST_F(AppTest, StartupAtADriveRoot) {
  MakeFolder("ICQ");
  WriteFile("pref.cfg", "C:\\ICQ\r\nnone\r\n");
  ASSERT_TRUE(platform::SetCurrentDir("C:\\"));
  RecordingWindow window;
  app::FormCreate(window);
  EXPECT_EQ(window.HomeFolder, "C:\\");
  EXPECT_EQ(window.ICQPath, "C:\\ICQ");
  EXPECT_EQ(window.ICQFolder(), "C:\\ICQ");
  EXPECT_EQ(window.BackupFolderText(), "C:\\");
  EXPECT_EQ(ReadFile("back.dat"), kDefaultPluginBytes);
  EXPECT_EQ(window.lines, kDefaultBanner);
}

TEST_F(AppTest, MissingBackDatIsWrittenWithItsDefaultLines) {
  RecordingWindow window;
  app::FormCreate(window);
  EXPECT_EQ(ReadFile("home/back.dat"), kDefaultPluginBytes);
  EXPECT_EQ(window.SupportedVersions, "98b-2000b(P)");
  ASSERT_EQ(window.lines.size(), 8u);
  EXPECT_EQ(window.lines[3], " Supports ICQ : 98b-2000b(P)");
  const std::vector<std::string> entries = {"bookmark", "uin",   "plugins", "icqfiles", "db",
                                            "newdb",    "db99b", "2000a",   "2000b"};
  EXPECT_EQ(app::ReadPluginEntries("C:\\home"), entries);
}

struct PluginCase {
  const char* name;
  std::string back_dat;
  std::string supported_versions;
  std::vector<std::string> entries;
};

void PrintTo(const PluginCase& c, std::ostream* os) { *os << c.name; }

class PluginTest : public AppTest, public ::testing::WithParamInterface<PluginCase> {};

TEST_P(PluginTest, BothReadersStopAtTheMarkerOrTheEnd) {
  const PluginCase& c = GetParam();
  WriteFile("home/back.dat", c.back_dat);
  RecordingWindow window;
  app::FormCreate(window);
  EXPECT_EQ(window.SupportedVersions, c.supported_versions);
  EXPECT_EQ(window.lines.at(3), " Supports ICQ : " + c.supported_versions);
  EXPECT_EQ(app::ReadPluginEntries("C:\\home"), c.entries);
  // An existing back.dat is never rewritten.
  EXPECT_EQ(ReadFile("home/back.dat"), c.back_dat);
}

INSTANTIATE_TEST_SUITE_P(
    BackDat, PluginTest,
    ::testing::Values(PluginCase{"MarkerFirst", "TheEnd\r\n2003a\r\n", "2003a", {}},
                      PluginCase{"MarkerLike",
                                 "db\r\ntheend\r\nTheEnd \r\n THEEND\r\nTheEnd\r\nv5\r\n",
                                 "v5",
                                 {"db", "theend", "TheEnd ", " THEEND"}},
                      PluginCase{"UsersOwnEntries",
                                 "My Data\\Deep\r\nuin\r\nTheEnd\r\nmine\r\nignored\r\n",
                                 "mine",
                                 {"My Data\\Deep", "uin"}},
                      PluginCase{"LfLineEnds", "db\nTheEnd\nlf only\n", "lf only", {"db"}},
                      PluginCase{"NoMarker", "db\r\nuin\r\n", "", {"db", "uin"}},
                      PluginCase{"NothingAfterMarker", "db\r\nTheEnd\r\n", "", {"db"}},
                      PluginCase{"EmptyFile", "", "", {}},
                      PluginCase{"EmptyEntriesSkipped",
                                 "\r\ndb\r\n\r\nuin\r\nTheEnd\r\nx\r\n",
                                 "x",
                                 {"db", "uin"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, EntriesAreReadFromTheHomeFolderWhereverTheCurrentDirectoryIs) {
  MakeFolder("elsewhere");
  WriteFile("home/back.dat", "home entry\r\nTheEnd\r\nx\r\n");
  WriteFile("elsewhere/back.dat", "wrong entry\r\nTheEnd\r\nx\r\n");
  ASSERT_TRUE(platform::SetCurrentDir("C:\\elsewhere"));
  EXPECT_EQ(app::ReadPluginEntries("C:\\home"), std::vector<std::string>{"home entry"});
}

TEST_F(AppTest, EntriesOfAMissingBackDatRaise) {
  EXPECT_THROW(app::ReadPluginEntries("C:\\home"), platform::EInOutError);
}

// --- Start-up errors ------------------------------------------------------------------

// A start-up error passes through before the screen is touched, so the window opens
// without the banner and with its selectors where they started.
void ExpectUntouched(const RecordingWindow& window) {
  EXPECT_EQ(window.lines, std::vector<std::string>{" design-time text"});
  EXPECT_EQ(window.ICQFolder(), "C:\\home");
  EXPECT_EQ(window.BackupFolder(), "C:\\home");
  EXPECT_EQ(window.BackupFolderText(), "C:\\Backup");
}

class UnreadablePrefTest : public AppTest, public ::testing::WithParamInterface<FileOp> {};

TEST_P(UnreadablePrefTest, RaisesAndSkipsTheRestOfStartup) {
  MakeFolder("ICQ");
  WriteFile("home/pref.cfg", "C:\\ICQ\r\nnone\r\n");
  platform::testing::FailNthOperation(1, GetParam());
  RecordingWindow window;
  window.lines = {" design-time text"};
  EXPECT_THROW(app::FormCreate(window), platform::EInOutError);
  ExpectUntouched(window);
  EXPECT_FALSE(Exists("home/back.dat"));  // ReadPlugin never ran
}

INSTANTIATE_TEST_SUITE_P(Faults, UnreadablePrefTest,
                         ::testing::Values(FileOp::kOpen, FileOp::kRead), [](const auto& info) {
                           return std::string(info.param == FileOp::kOpen ? "Open" : "Read");
                         });

TEST_F(AppTest, UnreadableBackDatRaisesBeforeTheBanner) {
  WriteFile("home/back.dat", "db\r\nTheEnd\r\nx\r\n");
  platform::testing::FailNthOperation(1, FileOp::kRead);
  RecordingWindow window;
  window.lines = {" design-time text"};
  EXPECT_THROW(app::FormCreate(window), platform::EInOutError);
  ExpectUntouched(window);
  EXPECT_EQ(ReadFile("home/back.dat"), "db\r\nTheEnd\r\nx\r\n");
}

TEST_F(AppTest, BackDatThatCannotBeCreatedRaises) {
  MakeFolder("home/back.dat");  // a folder in the way
  RecordingWindow window;
  window.lines = {" design-time text"};
  EXPECT_THROW(app::FormCreate(window), platform::EInOutError);
  ExpectUntouched(window);
}

TEST_F(AppTest, DefaultBackDatWriteFailureRaises) {
  for (FileOp op : {FileOp::kCreate, FileOp::kWrite, FileOp::kClose}) {
    platform::testing::ResetFaults();
    fs::remove(root_ / "home/back.dat");
    platform::testing::FailNthOperation(1, op);
    RecordingWindow window;
    EXPECT_THROW(app::FormCreate(window), platform::EInOutError) << static_cast<int>(op);
    EXPECT_TRUE(window.lines.empty());
  }
}

}  // namespace

namespace {

TEST(StartFolderTest, AFolderOnNoDriveIsRefusedWithTheFolderAndTheDrives) {
  const fs::path start = fs::current_path();
  const fs::path root = MakeScratchFolder("varn-start-");
  fs::create_directories(root / "c" / "home");
  fs::create_directories(root / "d");
  fs::create_directories(root / "outside");
  platform::InstallDriveTableForTests({{'C', (root / "c").string()}, {'D', (root / "d").string()}});

  fs::current_path(root / "outside");
  const std::optional<std::string> refusal = app::StartFolderRefusal();
  fs::current_path(root / "c" / "home");
  const std::optional<std::string> on_a_drive = app::StartFolderRefusal();
  fs::current_path(start);
  platform::InstallDriveTableForTests({});
  fs::remove_all(root);

  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(*refusal, "The folder " + (root / "outside").string() + " is on no drive (C: " +
                          (root / "c").string() + ", D: " + (root / "d").string() +
                          "). Start the program in a folder on one of the drives: it keeps "
                          "its settings there.");
  EXPECT_FALSE(on_a_drive.has_value()) << *on_a_drive;
}

}  // namespace
