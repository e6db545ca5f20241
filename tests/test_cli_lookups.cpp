// torq32-cli uins, date and search: the built program run on drives of temporary
// folders (given to it as a Wine prefix), its output compared to tests/cli/*.txt. On
// Windows a child process sees the system's drives: there the program is given the
// sandbox's folders by their host paths, and the cases whose screens name a sandbox
// drive (the searches) are left out.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>

#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "drive_sandbox.h"
#include "tests/program_run.h"
#ifndef _WIN32
#include "tests/german_locales.h"
#endif

namespace {

namespace fs = std::filesystem;
std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Expected(const std::string& name) {
  return ReadHostFile(fs::path(CLI_EXPECTED_DIR) / name);
}

// Today as the C library writes it in the C locale: "05 Mar 2001".
std::string TodayInTheCLocale() {
  const std::time_t now = std::time(nullptr);
  char text[64];
#ifdef _WIN32
  // This program never changes its locale from "C".
  std::strftime(text, sizeof text, "%d %b %Y", std::localtime(&now));
#else
  std::tm local{};
  localtime_r(&now, &local);
  locale_t c_locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  strftime_l(text, sizeof text, "%d %b %Y", &local, c_locale);
  freelocale(c_locale);
#endif
  return text;
}

// The expected Check Date screen with "@TODAY@" filled in.
std::string ExpectedDateScreen(const std::string& name, const std::string& today) {
  std::string screen = Expected(name);
  const std::string mark = "@TODAY@";
  screen.replace(screen.find(mark), mark.size(), today);
  return screen;
}

class CliLookupTest : public ::testing::Test {
 protected:
  CliLookupTest() : drives_({'C', 'D'}) {
#ifndef _WIN32
    prefix_ = drives_.WriteWinePrefix();
#endif
    drives_.MakeFolder("C:\\home");
  }

  ProgramRun Run(const std::vector<std::string>& args, const std::string& lc_all = "C",
                 const std::string& locpath = "") {
    return RunProgram(TORQ32_CLI, args, drives_.Host("C:\\home"),
                      {{"WINEPREFIX", prefix_.string()}, {"LC_ALL", lc_all}, {"LOCPATH", locpath}});
  }

  // A sandbox path as the program in the child process names it: the same text where it
  // sees the sandbox's drives, the host path on Windows.
  std::string ChildPath(const std::string& windows_path) const {
#ifdef _WIN32
    return drives_.Host(windows_path).string();
#else
    return windows_path;
#endif
  }

  void WriteList(const std::string& folder, const std::string& bytes) {
    drives_.WriteFile(folder + "\\icqlist.txt", bytes);
  }

  static constexpr char kPrefs[] = "C:\\home\\pref.cfg";

