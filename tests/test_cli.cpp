// torq32-cli: the terminal window on its own, then the built program run in a
// temporary home folder with its output compared to tests/cli/*.txt byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "platform/io_error.h"
#include "tests/program_run.h"
#include "tests/scratch_folder.h"
#include "tools/terminal_window.h"

namespace {

namespace fs = std::filesystem;
using app::TerminalWindow;

std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempFolder {
 public:
  TempFolder() { path_ = MakeScratchFolder("varn_cli-"); }
  ~TempFolder() {
    if (!path_.empty()) fs::remove_all(path_);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// --- The terminal window ------------------------------------------------------------

class TerminalWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    platform::InstallDriveTableForTests({{'C', temp_.path().string()}});
    fs::create_directory(temp_.path() / "home");
    fs::create_directory(temp_.path() / "store");
    ASSERT_TRUE(platform::SetCurrentDir("C:\\home"));
  }
  void TearDown() override { platform::InstallDriveTableForTests({}); }

  TempFolder temp_;
};

struct AnswerCase {
  const char* name;
  TerminalWindow::Answers answers;
  bool has_input;
  const char* typed;
  bool expected;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class TerminalAnswerTest : public TerminalWindowTest,
                           public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(TerminalAnswerTest, AnswersBothQuestionKinds) {
  const AnswerCase& c = GetParam();
  std::istringstream in(std::string(c.typed) + "\n" + c.typed + "\n");
  std::ostringstream prompts;
  TerminalWindow window(c.answers, c.has_input ? &in : nullptr, &prompts,
                        TerminalWindow::Progress::kNone, nullptr);
  EXPECT_EQ(window.ConfirmYesNo("Existing Backup Found !\r\rOverwrite files ?"), c.expected);
  EXPECT_EQ(window.WarnOkCancel("Warning", "Before proceeding"), c.expected);
  const bool asked = c.answers == TerminalWindow::Answers::kAsk && c.has_input;
  EXPECT_EQ(prompts.str().empty(), !asked) << prompts.str();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TerminalAnswerTest,
    ::testing::Values(AnswerCase{"YesFlag", TerminalWindow::Answers::kYes, true, "no", true},
                      AnswerCase{"NoFlag", TerminalWindow::Answers::kNo, true, "y", false},
                      AnswerCase{"NotATerminal", TerminalWindow::Answers::kAsk, false, "", false},
                      AnswerCase{"TypedY", TerminalWindow::Answers::kAsk, true, "y", true},
                      AnswerCase{"TypedYes", TerminalWindow::Answers::kAsk, true, "YES", true},
                      AnswerCase{"TypedOk", TerminalWindow::Answers::kAsk, true, "ok", true},
                      AnswerCase{"TypedNothing", TerminalWindow::Answers::kAsk, true, "", false},
                      AnswerCase{"TypedOther", TerminalWindow::Answers::kAsk, true, "yep", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TerminalWindowTest, AskedQuestionShowsCaptionAndTextOnLines) {
  std::istringstream in("y\n");
  std::ostringstream prompts;
  TerminalWindow window(TerminalWindow::Answers::kAsk, &in, &prompts,
                        TerminalWindow::Progress::kNone, nullptr);
  EXPECT_TRUE(window.WarnOkCancel("Warning", "First !\r\rSecond !"));
  EXPECT_EQ(prompts.str(), "Warning:\nFirst !\n\nSecond ! [y/N] ");
}

TEST_F(TerminalWindowTest, EndOfInputIsNo) {
  std::istringstream in("");
  std::ostringstream prompts;
  TerminalWindow window(TerminalWindow::Answers::kAsk, &in, &prompts,
                        TerminalWindow::Progress::kNone, nullptr);
  EXPECT_FALSE(window.ConfirmYesNo("Overwrite files ?"));
}

TEST_F(TerminalWindowTest, GaugeLinesOnlyWhenThePercentageChanges) {
  std::ostringstream progress;
  TerminalWindow window(TerminalWindow::Answers::kNo, nullptr, nullptr,
                        TerminalWindow::Progress::kLines, &progress);
  window.SetGauge(0);  // unchanged: nothing drawn
  window.SetGauge(50);
  window.SetGauge(50);
  window.SetGauge(250);
  window.SetGauge(-3);
  EXPECT_EQ(window.Gauge(), 0);
  EXPECT_EQ(progress.str(),
            " [##########..........]  50%\n"
            " [####################] 100%\n"
            " [....................]   0%\n");
}

TEST_F(TerminalWindowTest, RedrawnGaugeIsTakenOffAtTheEnd) {
  std::ostringstream progress;
  TerminalWindow window(TerminalWindow::Answers::kNo, nullptr, nullptr,
                        TerminalWindow::Progress::kRedraw, &progress);
  window.SetGauge(7);
  window.EndProgress();
  const std::string blank = "\r" + std::string(28, ' ') + "\r";
  EXPECT_EQ(progress.str(), "\r [#...................]   7%" + blank);
  window.EndProgress();  // nothing left to take off
  EXPECT_EQ(progress.str(), "\r [#...................]   7%" + blank);
}

// The time left: what the part done took since the action began, for the rest; none in
// the first seconds, when it would be a wild guess.
TEST_F(TerminalWindowTest, RedrawnGaugeTellsTheTimeLeft) {
  std::ostringstream progress;
  std::chrono::steady_clock::time_point now{};
  TerminalWindow window(TerminalWindow::Answers::kNo, nullptr, nullptr,
                        TerminalWindow::Progress::kRedraw, &progress, [&now] { return now; });
  now += std::chrono::hours(1);  // the window was made long before the action
  window.ClearScreen();
  now += std::chrono::seconds(1);
  window.SetGauge(10);
  now += std::chrono::seconds(29);
  window.SetGauge(25);
  now += std::chrono::seconds(60);
  window.SetGauge(100);
  window.EndProgress();
  // The last line covers the longer one before it with spaces; its own length is cleared.
  const std::string with_time = " [#####...............]  25%  1:30 left";
  const std::string full = " [####################] 100%";
  EXPECT_EQ(progress.str(), "\r [##..................]  10%\r" + with_time + "\r" + full +
                                std::string(with_time.size() - full.size(), ' ') + "\r" +
                                std::string(full.size(), ' ') + "\r");
}

// The data done goes before the time left, redrawn for the engine's blocks at most ten
// times a second, and counts from the action's start.
TEST_F(TerminalWindowTest, RedrawnGaugeTellsTheDataDone) {
  std::ostringstream progress;
  std::chrono::steady_clock::time_point now{};
  TerminalWindow window(TerminalWindow::Answers::kNo, nullptr, nullptr,
                        TerminalWindow::Progress::kRedraw, &progress, [&now] { return now; });
  now += std::chrono::hours(1);
  window.ClearScreen();
  window.SetGauge(10);
  window.CountBytes(1'250'000);
  now += std::chrono::milliseconds(150);
  window.CountBytes(1'250'000);
  window.CountBytes(1'000'000);
  now += std::chrono::seconds(3);
  window.SetGauge(20);
  const std::string last = " [####................]  20%  3.5 MB  0:12 left";
  window.ClearScreen();
  window.SetGauge(0);
  const std::string cleared = " [....................]   0%";
  EXPECT_EQ(progress.str(), "\r [##..................]  10%"
                            "\r [##..................]  10%  2.5 MB"
                            "\r" + last + "\r" + cleared +
                                std::string(last.size() - cleared.size(), ' '));
}

TEST_F(TerminalWindowTest, ScreenPrintsLinesAsTheActionLeftThem) {
  TerminalWindow window(TerminalWindow::Answers::kNo, nullptr, nullptr,
                        TerminalWindow::Progress::kNone, nullptr);
  window.AppendLine(" ");
  window.AppendLine(" Searching...");
  window.AppendLine(" Found!");
  window.DeleteLine(1);
  window.DeleteLine(7);
  std::ostringstream out;
  window.PrintScreen(out);
  EXPECT_EQ(out.str(), " \n Found!\n");
}

TEST_F(TerminalWindowTest, SelectorsMoveTheCurrentDirectoryAndTypingDoesNot) {
  TerminalWindow window(TerminalWindow::Answers::kNo, nullptr, nullptr,
                        TerminalWindow::Progress::kNone, nullptr);
  EXPECT_EQ(window.BackupFolderText(), "C:\\Backup");
  window.MoveBackupFolder("C:\\store");
  EXPECT_EQ(window.BackupFolder(), "C:\\store");
  EXPECT_EQ(window.BackupFolderText(), "C:\\store");
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\store");
  window.SetBackupFolderText("C:\\new");
  EXPECT_EQ(window.BackupFolder(), "C:\\store");
  window.MoveICQFolder("C:\\home");
  EXPECT_EQ(window.ICQFolder(), "C:\\home");
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\home");
  EXPECT_THROW(window.MoveICQFolder("C:\\missing"), platform::EInOutError);
  EXPECT_EQ(window.ICQFolder(), "C:\\home");
}

#ifndef _WIN32  // host paths are POSIX paths only on Linux; on Windows they are the drive paths
TEST_F(TerminalWindowTest, FolderArgumentsBecomeWindowsPaths) {
  const std::string root = temp_.path().string();
  EXPECT_EQ(app::WindowsPathArgument("D:\\ICQ", "/"), "D:\\ICQ");
  EXPECT_EQ(app::WindowsPathArgument("c:", "/"), "c:");
  EXPECT_EQ(app::WindowsPathArgument("\\\\server\\share", "/"), "\\\\server\\share");
  EXPECT_EQ(app::WindowsPathArgument(root + "/store", "/"), "C:\\store");
  EXPECT_EQ(app::WindowsPathArgument(root + "/store/", "/"), "C:\\store");
  EXPECT_EQ(app::WindowsPathArgument("store/../home", root), "C:\\home");
  EXPECT_EQ(app::WindowsPathArgument("not yet", root + "/store"), "C:\\store\\not yet");
  EXPECT_EQ(app::WindowsPathArgument("/", "/"), std::nullopt);  // no drive holds "/" here
}
#endif

// --- The program --------------------------------------------------------------------

// torq32-cli on the system's drive table without a Wine prefix (so C: is "/").
ProgramRun RunCli(const fs::path& cwd, const std::vector<std::string>& args) {
  return RunProgram(TORQ32_CLI, args, cwd, {{"WINEPREFIX", (cwd / "no-prefix").string()}});
}

std::string Expected(const char* name) { return ReadHostFile(fs::path(CLI_EXPECTED_DIR) / name); }

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(home_.path().empty()); }
  TempFolder home_;
};

struct OutputCase {
  const char* name;
  std::vector<std::string> args;
  const char* expected_file;
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

class CliOutputTest : public CliTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(CliOutputTest, PrintsTheScreenByteForByte) {
  const ProgramRun run = RunCli(home_.path(), GetParam().args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Expected(GetParam().expected_file));
  EXPECT_EQ(run.err, "");
  // The start-up ran in the current folder: back.dat was written there.
  EXPECT_TRUE(fs::is_regular_file(home_.path() / "back.dat"));
  EXPECT_FALSE(fs::exists(home_.path() / "pref.cfg"));
}

INSTANTIATE_TEST_SUITE_P(Subcommands, CliOutputTest,
                         ::testing::Values(OutputCase{"About", {"about"}, "about.txt"},
                                           OutputCase{"ReadMe", {"readme"}, "readme.txt"},
                                           OutputCase{"StartupScreen", {}, "banner.txt"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, HomeOptionNamesAnotherHomeFolder) {
  TempFolder elsewhere;
  std::ofstream(home_.path() / "back.dat", std::ios::binary) << "db\r\nTheEnd\r\n2003a\r\n";
  const ProgramRun run = RunCli(elsewhere.path(), {"--home", home_.path().string()});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string banner = Expected("banner.txt");
  banner.replace(banner.find("98b-2000b(P)"), 12, "2003a");
  EXPECT_EQ(run.out, banner);
  EXPECT_FALSE(fs::exists(elsewhere.path() / "back.dat"));
}

TEST_F(CliTest, ProgressOptionShowsTheGaugeOnStandardError) {
  const ProgramRun run = RunCli(home_.path(), {"--progress", "about"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Expected("about.txt"));
  EXPECT_EQ(run.err, " [####################] 100%\n");
}

TEST_F(CliTest, HelpListsEverySubcommand) {
  const ProgramRun run = RunCli(home_.path(), {"--help"});
  EXPECT_EQ(run.status, 0);
  for (const std::string name :
       {"about", "readme", "backup", "uins", "date", "search", "restore", "list", "verify"}) {
    EXPECT_NE(run.out.find("\n  " + name + " "), std::string::npos) << name;
  }
  EXPECT_NE(run.out.find("  about       show the About text\n"), std::string::npos);
  EXPECT_NE(run.out.find("  readme      show the Read Me text\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(home_.path() / "back.dat"));  // help runs no start-up
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsageTest, WrongCommandLinesExitWithTwo) {
  const ProgramRun run = RunCli(home_.path(), GetParam().args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("torq32-cli: ", 0), 0u) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, CliUsageTest,
    ::testing::Values(UsageCase{"UnknownSubcommand", {"frobnicate"}},
                      UsageCase{"TwoSubcommands", {"about", "readme"}},
                      UsageCase{"UnknownOption", {"--colour", "about"}},
                      UsageCase{"MissingFolder", {"about", "--icq"}},
                      UsageCase{"YesAndNo", {"--yes", "--no", "about"}},
                      UsageCase{"HomeMissing", {"--home", "/nonexistent/varn", "about"}},
                      UsageCase{"IcqMissing", {"--icq", "/nonexistent/varn", "about"}},
                      UsageCase{"OptionAfterTheEnd", {"--", "--yes", "about"}},
                      UsageCase{"ShortOptionUnknown", {"-x", "about"}},
                      UsageCase{"OnlyWithoutRestore", {"--only", "*.dat", "about"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, ConventionsOfTerminalTools) {
  for (const char* option : {"--version", "-V"}) {
    const ProgramRun run = RunCli(home_.path(), {option});
    EXPECT_EQ(run.status, 0) << option;
    EXPECT_EQ(run.out.rfind("torq32-cli (Varn ICQ Backup) ", 0), 0u) << run.out;
  }
  // Options after the subcommand, and "--" before it.
  ProgramRun run = RunCli(home_.path(), {"about", "--progress"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, " [####################] 100%\n");
  run = RunCli(home_.path(), {"--", "about"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Expected("about.txt"));
  run = RunCli(home_.path(), {"about", "--icq"});
  EXPECT_EQ(run.err.rfind("torq32-cli: --icq needs a folder\n", 0), 0u) << run.err;

#ifndef _WIN32  // /dev/full and a POSIX shell
  // A screen that cannot be written is a failure.
  for (const char* args : {"about", "--help"}) {
    const std::string command = "cd '" + home_.path().string() + "' && WINEPREFIX=/nonexistent '" +
                                TORQ32_CLI + "' " + args + " >/dev/full 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << args;
    EXPECT_EQ(WEXITSTATUS(status), 1) << args;
  }
#endif
}

TEST_F(CliTest, StartupErrorIsReportedWithExitOne) {
  fs::create_directory(home_.path() / "back.dat");  // cannot be written
  const ProgramRun run = RunCli(home_.path(), {"about"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("torq32-cli: ", 0), 0u) << run.err;
  EXPECT_GT(run.err.size(), std::string("torq32-cli: \n").size());
}

TEST_F(CliTest, FoldersMayBeGivenAsHostOrWindowsPaths) {
  fs::create_directory(home_.path() / "ICQ");
  const std::string icq = (home_.path() / "ICQ").string();
  EXPECT_EQ(RunCli(home_.path(), {"--icq", icq, "--backup", "not yet", "about"}).status, 0);
  EXPECT_EQ(RunCli(home_.path(), {"--icq=ICQ", "about"}).status, 0);
}

}  // namespace

#ifndef _WIN32  // a drive table from a Wine prefix is the Linux layer's
namespace {

// Drives from a Wine prefix whose only drive is a folder beside the one the program is
// started in: that folder lies on no drive.
TEST_F(CliTest, RefusesToStartInAFolderOnNoDrive) {
  const fs::path drive_c = home_.path() / "drive_c", outside = home_.path() / "outside";
  fs::create_directories(home_.path() / "prefix" / "dosdevices");
  fs::create_directories(drive_c);
  fs::create_directories(outside);
  fs::create_directory_symlink(drive_c, home_.path() / "prefix" / "dosdevices" / "c:");
  const Environment prefix = {{"WINEPREFIX", (home_.path() / "prefix").string()}};

  ProgramRun run = RunProgram(TORQ32_CLI, {"about"}, outside, prefix);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("The folder " + outside.string() +
                         " is on no drive (C: " + drive_c.string() + ")"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(fs::is_empty(drive_c));
  EXPECT_TRUE(fs::is_empty(outside));

  // --home names a folder on a drive: then the start folder does not matter.
  fs::create_directory(drive_c / "home");
  run = RunProgram(TORQ32_CLI, {"--home", "C:\\home", "about"}, outside, prefix);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_regular_file(drive_c / "home" / "back.dat"));
  EXPECT_TRUE(fs::is_empty(outside));
}

}  // namespace
#endif