  DriveSandbox drives_;
  fs::path prefix_;
};

TEST_F(CliLookupTest, UinsPrintsTheUINs) {
  WriteList("C:\\backup",
            "Total Files : 3\r\nuin***11111111.dat|||2048\r\nnewdb***1.dat|||10\r\n"
            "Uin\\old***22222222.idx|||512\r\n");
  const ProgramRun run = Run({"--backup", ChildPath("C:\\backup"), "uins"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Expected("uins.txt"));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(drives_.ReadFile(kPrefs), "none\r\n" + ChildPath("C:\\backup") + "\r\n");
}

TEST_F(CliLookupTest, UinsWithoutUINLinesReportsNone) {
  WriteList("C:\\backup", "Total Files : 0\r\n");
  const ProgramRun run = Run({"--backup", ChildPath("C:\\backup"), "uins"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Expected("uins_none.txt"));
  EXPECT_EQ(drives_.ReadFile(kPrefs), "none\r\n" + ChildPath("C:\\backup") + "\r\n");
}

// A folder that no drive holds, on the sandbox's drive C: or the system's.
TEST_F(CliLookupTest, DateWithoutAListReportsTheFolder) {
  const ProgramRun run = Run({"--backup", "C:\\nowhere\\", "date"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Expected("date_missing.txt"));
  EXPECT_FALSE(drives_.Exists(kPrefs));
}

// An empty text and one ending in a backslash reach the edit box as typed, as in the
// window: the action reports the empty text, and removes one backslash itself.
TEST_F(CliLookupTest, DateWithAnEmptyBackupTextReportsIt) {
  WriteList("C:\\home", "Total Files : 0\r\n");  // the current folder holds a list
  const ProgramRun run = Run({"--backup", "", "date"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Expected("date_empty.txt"));
  EXPECT_FALSE(drives_.Exists(kPrefs));
  EXPECT_EQ(Run({"--backup=", "date"}).out, Expected("date_empty.txt"));
}

TEST_F(CliLookupTest, BackupTextEndingInABackslashIsTheActionsToTrim) {
  WriteList("C:\\backup",
            "Total Files : 3\r\nuin***11111111.dat|||2048\r\nnewdb***1.dat|||10\r\n"
            "Uin\\old***22222222.idx|||512\r\n");
  // Kept as typed, letter case too: the list is found and the setting saved as given.
  std::string typed = ChildPath("C:\\backup");  // "c:\BACKUP"
  for (char& c : typed) c = static_cast<char>(std::toupper(c));
  typed[0] = static_cast<char>(std::tolower(typed[0]));
  ProgramRun run = Run({"--backup", typed + "\\", "uins"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Expected("uins.txt"));
  EXPECT_EQ(drives_.ReadFile(kPrefs), "none\r\n" + typed + "\r\n");
  // Only one backslash is the action's to remove.
  run = Run({"--backup", ChildPath("C:\\backup") + "\\\\", "date"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(drives_.ReadFile(kPrefs), "none\r\n" + ChildPath("C:\\backup") + "\\\r\n");
}

TEST_F(CliLookupTest, DateInTheCLocaleHasEnglishMonths) {
  WriteList("C:\\backup", "Total Files : 0\r\n");
  drives_.SetLocalTime("C:\\backup\\icqlist.txt", 2001, 3, 5, 10, 0, 0);
  const ProgramRun run = Run({"--backup", ChildPath("C:\\backup"), "date"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, ExpectedDateScreen("date_c.txt", TodayInTheCLocale()));
  EXPECT_EQ(drives_.ReadFile(kPrefs), "none\r\n" + ChildPath("C:\\backup") + "\r\n");
}

#ifndef _WIN32  // LC_TIME locales built with localedef; Windows has its own month names

// A German LC_TIME in either codeset, compiled into a private LOCPATH so that the
// system is left alone: the month names reach the screen in UTF-8 ("M\xc3\xa4r") both ways.
class CliGermanDateTest : public CliLookupTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(CliGermanDateTest, MonthNamesAreUtf8WhateverTheLocalesCodeset) {
  const fs::path locales = drives_.Root() / "locales";
  const std::string utf8 = BuildGermanLocale(locales, "UTF-8");
  const std::string tested = BuildGermanLocale(locales, GetParam());
  if (utf8.empty() || tested.empty()) {
    GTEST_SKIP() << "no German locale: localedef or its de_DE source is missing";
  }

  WriteList("C:\\backup", "Total Files : 0\r\n");
  drives_.SetLocalTime("C:\\backup\\icqlist.txt", 2001, 3, 5, 10, 0, 0);
  const ProgramRun run = Run({"--backup", "C:\\backup", "date"}, tested, locales.string());
  EXPECT_EQ(run.status, 0) << run.err;
  std::string expected = Expected("date_de.txt");
  const std::string mark = "@TODAY@";
  expected.replace(expected.find(mark), mark.size(), TodayInLocale(locales, utf8));
  EXPECT_EQ(run.out, expected);
}

INSTANTIATE_TEST_SUITE_P(Codesets, CliGermanDateTest, ::testing::Values("UTF-8", "ISO-8859-1"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::erase(name, '-');
                           return name;
                         });

#endif

#ifndef _WIN32  // the walk needs the sandbox's drives, which a child sees only on Linux
TEST_F(CliLookupTest, SearchWalksTheDrives) {
  drives_.WriteFile("D:\\Apps\\ICQ\\icq.exe", "MZ");
  const ProgramRun run = Run({"search"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Expected("search_walk.txt"));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(drives_.ReadFile(kPrefs), "d:\\Apps\\ICQ\r\nnone\r\n");
}

TEST_F(CliLookupTest, SearchStartsFromTheSavedSettingNotFromTheIcqOption) {
  drives_.WriteFile("D:\\ICQ\\icq.exe", "MZ");
  drives_.WriteFile("D:\\Other\\icq.exe", "MZ");
  drives_.WriteFile(kPrefs, "D:\\ICQ\r\nC:\\backup\r\n");
  const ProgramRun run = Run({"--icq", "D:\\Other", "search"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Expected("search_setting.txt"));
  EXPECT_EQ(drives_.ReadFile(kPrefs), "D:\\ICQ\r\nC:\\backup\r\n");
}

TEST_F(CliLookupTest, SearchWithoutICQReportsFailure) {
  drives_.MakeFolder("D:\\Games\\icq.exe");
  const ProgramRun run = Run({"search"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Expected("search_none.txt"));
  EXPECT_FALSE(drives_.Exists(kPrefs));
}

#endif

}  // namespace
