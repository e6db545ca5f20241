// The Windows-semantics layer on drive tables of temporary folders. Tests of what only
// the POSIX layer does (permission bits, links, pipes, names in two letter cases) are
// left out of the Windows build; tests/test_platform_win32.cpp holds the Windows side.
#include <gtest/gtest.h>
#include <stdlib.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/io_error.h"
#include "platform/text_file.h"
#include "scratch_folder.h"

namespace platform {
// Readable test names for the data-driven time cases.
void PrintTo(const LocalDateTime& t, std::ostream* os) {
  *os << t.year << '-' << t.month << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':'
      << t.second;
}
}  // namespace platform

namespace fs = std::filesystem;
using namespace platform;
using platform::testing::FileOp;

namespace {

// The host's own separator, which the layer's host paths use.
#ifdef _WIN32
constexpr char kHostSeparator = '\\';
#else
constexpr char kHostSeparator = '/';
#endif

// Drives C: and D: over two fresh temporary folders.
class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeScratchFolder("varn-platform-").string();
    c_ = root_ + kHostSeparator + "c";
    d_ = root_ + kHostSeparator + "d";
    fs::create_directory(c_);
    fs::create_directory(d_);
    InstallDriveTableForTests({{'C', c_}, {'D', d_}});
    platform::testing::ResetFaults();
  }

  void TearDown() override {
    platform::testing::ResetFaults();
    InstallDriveTableForTests({});
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Host path below C:'s root; "/" separates in `relative`.
  std::string Host(std::string relative) const {
    for (char& c : relative) {
      if (c == '/') c = kHostSeparator;
    }
    return c_ + kHostSeparator + relative;
  }

  // The names in a folder below C:'s root as the disk spells them, sorted.
  std::set<std::string> ListedNames(const std::string& relative) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(relative.empty() ? c_ : Host(relative))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  void MakeFile(const std::string& relative, const std::string& bytes = "") const {
    fs::create_directories(fs::path(Host(relative)).parent_path());
    std::ofstream(Host(relative), std::ios::binary) << bytes;
  }

  std::string ReadHost(const std::string& relative) const {
    std::ifstream in(Host(relative), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  std::string root_, c_, d_;
};

int CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EInOutError& error) {
    return error.ErrorCode();
  }
  return 0;
}

// --- EInOutError ---------------------------------------------------------------------

struct CodeText {
  int code;
  const char* text;
};

void PrintTo(const CodeText& row, std::ostream* os) { *os << row.code; }

class IoErrorTextTest : public ::testing::TestWithParam<CodeText> {};

TEST_P(IoErrorTextTest, CarriesCodeAndRuntimeText) {
  const CodeText row = GetParam();
  EXPECT_EQ(IoErrorText(row.code), row.text);
  try {
    RaiseIoError(row.code);
    FAIL() << "RaiseIoError returned";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), row.code);
    EXPECT_STREQ(error.what(), row.text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, IoErrorTextTest,
    ::testing::Values(CodeText{2, "File not found"}, CodeText{3, "Invalid filename"},
                      CodeText{4, "Too many open files"}, CodeText{5, "File access denied"},
                      CodeText{100, "Read beyond end of file"}, CodeText{101, "Disk full"},
                      CodeText{32, "I/O error 32"}, CodeText{183, "I/O error 183"}));

#ifndef _WIN32
TEST(IoError, PosixErrorsMapOntoWindowsCodes) {
  const std::vector<std::pair<int, int>> table = {
      {ENOENT, 2},   {ENOTDIR, 3},  {ENAMETOOLONG, 3}, {EMFILE, 4},     {ENFILE, 4},
      {EACCES, 5},   {EPERM, 5},    {EROFS, 5},        {EISDIR, 5},     {ENOSPC, 101},
      {EDQUOT, 101}, {EEXIST, 183}, {EBUSY, 32},       {ENOTEMPTY, 145}};
  for (const auto& [posix, windows] : table) {
    EXPECT_EQ(ErrorCodeFromErrno(posix), windows) << "errno " << posix;
  }
  EXPECT_NE(ErrorCodeFromErrno(EIO), 0);
}
#endif

TEST(IoError, OwnMessageKeepsCode) {
  EInOutError error(5, "custom");
  EXPECT_EQ(error.ErrorCode(), 5);
  EXPECT_STREQ(error.what(), "custom");
}

// --- Paths and drives ---------------------------------------------------------------

TEST_F(PlatformTest, CaseInsensitiveLookupFindsTheDisksSpelling) {
  MakeFile("Icq/ICQ.EXE", "x");
  fs::create_directories(Host("Icq/NewDB"));
  EXPECT_TRUE(FileExists("C:\\ICQ\\icq.exe"));
  EXPECT_EQ(GetAttributes("C:\\icq\\NEWDB"), faDirectory);
#ifndef _WIN32
  // Windows finds names in any case itself: its host paths keep the program's spelling.
  EXPECT_EQ(ToHostPath("C:\\icq\\icq.exe"), Host("Icq/ICQ.EXE"));
  EXPECT_EQ(ToHostPath("c:/ICQ/newdb"), Host("Icq/NewDB"));
  // Missing components stay as written.
  EXPECT_EQ(ToHostPath("C:\\ICQ\\Missing\\File.Txt"), Host("Icq/Missing/File.Txt"));
#endif
}

#ifndef _WIN32
TEST_F(PlatformTest, ExactSpellingWinsOverAnotherCase) {
  MakeFile("dir/a.txt", "lower");
  MakeFile("dir/A.TXT", "upper");
  EXPECT_EQ(ToHostPath("C:\\dir\\a.txt"), Host("dir/a.txt"));
  EXPECT_EQ(ToHostPath("C:\\dir\\A.TXT"), Host("dir/A.TXT"));
  // Neither spelling exact: the choice does not depend on the disk's listing order.
  EXPECT_EQ(ToHostPath("C:\\dir\\A.txt"), Host("dir/A.TXT"));
}
#endif

TEST_F(PlatformTest, CreatingInAnotherCaseUsesTheExistingEntry) {
  MakeFile("pref.cfg", "old");
  TextWriter writer("C:\\PREF.CFG", OpenMode::kCreate);
  writer.WriteLine("new");
  writer.Close();
  EXPECT_EQ(ReadHost("pref.cfg"), "new\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(c_), fs::directory_iterator()), 1);
}

TEST_F(PlatformTest, DriveRootsBothWays) {
  EXPECT_EQ(ToHostPath("C:"), c_);
  EXPECT_EQ(ToHostPath("C:\\"), c_);
  EXPECT_EQ(ToHostPath("d:/"), d_);
  EXPECT_EQ(ToWindowsPath(c_), "C:\\");
  EXPECT_EQ(ToWindowsPath(c_ + "/"), "C:\\");
  EXPECT_EQ(ToWindowsPath(d_ + "/Sub/file.txt"), "D:\\Sub\\file.txt");
  EXPECT_EQ(ToWindowsPath(root_), std::nullopt);
  EXPECT_EQ(ToWindowsPath(c_ + "x"), std::nullopt);  // a sibling that shares the prefix
  EXPECT_EQ(ToHostPath("E:\\x"), std::nullopt);
  EXPECT_EQ(ToHostPath("\\\\server\\share\\x"), std::nullopt);
  EXPECT_TRUE(DriveRootExists('c'));
  EXPECT_FALSE(DriveRootExists('E'));
  EXPECT_EQ(GetAttributes("C:"), faDirectory);
  EXPECT_EQ(GetAttributes("C:\\"), faDirectory);
}

TEST_F(PlatformTest, HostPathGoesToTheDriveWithTheLongestRoot) {
  fs::create_directories(c_ + "/mnt/usb");
  InstallDriveTableForTests({{'C', c_}, {'D', c_ + "/mnt/usb/"}});
  EXPECT_EQ(ToWindowsPath(c_ + "/mnt/usb/x"), "D:\\x");
  EXPECT_EQ(ToWindowsPath(c_ + "/mnt/usb"), "D:\\");
  EXPECT_EQ(ToWindowsPath(c_ + "/mnt"), "C:\\mnt");
  EXPECT_EQ(ToWindowsPath(c_ + "/mnt/./usb/../usb/y"), "D:\\y");
}

// Names are UTF-8 bytes: only the 52 ASCII letters fold, whatever the process locale,
// so a byte of a multi-byte character never turns into another.
TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  for (int value = 0; value < 256; ++value) {
    const char c = static_cast<char>(value);
    const bool lower = value >= 'a' && value <= 'z';
    const bool upper = value >= 'A' && value <= 'Z';
    EXPECT_EQ(AsciiUpper(c), lower ? static_cast<char>(value - 32) : c) << value;
    EXPECT_EQ(AsciiLower(c), upper ? static_cast<char>(value + 32) : c) << value;
  }
  EXPECT_EQ(AsciiUpper("icqÃ¤.exe"), "ICQÃ¤.EXE");
  EXPECT_EQ(AsciiLower("ICQÃ.EXE"), "icqÃ.exe");
  EXPECT_TRUE(EqualIgnoringAsciiCase("IcqList.TXT", "icqlist.txt"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("\xc3\xa4", "\xc3\x84"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("icq", "icq "));
  EXPECT_FALSE(EqualIgnoringAsciiCase("[", "{"));  // 0x5B and 0x7B differ by 32 too
}

TEST(DriveNumber, FirstLetterCaseInsensitive) {
  EXPECT_EQ(DriveNumberOfPath("A:\\"), 1);
  EXPECT_EQ(DriveNumberOfPath("c:\\icq"), 3);
  EXPECT_EQ(DriveNumberOfPath("Z:"), 26);
  EXPECT_EQ(DriveNumberOfPath("\\\\server\\share"), 0);
  EXPECT_EQ(DriveNumberOfPath(""), 0);
}

struct Expansion {
  const char* name;
  const char* full;
};

void PrintTo(const Expansion& row, std::ostream* os) { *os << '"' << row.name << '"'; }

class ExpandFileNameTest : public PlatformTest, public ::testing::WithParamInterface<Expansion> {};

TEST_P(ExpandFileNameTest, FoldsAgainstCurrentDirectory) {
  fs::create_directories(Host("ICQ/newdb"));
  ASSERT_TRUE(SetCurrentDir("C:\\ICQ"));
  EXPECT_EQ(ExpandFileName(GetParam().name), GetParam().full) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExpandFileNameTest,
    ::testing::Values(Expansion{"newdb", "C:\\ICQ\\newdb"}, Expansion{".", "C:\\ICQ"},
                      Expansion{"..", "C:\\"}, Expansion{"..\\..\\..\\x", "C:\\x"},
                      Expansion{".\\newdb\\..\\pref.cfg", "C:\\ICQ\\pref.cfg"},
                      Expansion{"\\Backup", "C:\\Backup"}, Expansion{"C:", "C:\\"},
                      Expansion{"C:\\", "C:\\"}, Expansion{"d:", "d:\\"},
                      Expansion{"C:/a/./b/../c", "C:\\a\\c"},
                      Expansion{"C:\\a\\\\b\\", "C:\\a\\b\\"}, Expansion{"D:\\x\\..\\..", "D:\\"},
                      Expansion{"\\\\srv\\share\\a\\..\\..\\b", "\\\\srv\\share\\b"},
                      Expansion{"", ""}));

TEST_F(PlatformTest, CurrentDirectoryIsTheLayersOwn) {
  fs::create_directories(Host("Icq/NewDB"));
  MakeFile("Icq/icq.exe");
  EXPECT_EQ(GetCurrentDir(), "C:\\");
  ASSERT_TRUE(SetCurrentDir("c:\\icq\\newdb"));
  EXPECT_EQ(GetCurrentDir(), "C:\\Icq\\NewDB");  // the disk's spelling
  EXPECT_TRUE(FileExists("..\\ICQ.EXE"));
  ChangeDir("..");
  EXPECT_EQ(GetCurrentDir(), "C:\\Icq");
  ASSERT_TRUE(SetCurrentDir("D:"));
  EXPECT_EQ(GetCurrentDir(), "D:\\");

  EXPECT_FALSE(SetCurrentDir("C:\\nowhere"));
  EXPECT_FALSE(SetCurrentDir("C:\\Icq\\icq.exe"));
  EXPECT_FALSE(SetCurrentDir("\\\\server\\share"));
  EXPECT_FALSE(SetCurrentDir("Q:\\"));
  EXPECT_EQ(GetCurrentDir(), "D:\\");
  EXPECT_EQ(CodeOf([] { ChangeDir("C:\\nowhere"); }), kInvalidFilename);
}

TEST_F(PlatformTest, FolderTheHookMakesUnenterable) {
  fs::create_directories(Host("locked"));
  platform::testing::HoldOpen("C:\\LOCKED");
  EXPECT_FALSE(SetCurrentDir("C:\\locked"));
  EXPECT_EQ(CodeOf([] { ChangeDir("C:\\locked"); }), kAccessDenied);
  platform::testing::Release("C:\\locked");
  EXPECT_TRUE(SetCurrentDir("C:\\locked"));

  ASSERT_TRUE(SetCurrentDir("C:\\"));
  platform::testing::FailNthOperation(1, FileOp::kOpen, 21);
  EXPECT_EQ(CodeOf([] { ChangeDir("C:\\locked"); }), 21);
  EXPECT_EQ(GetCurrentDir(), "C:\\");
}

#ifndef _WIN32
TEST_F(PlatformTest, SystemTableFromMountsSkipsVirtualFileSystemsAndFiles) {
  fs::create_directories(root_ + "/mnt/usb stick");
  fs::create_directories(root_ + "/media/disk");
  fs::create_directories(root_ + "/run/tmp");
  MakeFile("hosts");
  const std::string mounts =
      "proc /proc proc rw 0 0\n"
      "/dev/sda1 / ext4 rw 0 0\n"
      "/dev/sdc1 " +
      root_ +
      "/mnt/usb\\040stick vfat rw 0 0\n"
      "tmpfs " +
      root_ +
      "/run/tmp tmpfs rw 0 0\n"
      "/dev/sdb1 " +
      root_ +
      "/media/disk ext4 rw 0 0\n"
      "/dev/sda1 " +
      Host("hosts") +
      " ext4 rw 0 0\n"
      "/dev/sdb1 " +
      root_ +
      "/media/disk ext4 rw 0 0\n"
      "/dev/loop0 " +
      root_ + "/missing squashfs ro 0 0\n";
  const std::vector<DriveMapping> table = DriveTableFromMounts(mounts);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].letter, 'C');
  EXPECT_EQ(table[0].host_root, "/");
  EXPECT_EQ(table[1].letter, 'D');
  EXPECT_EQ(table[1].host_root, root_ + "/media/disk");
  EXPECT_EQ(table[2].letter, 'E');
  EXPECT_EQ(table[2].host_root, root_ + "/mnt/usb stick");
}

TEST_F(PlatformTest, SystemTableFromWinePrefix) {
  const std::string prefix = fs::canonical(root_).string() + "/wine";
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(prefix + "/drive_c/windows");
  fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
  fs::create_directory_symlink("/", prefix + "/dosdevices/z:");
  fs::create_symlink("/dev/sr0", prefix + "/dosdevices/d::");
  fs::create_directory_symlink(root_ + "/absent", prefix + "/dosdevices/e:");
  fs::create_symlink("/dev/ttyS0", prefix + "/dosdevices/com1");

  auto table = DriveTableFromWinePrefix(prefix);
  ASSERT_TRUE(table.has_value());
  ASSERT_EQ(table->size(), 3u);
  EXPECT_EQ((*table)[0].letter, 'C');
  EXPECT_EQ((*table)[0].host_root, fs::canonical(prefix + "/drive_c").string());
  EXPECT_EQ((*table)[1].letter, 'E');
  EXPECT_EQ((*table)[2].letter, 'Z');
  EXPECT_EQ((*table)[2].host_root, "/");
  EXPECT_FALSE(DriveTableFromWinePrefix(root_ + "/no-prefix").has_value());

  // The prefix is what the layer reads when no test table is installed.
  const char* saved = std::getenv("WINEPREFIX");
  const std::string saved_value = saved ? saved : "";
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  InstallDriveTableForTests({});
  EXPECT_EQ(ToWindowsPath(prefix + "/drive_c/windows"), "C:\\windows");
  EXPECT_EQ(ToWindowsPath("/etc"), "Z:\\etc");
  EXPECT_TRUE(DriveRootExists('C'));
  EXPECT_FALSE(DriveRootExists('E'));
  if (saved) {
    ::setenv("WINEPREFIX", saved_value.c_str(), 1);
  } else {
    ::unsetenv("WINEPREFIX");
  }
  InstallDriveTableForTests({});
}

#endif

TEST(SamePathText, IgnoresCaseAndSeparatorKind) {
  EXPECT_TRUE(SamePathText("C:\\ICQ\\NewDB", "c:/icq/newdb"));
  EXPECT_FALSE(SamePathText("C:\\ICQ", "C:\\ICQ2"));
  EXPECT_FALSE(SamePathText("C:\\ICQ\\a", "C:\\ICQ\\b"));
}

// --- Times --------------------------------------------------------------------------

#ifndef _WIN32
// A zone with daylight saving time that needs no zone files.
class DosTimeTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    const char* tz = std::getenv("TZ");
    had_tz_ = tz != nullptr;
    if (had_tz_) saved_tz_ = tz;
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
  }
  void TearDown() override {
    if (had_tz_) {
      ::setenv("TZ", saved_tz_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
    PlatformTest::TearDown();
  }

  static long long LocalSeconds(const LocalDateTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm));
  }

  void SetHostMtime(const std::string& relative, long long seconds) const {
    const struct timespec times[2] = {{static_cast<time_t>(seconds), 0},
                                      {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Host(relative).c_str(), times, 0), 0);
  }

  long long HostMtime(const std::string& relative) const {
    struct stat st;
    EXPECT_EQ(::stat(Host(relative).c_str(), &st), 0);
    return static_cast<long long>(st.st_mtim.tv_sec);
  }

  bool had_tz_ = false;
  std::string saved_tz_;
};

#endif

TEST(DosTime, BitLayout) {
  // 2001-02-03 04:05:06: year 21, month 2, day 3; hour 4, minute 5, 3 two-second units.
  const std::uint32_t packed = (21u << 25) | (2u << 21) | (3u << 16) | (4u << 11) | (5u << 5) | 3u;
  EXPECT_EQ(PackDosTime({2001, 2, 3, 4, 5, 6}), packed);
  EXPECT_EQ(PackDosTime({2001, 2, 3, 4, 5, 7}), packed);  // odd seconds round down
  const LocalDateTime t = UnpackDosTime(packed);
  EXPECT_EQ(t.year, 2001);
  EXPECT_EQ(t.month, 2);
  EXPECT_EQ(t.day, 3);
  EXPECT_EQ(t.hour, 4);
  EXPECT_EQ(t.minute, 5);
  EXPECT_EQ(t.second, 6);
  EXPECT_EQ(PackDosTime({1970, 1, 1, 0, 0, 0}) >> 25, 0u);
  EXPECT_EQ(PackDosTime({2200, 1, 1, 0, 0, 0}) >> 25, 127u);
  EXPECT_TRUE(IsValidDosTime(packed));
  EXPECT_FALSE(IsValidDosTime(0));                                    // month 0, day 0
  EXPECT_FALSE(IsValidDosTime(PackDosTime({2001, 2, 29, 0, 0, 0})));  // no leap year
  EXPECT_TRUE(IsValidDosTime(PackDosTime({2004, 2, 29, 0, 0, 0})));
  EXPECT_FALSE(IsValidDosTime(PackDosTime({2004, 1, 1, 24, 0, 0})));
}

#ifndef _WIN32
class DosTimeRoundTrip : public DosTimeTest, public ::testing::WithParamInterface<LocalDateTime> {};

TEST_P(DosTimeRoundTrip, LocalTimeAtTwoSecondResolution) {
  const LocalDateTime when = GetParam();
  LocalDateTime even = when;
  even.second -= even.second % 2;
  MakeFile("f.dat", "data");

  SetHostMtime("f.dat", LocalSeconds(when));
  EXPECT_EQ(GetFileDosTime("C:\\F.DAT"), PackDosTime(even));

  SetHostMtime("f.dat", 0);
  ASSERT_EQ(SetFileDosTime("C:\\f.dat", PackDosTime(when)), 0);
  EXPECT_EQ(HostMtime("f.dat"), LocalSeconds(even));
  EXPECT_EQ(GetFileDosTime("C:\\f.dat"), PackDosTime(even));

  File file = File::Open("C:\\f.dat", OpenMode::kReadWrite);
  file.SetDosTime(PackDosTime(when));
  EXPECT_EQ(file.DosTime(), PackDosTime(even));
  file.Close();
  EXPECT_EQ(HostMtime("f.dat"), LocalSeconds(even));
}

INSTANTIATE_TEST_SUITE_P(Times, DosTimeRoundTrip,
                         ::testing::Values(LocalDateTime{1980, 1, 1, 0, 0, 0},
                                           LocalDateTime{1999, 12, 31, 23, 59, 59},
                                           LocalDateTime{2004, 2, 29, 12, 34, 56},
                                           LocalDateTime{2023, 7, 15, 23, 59, 59},  // summer
                                           LocalDateTime{2023, 1, 15, 8, 0, 1},     // winter
                                           LocalDateTime{2107, 12, 31, 23, 59, 58}));

TEST_F(DosTimeTest, OutsideTheDosRange) {
  MakeFile("old.dat");
  SetHostMtime("old.dat", LocalSeconds({1975, 6, 1, 12, 0, 0}));
  EXPECT_EQ(GetFileDosTime("C:\\old.dat"), PackDosTime({1980, 1, 1, 0, 0, 0}));
  File file = File::Open("C:\\old.dat", OpenMode::kRead);
  EXPECT_EQ(file.DosTime(), std::nullopt);
  EXPECT_EQ(TryDosTimeFromUnix(LocalSeconds({2108, 1, 1, 0, 0, 0})), std::nullopt);
  EXPECT_EQ(DosTimeFromUnix(LocalSeconds({2108, 1, 1, 0, 0, 0})),
            PackDosTime({2107, 12, 31, 23, 59, 58}));
  EXPECT_EQ(SetFileDosTime("C:\\old.dat", 0), kInvalidParameter);
  EXPECT_EQ(GetFileDosTime("C:\\missing.dat"), std::nullopt);
}

// The hour that daylight saving time repeats is taken at its first time, the hour it
// skips at the offset before it; month 13 carries over into the next year.
TEST_F(DosTimeTest, LocalTimesAroundTheChangesOfDaylightSavingTime) {
  EXPECT_EQ(UnixFromDosTime(PackDosTime({2023, 10, 29, 2, 30, 0})), 1698539400);  // 00:30 UTC
  EXPECT_EQ(UnixFromDosTime(PackDosTime({2023, 3, 26, 2, 30, 0})), 1679794200);   // 01:30 UTC
  EXPECT_EQ(UnixFromDosTime(PackDosTime({2023, 13, 1, 0, 0, 0})),
            UnixFromDosTime(PackDosTime({2024, 1, 1, 0, 0, 0})));
}

#endif

TEST(Clock, MonthNames) {
  const auto& names = ShortMonthNames();
  std::set<std::string> distinct(names.begin(), names.end());
  EXPECT_EQ(distinct.size(), 12u);
  EXPECT_EQ(&names, &ShortMonthNames());  // read once
}

// --- Attributes and read-only files ---------------------------------------------------

#ifndef _WIN32
TEST_F(PlatformTest, AttributesOfEntries) {
  MakeFile("plain.txt");
  MakeFile(".hidden");
  fs::create_directories(Host("folder"));
  EXPECT_EQ(GetAttributes("C:\\plain.txt"), faArchive);
  EXPECT_EQ(GetAttributes("C:\\.HIDDEN"), faArchive | faHidden);
  EXPECT_EQ(GetAttributes("C:\\folder"), faDirectory);
  EXPECT_EQ(GetAttributes("C:\\missing"), std::nullopt);
  ASSERT_EQ(::mkfifo(Host("pipe").c_str(), 0644), 0);
  EXPECT_EQ(GetAttributes("C:\\pipe"), faSysFile);
  EXPECT_FALSE(FileExists("C:\\pipe"));
  EXPECT_FALSE(FileExists("C:\\folder"));
}
#endif

TEST_F(PlatformTest, ReadOnlyRoundTripAndRefusalsEvenForRoot) {
  MakeFile("ro.dat", "keep");
  MakeFile("other.dat", "other");
  ASSERT_EQ(SetAttributes("C:\\RO.DAT", faReadOnly | faArchive), 0);
#ifndef _WIN32
  EXPECT_EQ(fs::status(Host("ro.dat")).permissions() &
                (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
            fs::perms::none);
#endif
  EXPECT_EQ(GetAttributes("C:\\ro.dat"), faReadOnly | faArchive);

  File file;
  EXPECT_EQ(File::TryOpen("C:\\ro.dat", OpenMode::kReadWrite, &file), kAccessDenied);
  EXPECT_EQ(File::TryOpen("C:\\ro.dat", OpenMode::kCreate, &file), kAccessDenied);
  EXPECT_EQ(File::TryOpen("C:\\ro.dat", OpenMode::kAppend, &file), kAccessDenied);
  EXPECT_EQ(CodeOf([] { TextWriter("C:\\ro.dat", OpenMode::kCreate); }), kAccessDenied);
  EXPECT_EQ(DeleteFile("C:\\ro.dat"), kAccessDenied);
  EXPECT_EQ(RenameFile("C:\\other.dat", "C:\\ro.dat", true), kAccessDenied);
  EXPECT_EQ(RenameFile("C:\\other.dat", "C:\\ro.dat", false), kAlreadyExists);
  EXPECT_EQ(ReadHost("ro.dat"), "keep");
  ASSERT_EQ(File::TryOpen("C:\\ro.dat", OpenMode::kRead, &file), 0);
  file.Close();

  ASSERT_EQ(SetAttributes("C:\\ro.dat", faArchive), 0);
  EXPECT_EQ(GetAttributes("C:\\ro.dat"), faArchive);
  EXPECT_EQ(RenameFile("C:\\other.dat", "C:\\ro.dat", true), 0);
  EXPECT_EQ(ReadHost("ro.dat"), "other");
  EXPECT_EQ(DeleteFile("C:\\ro.dat"), 0);
  EXPECT_EQ(SetAttributes("C:\\ro.dat", faArchive), kFileNotFound);
}

// --- Files and folders ----------------------------------------------------------------

TEST_F(PlatformTest, FolderAndFileErrorCodes) {
  EXPECT_EQ(CreateFolder("C:\\NewDB"), 0);
  EXPECT_EQ(CreateFolder("C:\\newdb"), kAlreadyExists);
  EXPECT_EQ(CreateFolder("C:\\a\\b"), kInvalidFilename);
  EXPECT_EQ(CreateFolder("\\\\server\\share\\x"), kInvalidFilename);
  EXPECT_EQ(DeleteFile("C:\\missing.txt"), kFileNotFound);
  EXPECT_EQ(DeleteFile("C:\\nofolder\\missing.txt"), kInvalidFilename);
  EXPECT_EQ(DeleteFile("C:\\newdb"), kAccessDenied);
  EXPECT_EQ(RenameFile("C:\\missing", "C:\\x", false), kFileNotFound);
  EXPECT_EQ(CodeOf([] { File::Open("C:\\missing.txt", OpenMode::kRead); }), kFileNotFound);
  EXPECT_EQ(CodeOf([] { File::Open("C:\\nofolder\\x", OpenMode::kCreate); }), kInvalidFilename);
  EXPECT_EQ(CodeOf([] { File::Open("C:\\NEWDB", OpenMode::kRead); }), kAccessDenied);
  EXPECT_EQ(CodeOf([] { File::Open("Q:\\x", OpenMode::kRead); }), kInvalidFilename);
  EXPECT_EQ(FlushFolder("C:\\newdb"), 0);
  EXPECT_EQ(GetFileSize("C:\\newdb"), std::nullopt);
}

#ifndef _WIN32
// Identity, not spelling: a link, a hard link and a drive letter onto another drive's
// folder all name the file itself; equal texts for missing files name no file.
TEST_F(PlatformTest, SameFileByDeviceAndInode) {
  MakeFile("ICQ/a.dat", "a");
  MakeFile("ICQ/b.dat", "a");
  fs::create_symlink("a.dat", Host("ICQ/link.dat"));
  fs::create_hard_link(Host("ICQ/a.dat"), Host("ICQ/hard.dat"));
  fs::create_directory_symlink(Host("ICQ"), Host("icq-link"));
  InstallDriveTableForTests({{'C', c_}, {'D', d_}, {'Z', root_}});
  EXPECT_TRUE(SameFile("C:\\ICQ\\a.dat", "c:\\icq\\A.DAT"));
  EXPECT_TRUE(SameFile("C:\\ICQ\\a.dat", "C:\\ICQ\\link.dat"));
  EXPECT_TRUE(SameFile("C:\\ICQ\\hard.dat", "C:\\ICQ\\a.dat"));
  EXPECT_TRUE(SameFile("Z:\\c\\ICQ\\a.dat", "C:\\ICQ\\a.dat"));
  EXPECT_TRUE(SameFile("C:\\icq-link\\a.dat", "C:\\ICQ\\a.dat"));
  EXPECT_TRUE(SameFile("C:\\ICQ", "Z:\\c\\icq-link"));
  EXPECT_TRUE(SameFile("C:\\ICQ\\.", "C:\\ICQ"));
  EXPECT_FALSE(SameFile("C:\\ICQ\\a.dat", "C:\\ICQ\\b.dat"));  // equal content only
  EXPECT_FALSE(SameFile("C:\\ICQ\\none.dat", "C:\\ICQ\\none.dat"));
  EXPECT_FALSE(SameFile("C:\\ICQ\\a.dat", "\\\\server\\share\\a.dat"));
  fs::create_symlink("gone.dat", Host("ICQ/dangling.dat"));
  EXPECT_FALSE(SameFile("C:\\ICQ\\dangling.dat", "C:\\ICQ\\dangling.dat"));

  EXPECT_TRUE(IsLink("C:\\ICQ\\link.dat"));
  EXPECT_TRUE(IsLink("C:\\ICQ\\dangling.dat"));
  EXPECT_TRUE(IsLink("C:\\icq-link"));
  EXPECT_FALSE(IsLink("C:\\ICQ\\hard.dat"));
  EXPECT_FALSE(IsLink("C:\\icq-link\\a.dat"));
  EXPECT_FALSE(IsLink("C:\\ICQ\\none.dat"));
}
#endif

// No host name holds a NUL byte: a name with one is invalid everywhere, never cut short
// onto the file named by its first part.
TEST_F(PlatformTest, NameWithANulByteIsInvalid) {
  MakeFile("a.txt", "keep");
  const std::string name("C:\\a.txt\0.lzz", 13);
  File file;
  EXPECT_EQ(File::TryOpen(name, OpenMode::kCreate, &file), kInvalidFilename);
  EXPECT_EQ(File::TryOpen(name, OpenMode::kRead, &file), kInvalidFilename);
  EXPECT_FALSE(FileExists(name));
  EXPECT_EQ(GetAttributes(name), std::nullopt);
  EXPECT_EQ(GetFileSize(name), std::nullopt);
  EXPECT_EQ(ToHostPath(name), std::nullopt);
  EXPECT_EQ(DeleteFile(name), kInvalidFilename);
  EXPECT_EQ(SetAttributes(name, faReadOnly), kInvalidFilename);
  EXPECT_EQ(RenameFile("C:\\a.txt", name, true), kInvalidFilename);
  EXPECT_EQ(ReadHost("a.txt"), "keep");
  EXPECT_EQ(GetAttributes("C:\\a.txt"), faArchive);
}

#ifndef _WIN32
TEST_F(PlatformTest, PipeIsRefusedWithoutWaitingForAWriter) {
  ASSERT_EQ(::mkfifo(Host("pipe").c_str(), 0644), 0);
  EXPECT_EQ(CodeOf([] { File::Open("C:\\pipe", OpenMode::kRead); }), kAccessDenied);
  EXPECT_EQ(CodeOf([] { File::Open("C:\\pipe", OpenMode::kCreate); }), kAccessDenied);
}
#endif

TEST_F(PlatformTest, RenameReplacesOrRefusesAndChangesCase) {
  MakeFile("icq.tmp", "new");
  MakeFile("data.dat", "old");
  EXPECT_EQ(RenameFile("C:\\icq.tmp", "C:\\DATA.DAT", false), kAlreadyExists);
  EXPECT_EQ(RenameFile("C:\\icq.tmp", "C:\\DATA.DAT", true), 0);
  EXPECT_EQ(ReadHost("data.dat"), "new");
  EXPECT_FALSE(fs::exists(Host("icq.tmp")));

  EXPECT_EQ(RenameFile("C:\\data.dat", "C:\\Data.Dat", false), 0);
#ifdef _WIN32
  // The spelling is the file system's to change (Wine keeps the old one): one file stays.
  EXPECT_EQ(ListedNames("").size(), 1u);
#else
  EXPECT_EQ(ListedNames(""), (std::set<std::string>{"Data.Dat"}));
#endif

  fs::create_directories(Host("sub"));
  EXPECT_EQ(RenameFile("C:\\Data.Dat", "C:\\SUB", true), kAccessDenied);
  EXPECT_EQ(RenameFile("C:\\Data.Dat", "C:\\sub\\moved.dat", false), 0);
  EXPECT_EQ(RenameFile("C:\\sub\\moved.dat", "C:\\none\\x.dat", false), kInvalidFilename);
}

TEST_F(PlatformTest, FileReadWriteSeekTruncate) {
  File file = File::Open("C:\\f.bin", OpenMode::kCreate);
  file.Write("abcdefgh", 8);
  EXPECT_EQ(file.Position(), 8);
  EXPECT_EQ(file.Size(), 8);
  file.Seek(2);
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "cde");
  file.Truncate();
  EXPECT_EQ(file.Size(), 5);
  file.Seek(0);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 5u);  // short only at the end
  EXPECT_EQ(CodeOf([&] { file.Seek(-1); }), 131);
  file.Flush();
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(CodeOf([&] { file.Read(buffer, 1); }), kFileNotOpen);
  EXPECT_EQ(CodeOf([&] { file.Close(); }), kFileNotOpen);
  EXPECT_EQ(GetFileSize("C:\\F.BIN"), 5);

  File append = File::Open("C:\\f.bin", OpenMode::kAppend);
  append.Write("XY", 2);
  append.Close();
  EXPECT_EQ(ReadHost("f.bin"), "abcdeXY");

  File reader = File::Open("C:\\f.bin", OpenMode::kRead);
  EXPECT_NE(CodeOf([&] { reader.Write("z", 1); }), 0);
  EXPECT_EQ(CodeOf([&] { reader.Truncate(); }), kAccessDenied);
  File moved = std::move(reader);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_TRUE(moved.IsOpen());
}

// --- Text files -------------------------------------------------------------------------

struct TextCase {
  const char* label;
  std::string bytes;
  std::vector<std::string> lines;
};

void PrintTo(const TextCase& text_case, std::ostream* os) { *os << text_case.label; }

class TextReaderTest : public PlatformTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextReaderTest, LineEnds) {
  MakeFile("t.txt", GetParam().bytes);
  TextReader reader("C:\\T.TXT");
  std::vector<std::string> lines;
  std::string line;
  while (reader.ReadLine(line)) lines.push_back(line);
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.ReadLine(line));
  EXPECT_EQ(line, "");
  reader.Close();
  EXPECT_EQ(lines, GetParam().lines);
}

std::string CrAtChunkEnd() {
  std::string bytes(65535, 'x');
  return bytes + "\r\nnext";
}

INSTANTIATE_TEST_SUITE_P(
    Files, TextReaderTest,
    ::testing::Values(
        TextCase{"Empty", "", {}}, TextCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
        TextCase{"Lf", "a\nb\n", {"a", "b"}},
        TextCase{"NoFinalEnd", "Total Files : 2\r\nlast", {"Total Files : 2", "last"}},
        TextCase{"EmptyLines", "\r\n\na\r\n\r\n", {"", "", "a", ""}},
        TextCase{"LoneCr", "a\rb", {"a", "b"}},
        TextCase{"CrLfAcrossChunks", CrAtChunkEnd(), {std::string(65535, 'x'), "next"}},
        TextCase{"LongLine", std::string(200000, 'y') + "\n", {std::string(200000, 'y')}}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return info.param.label; });

TEST_F(PlatformTest, TextWriterEndsLinesWithCrLfAndAppends) {
  {
    TextWriter writer("C:\\list.tmp", OpenMode::kCreate);
    writer.WriteLine("one");
    writer.WriteLine("");
    writer.Close();
  }
  {
    TextWriter writer("C:\\LIST.TMP", OpenMode::kAppend);
    writer.WriteLine("two");
    // Dropped without Close: what it holds is still written.
  }
  EXPECT_EQ(ReadHost("list.tmp"), "one\r\n\r\ntwo\r\n");
  EXPECT_THROW(TextWriter("C:\\list.tmp", OpenMode::kRead), std::invalid_argument);
  EXPECT_EQ(CodeOf([] { TextWriter("C:\\missing.tmp", OpenMode::kAppend); }), kFileNotFound);
}

// --- Directory searches -------------------------------------------------------------------

std::vector<std::string> SearchNames(const std::string& pattern, std::uint32_t mask,
                                     int* first_code = nullptr) {
  DirectorySearch search;
  SearchRec rec;
  std::vector<std::string> names;
  int code = search.FindFirst(pattern, mask, &rec);
  if (first_code != nullptr) *first_code = code;
  while (code == 0) {
    names.push_back(rec.name);
    code = search.FindNext(&rec);
  }
  EXPECT_TRUE(code == kNoMoreFiles || names.empty()) << code;
  return names;
}

TEST_F(PlatformTest, SearchOrderIsUpperCaseByteOrderAfterDots) {
  for (const char* name : {"b.txt", "A.txt", "_x", "Z", "a~", "ab"})
    MakeFile(std::string("icq/") + name);
  fs::create_directories(Host("icq/Newdb"));
  EXPECT_EQ(
      SearchNames("C:\\ICQ\\*.*", faAnyFile),
      (std::vector<std::string>{".", "..", "A.txt", "ab", "a~", "b.txt", "Newdb", "Z", "_x"}));
  // A drive root has no "." and "..".
  EXPECT_EQ(SearchNames("C:\\*.*", faAnyFile), (std::vector<std::string>{"icq"}));
  EXPECT_EQ(SearchNames("C:*", faAnyFile), (std::vector<std::string>{"icq"}));
}

#ifndef _WIN32
TEST_F(PlatformTest, SearchMaskFiltersSpecialEntries) {
  MakeFile("f/plain.txt", "12345");
  MakeFile("f/.hidden");
  fs::create_directories(Host("f/sub"));
  MakeFile("f/ro.txt");
  ASSERT_EQ(SetAttributes("C:\\f\\ro.txt", faReadOnly), 0);
  ASSERT_EQ(::mkfifo(Host("f/pipe").c_str(), 0644), 0);

  EXPECT_EQ(SearchNames("C:\\f\\*.*", 0), (std::vector<std::string>{"plain.txt", "ro.txt"}));
  EXPECT_EQ(SearchNames("C:\\f\\*.*", faDirectory),
            (std::vector<std::string>{".", "..", "plain.txt", "ro.txt", "sub"}));
  EXPECT_EQ(SearchNames("C:\\f\\*.*", faHidden),
            (std::vector<std::string>{".hidden", "plain.txt", "ro.txt"}));
  EXPECT_EQ(SearchNames("C:\\f\\*.*", faAnyFile),
            (std::vector<std::string>{".", "..", ".hidden", "pipe", "plain.txt", "ro.txt", "sub"}));

  DirectorySearch search;
  SearchRec rec;
  ASSERT_EQ(search.FindFirst("C:\\F\\PLAIN.TXT", faAnyFile, &rec), 0);
  EXPECT_EQ(rec.name, "plain.txt");
  EXPECT_EQ(rec.size, 5);
  EXPECT_EQ(rec.attributes, faArchive);
  EXPECT_EQ(rec.dos_time, GetFileDosTime("C:\\f\\plain.txt"));
  EXPECT_EQ(search.FindNext(&rec), kNoMoreFiles);
  ASSERT_EQ(search.FindFirst("C:\\f\\sub", faAnyFile, &rec), 0);
  EXPECT_EQ(rec.size, 0);
  EXPECT_EQ(rec.attributes, faDirectory);
  ASSERT_EQ(search.FindFirst("C:\\f\\ro.txt", faAnyFile, &rec), 0);
  EXPECT_EQ(rec.attributes, faReadOnly | faArchive);
}
#endif

TEST_F(PlatformTest, SearchPatternsAndCodes) {
  for (const char* name : {"icqlist.txt", "ICQ1.LZZ", "icq12.lzz", "readme", "a.b.c"}) {
    MakeFile(std::string("bk/") + name);
  }
  fs::create_directories(Host("bk/folder/icqlist.txt"));
  EXPECT_EQ(SearchNames("C:\\bk\\*.LZZ", 0), (std::vector<std::string>{"ICQ1.LZZ", "icq12.lzz"}));
  EXPECT_EQ(SearchNames("C:\\bk\\icq?.lzz", 0), (std::vector<std::string>{"ICQ1.LZZ"}));
  EXPECT_EQ(SearchNames("C:\\bk\\*.", 0), (std::vector<std::string>{"readme"}));
  EXPECT_EQ(SearchNames("C:\\bk\\*.c", 0), (std::vector<std::string>{"a.b.c"}));

  // An exact name finds a folder of that name when the mask allows folders.
  int code = 0;
  EXPECT_EQ(SearchNames("C:\\bk\\folder\\icqlist.txt", faAnyFile, &code),
            (std::vector<std::string>{"icqlist.txt"}));
  EXPECT_TRUE(SearchNames("C:\\bk\\folder\\icqlist.txt", 0, &code).empty());
  EXPECT_EQ(code, kNoMoreFiles);
  EXPECT_TRUE(SearchNames("C:\\bk\\nothing*", faAnyFile, &code).empty());
  EXPECT_EQ(code, kFileNotFound);
  EXPECT_TRUE(SearchNames("C:\\missing\\*.*", faAnyFile, &code).empty());
  EXPECT_EQ(code, kInvalidFilename);
  EXPECT_TRUE(SearchNames("C:\\bk\\", faAnyFile, &code).empty());
  EXPECT_EQ(code, kFileNotFound);

  // Relative to the current directory.
  ASSERT_TRUE(SetCurrentDir("C:\\bk"));
  EXPECT_EQ(SearchNames("*.lzz", 0), (std::vector<std::string>{"ICQ1.LZZ", "icq12.lzz"}));
}

#ifndef _WIN32
// A search for one name answers the entry every other look-up of that path takes.
TEST_F(PlatformTest, SearchWithoutWildcardsFindsTheLookUpsEntry) {
  MakeFile("two/icqlist.txt", "lower");
  MakeFile("two/ICQLIST.TXT", "upper, listed first");
  fs::create_directories(Host("two/Sub"));
  fs::create_directories(Host("two/SUB"));
  for (const char* pattern : {"C:\\two\\icqlist.txt", "C:\\two\\ICQLIST.TXT",
                              "C:\\two\\IcqList.Txt", "C:\\two\\sub", "C:\\two\\Sub"}) {
    SCOPED_TRACE(pattern);
    const std::string host = ToHostPath(pattern).value_or("");
    const std::string looked_up = host.substr(host.find_last_of('/') + 1);
    EXPECT_EQ(SearchNames(pattern, faAnyFile), (std::vector<std::string>{looked_up}));
  }
  EXPECT_EQ(SearchNames("C:\\two\\icqlist.txt", 0), (std::vector<std::string>{"icqlist.txt"}));
  // The entry chosen is then held to the mask: a folder does not give way to a file.
  int code = 0;
  MakeFile("mixed/Entry");
  fs::create_directories(Host("mixed/entry"));
  EXPECT_TRUE(SearchNames("C:\\mixed\\entry", 0, &code).empty());
  EXPECT_EQ(code, kNoMoreFiles);
  // Wildcards still list every spelling.
  EXPECT_EQ(SearchNames("C:\\two\\icqlist.*", 0),
            (std::vector<std::string>{"ICQLIST.TXT", "icqlist.txt"}));
}

// A walk's listing: the folders a "*.*" search finds, in its order, and the entry a
// look-up of a name takes, with the kind a search's attributes give it.
TEST_F(PlatformTest, WalkListingMatchesTheSearchAndTheLookUp) {
  MakeFile("l/ICQ.EXE", "upper");
  fs::create_directories(Host("l/icq.exe"));
  MakeFile("l/Readme.TXT");
  MakeFile("l/README.txt");
  MakeFile("l/.hidden");
  for (const char* folder : {"l/sub", "l/Zeta", "l/alpha", "l/.dot"})
    fs::create_directories(Host(folder));
  fs::create_directory_symlink("sub", Host("l/to folder"));
  fs::create_symlink("Readme.TXT", Host("l/to file"));
  fs::create_symlink("gone", Host("l/dangling"));
  ASSERT_EQ(::mkfifo(Host("l/pipe").c_str(), 0644), 0);

  WalkListing listing;
  ASSERT_EQ(listing.Read("C:\\L"), 0);
  DirectorySearch search;
  SearchRec rec;
  std::vector<std::string> searched_folders;
  for (int code = search.FindFirst("C:\\l\\*.*", faAnyFile, &rec); code == 0;
       code = search.FindNext(&rec)) {
    if (rec.name == "." || rec.name == "..") continue;
    if (rec.attributes & faDirectory) searched_folders.push_back(rec.name);
    SCOPED_TRACE(rec.name);
    const WalkListing::Entry* entry = listing.LookUp(rec.name);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->name, rec.name);
    const WalkListing::Kind kind = (rec.attributes & faDirectory) ? WalkListing::Kind::kFolder
                                   : (rec.attributes & faArchive) ? WalkListing::Kind::kFile
                                                                  : WalkListing::Kind::kOther;
    EXPECT_EQ(entry->kind, kind);
  }
  EXPECT_EQ(listing.Folders(), searched_folders);
  EXPECT_EQ(searched_folders.size(), 6u);

  for (const char* name : {"icq.exe", "ICQ.EXE", "Icq.Exe", "readme.txt", "README.TXT"}) {
    SCOPED_TRACE(name);
    const WalkListing::Entry* entry = listing.LookUp(name);
    ASSERT_NE(entry, nullptr);
    const std::string host = ToHostPath(std::string("C:\\l\\") + name).value_or("");
    EXPECT_EQ(entry->name, host.substr(host.find_last_of('/') + 1));
  }
  EXPECT_EQ(listing.LookUp("icq.exe")->kind, WalkListing::Kind::kFolder);
  EXPECT_EQ(listing.LookUp("missing"), nullptr);

  EXPECT_EQ(listing.Read("C:\\missing"), kInvalidFilename);
  EXPECT_TRUE(listing.Folders().empty());
  EXPECT_EQ(listing.LookUp("icq.exe"), nullptr);
}

// The folder just entered is read where it was entered; any other spelling is looked up.
TEST_F(PlatformTest, WalkListingOfTheCurrentDirectoryAndOfAnotherSpelling) {
  MakeFile("x/SUB/upper.txt");
  MakeFile("x/Sub/mixed.txt");
  ASSERT_TRUE(SetCurrentDir("C:\\x\\SUB"));
  WalkListing listing;
  for (const auto& [folder, file] : std::vector<std::pair<std::string, std::string>>{
           {"c:\\x\\SUB", "upper.txt"}, {"C:\\x\\Sub", "mixed.txt"}, {"C:\\X\\sub", "upper.txt"}}) {
    SCOPED_TRACE(folder);
    ASSERT_EQ(listing.Read(folder), 0);
    ASSERT_NE(listing.LookUp(file), nullptr);
    EXPECT_EQ(listing.LookUp(file)->name, file);
  }
  // Gone from where it was entered: the name is looked up again, in any case.
  fs::rename(Host("x/SUB"), Host("x/gone"));
  ASSERT_EQ(listing.Read("C:\\x\\SUB"), 0);
  EXPECT_NE(listing.LookUp("mixed.txt"), nullptr);
  EXPECT_EQ(listing.LookUp("upper.txt"), nullptr);
  fs::remove_all(Host("x/Sub"));
  EXPECT_EQ(listing.Read("C:\\x\\SUB"), kInvalidFilename);
  EXPECT_EQ(listing.LookUp("mixed.txt"), nullptr);
}

TEST_F(PlatformTest, NamesWindowsCannotHoldAreFlagged) {
  for (const char* name :
       {"ok name.txt", "a:b", "what?", "x*y", "q\"t", "l<g>", "p|p", "tab\tx", "back\\slash"}) {
    MakeFile(std::string("n/") + name);
  }
  DirectorySearch search;
  SearchRec rec;
  std::set<std::string> invalid;
  for (int code = search.FindFirst("C:\\n\\*.*", 0, &rec); code == 0;
       code = search.FindNext(&rec)) {
    if (!rec.valid_windows_name) invalid.insert(rec.name);
  }
  EXPECT_EQ(invalid, (std::set<std::string>{"a:b", "what?", "x*y", "q\"t", "l<g>", "p|p", "tab\tx",
                                            "back\\slash"}));
}

#endif

// --- Walks ------------------------------------------------------------------------------

#ifndef _WIN32
// Depth-first walk as the collection and AutoSearch do it; records each folder entered
// and each answer of the guard.
struct WalkLog {
  std::vector<std::string> entered;
  int already_visited = 0;
  int cannot_enter = 0;
  int budget = 100;  // entries looked at before the walk counts as looping
};

void Walk(WalkGuard& guard, const std::string& folder, WalkLog& log) {
  DirectorySearch search;
  SearchRec rec;
  for (int code = search.FindFirst(folder + "\\*.*", faAnyFile, &rec); code == 0;
       code = search.FindNext(&rec)) {
    if (rec.name == "." || rec.name == "..") continue;
    const std::string path = folder + "\\" + rec.name;
    if (--log.budget < 0) {
      ADD_FAILURE() << "walk loops at " << path;
      return;
    }
    switch (guard.TryEnter(path)) {
      case WalkGuard::Enter::kEntered:
        log.entered.push_back(path);
        Walk(guard, path, log);
        ChangeDir("..");
        break;
      case WalkGuard::Enter::kAlreadyVisited:
        ++log.already_visited;
        break;
      case WalkGuard::Enter::kCannotEnter:
        ++log.cannot_enter;
        break;
    }
  }
}

TEST_F(PlatformTest, WalkSurvivesSymlinkLoops) {
  fs::create_directories(Host("top/a/b"));
  MakeFile("top/a/b/file.dat");
  fs::create_directory_symlink(Host("top"), Host("top/a/b/up"));
  fs::create_directory_symlink(Host("top/a"), Host("top/again"));
  WalkGuard guard;
  ASSERT_EQ(guard.TryEnter("C:\\top"), WalkGuard::Enter::kEntered);
  WalkLog log;
  Walk(guard, "C:\\top", log);
  EXPECT_EQ(log.entered, (std::vector<std::string>{"C:\\top\\a", "C:\\top\\a\\b"}));
  EXPECT_EQ(log.already_visited, 2);  // b\up and again
  EXPECT_EQ(log.cannot_enter, 1);     // file.dat
  EXPECT_EQ(GetCurrentDir(), "C:\\top");
  EXPECT_EQ(guard.TryEnter("C:\\top\\a\\b\\file.dat"), WalkGuard::Enter::kCannotEnter);

  fs::create_directories(Host("held"));
  platform::testing::HoldOpen("C:\\held");
  EXPECT_EQ(guard.TryEnter("C:\\held"), WalkGuard::Enter::kCannotEnter);
  platform::testing::Release("C:\\held");
  EXPECT_EQ(guard.TryEnter("C:\\held"), WalkGuard::Enter::kEntered);
}
#endif

TEST_F(PlatformTest, StayOnDeviceSkipsOtherDrivesMountPoints) {
  fs::create_directories(Host("mnt/usb/inside"));
  fs::create_directories(Host("plain"));
  InstallDriveTableForTests({{'C', c_}, {'D', Host("mnt/usb")}});
  {
    WalkGuard guard(true);
    ASSERT_EQ(guard.TryEnter("C:\\"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("C:\\mnt"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("C:\\mnt\\usb"), WalkGuard::Enter::kCannotEnter);
    EXPECT_EQ(guard.TryEnter("C:\\plain"), WalkGuard::Enter::kEntered);
  }
  {
    WalkGuard guard(false);
    EXPECT_EQ(guard.TryEnter("C:\\mnt\\usb"), WalkGuard::Enter::kEntered);
  }
  {
    // D:'s own walk enters its root.
    WalkGuard guard(true);
    EXPECT_EQ(guard.TryEnter("D:\\"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("D:\\inside"), WalkGuard::Enter::kEntered);
  }
}

#ifndef _WIN32
// C: at the host root with D: mounted below it, as "/" and "/usr": links such as
// "/bin -> usr/bin" lead into D:, and links in D: lead back into C:.
TEST_F(PlatformTest, StayOnDeviceSkipsLinksIntoAnotherDrive) {
  fs::create_directories(Host("usr/bin/tools"));
  fs::create_directories(Host("etc"));
  fs::create_directories(Host("own/real"));
  fs::create_directory_symlink("usr/bin", Host("bin"));
  fs::create_directory_symlink(Host("usr/bin/tools"), Host("own/tools"));
  fs::create_directory_symlink("real", Host("own/alias"));
  fs::create_directory_symlink("../etc", Host("usr/etc"));
  InstallDriveTableForTests({{'C', c_}, {'D', Host("usr")}, {'Z', c_}});
  {
    WalkGuard guard(true);
    ASSERT_EQ(guard.TryEnter("C:\\"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("C:\\bin"), WalkGuard::Enter::kCannotEnter);
    EXPECT_EQ(guard.TryEnter("C:\\own"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("C:\\own\\tools"), WalkGuard::Enter::kCannotEnter);
    // A link that stays on the drive is entered, though Z: names the same folder.
    EXPECT_EQ(guard.TryEnter("C:\\own\\alias"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("C:\\etc"), WalkGuard::Enter::kEntered);
  }
  {
    WalkGuard guard(true);
    ASSERT_EQ(guard.TryEnter("D:\\"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("D:\\bin"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("D:\\etc"), WalkGuard::Enter::kCannotEnter);
  }
  {
    // The collection's walk is not held to one drive.
    WalkGuard guard(false);
    ASSERT_EQ(guard.TryEnter("C:\\"), WalkGuard::Enter::kEntered);
    EXPECT_EQ(guard.TryEnter("C:\\bin"), WalkGuard::Enter::kEntered);
  }
}

TEST_F(PlatformTest, StayOnDeviceSkipsOtherFileSystems) {
  struct stat here, shm;
  if (::stat(c_.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
      here.st_dev == shm.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  std::string pattern = "/dev/shm/varn-platform-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  fs::create_directory_symlink(pattern, Host("elsewhere"));
  WalkGuard staying(true);
  ASSERT_EQ(staying.TryEnter("C:\\"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(staying.TryEnter("C:\\elsewhere"), WalkGuard::Enter::kCannotEnter);
  WalkGuard roaming(false);
  EXPECT_EQ(roaming.TryEnter("C:\\elsewhere"), WalkGuard::Enter::kEntered);
  fs::remove_all(pattern);
}

#endif

// --- Free space ---------------------------------------------------------------------------

TEST_F(PlatformTest, FreeSpaceIsTheSystemsFigureAndOverride) {
  // The system's figure for the user: statvfs, or GetDiskFreeSpaceExW on Windows.
  const unsigned long long expected = fs::space(c_).available;
  std::optional<unsigned long long> free = DiskFreeSpace(3);
  ASSERT_TRUE(free.has_value());
  // Other programs write meanwhile: a few MiB either way.
  EXPECT_LT(*free > expected ? *free - expected : expected - *free, 64ull << 20);
  EXPECT_EQ(DiskFreeSpace(5), std::nullopt);  // no E:
  EXPECT_EQ(DiskFreeSpace(0), std::nullopt);
  EXPECT_EQ(DiskFreeSpace(27), std::nullopt);

  platform::testing::SetFreeSpace(3, 5'000'000'000ull);  // beyond 32 bits
  platform::testing::SetFreeSpace(4, std::nullopt);
  EXPECT_EQ(DiskFreeSpace(3), 5'000'000'000ull);
  EXPECT_EQ(DiskFreeSpace(4), std::nullopt);
  platform::testing::ResetFaults();
  EXPECT_TRUE(DiskFreeSpace(4).has_value());
}

// --- Fault hook --------------------------------------------------------------------------

// Writes a settings-like file and renames it into place: a little of everything.
void SaveSettings() {
  TextWriter writer("C:\\pref.new", OpenMode::kCreate);
  writer.WriteLine("C:\\ICQ");
  writer.Close();
  if (int code = RenameFile("C:\\pref.new", "C:\\pref.cfg", true)) RaiseIoError(code);
}

TEST_F(PlatformTest, FaultHookCountsAndFailsTheNthOperation) {
  SaveSettings();
  const int count = platform::testing::OperationCount();
  EXPECT_EQ(count, 4);  // create, write, close, rename

  for (int n = 1; n <= count; ++n) {
    platform::testing::ResetFaults();
    platform::testing::FailNthOperation(n, FileOp::kAny, 29);
    EXPECT_EQ(CodeOf(SaveSettings), 29) << "operation " << n;
  }
  platform::testing::ResetFaults();
  EXPECT_EQ(CodeOf(SaveSettings), 0);  // a fault fires once
  EXPECT_EQ(ReadHost("pref.cfg"), "C:\\ICQ\r\n");
}

TEST_F(PlatformTest, FaultHookKindFilterAndStickyFaults) {
  MakeFile("data.bin", "0123456789");
  platform::testing::FailNthOperation(2, FileOp::kRead, kDiskFull);
  File file = File::Open("C:\\data.bin", OpenMode::kRead);
  char buffer[4];
  EXPECT_EQ(file.Read(buffer, 2), 2u);
  file.Seek(0);  // another kind: not counted towards the read fault
  EXPECT_EQ(CodeOf([&] { file.Read(buffer, 2); }), kDiskFull);
  EXPECT_EQ(file.Read(buffer, 2), 2u);

  platform::testing::FailNthOperation(1, FileOp::kClose, 1117);
  EXPECT_EQ(CodeOf([&] { file.Close(); }), 1117);
  EXPECT_FALSE(file.IsOpen());  // closed all the same

  platform::testing::FailFromNthOperation(2, FileOp::kWrite, kDiskFull);
  File out = File::Open("C:\\out.bin", OpenMode::kCreate);
  out.Write("a", 1);
  EXPECT_EQ(CodeOf([&] { out.Write("b", 1); }), kDiskFull);
  EXPECT_EQ(CodeOf([&] { out.Write("c", 1); }), kDiskFull);
  out.Close();
  EXPECT_EQ(ReadHost("out.bin"), "a");  // a failed operation does nothing

  platform::testing::ResetFaults();
  EXPECT_EQ(platform::testing::OperationCount(), 0);
  EXPECT_EQ(SetFileDosTime("C:\\out.bin", PackDosTime({2001, 1, 1, 0, 0, 0})), 0);
  EXPECT_EQ(GetAttributes("C:\\out.bin").has_value(), true);  // queries are not counted
  EXPECT_EQ(platform::testing::OperationCount(), 1);
}

TEST_F(PlatformTest, HeldFileRefusesOpenDeleteAndRename) {
  MakeFile("icq/data.dat", "x");
  MakeFile("icq/icq.tmp", "y");
  platform::testing::HoldOpen("C:\\ICQ\\DATA.DAT");
  File file;
  EXPECT_EQ(File::TryOpen("C:\\icq\\data.dat", OpenMode::kRead, &file), kSharingViolation);
  EXPECT_EQ(File::TryOpen("C:\\icq\\data.dat", OpenMode::kCreate, &file), kSharingViolation);
  EXPECT_EQ(DeleteFile("C:\\icq\\data.dat"), kSharingViolation);
  EXPECT_EQ(RenameFile("C:\\icq\\data.dat", "C:\\icq\\other", false), kSharingViolation);
  EXPECT_EQ(RenameFile("C:\\icq\\icq.tmp", "C:\\icq\\data.dat", true), kSharingViolation);
  EXPECT_EQ(SetFileDosTime("C:\\icq\\data.dat", PackDosTime({2001, 1, 1, 0, 0, 0})),
            kSharingViolation);
  EXPECT_EQ(IoErrorText(kSharingViolation), "I/O error 32");
  // Still visible, as a file another program has open is.
  EXPECT_TRUE(FileExists("C:\\icq\\data.dat"));
  EXPECT_EQ(SearchNames("C:\\icq\\data.dat", faAnyFile), (std::vector<std::string>{"data.dat"}));
  EXPECT_EQ(ReadHost("icq/data.dat"), "x");

  platform::testing::ResetFaults();
  EXPECT_EQ(DeleteFile("C:\\icq\\data.dat"), 0);
}

TEST_F(PlatformTest, DeleteFileRefusalTellsWhatDeleteFileWouldAnswer) {
  MakeFile("bak/plain.lzz", "p");
  MakeFile("bak/ro.lzz", "r");
  MakeFile("bak/held.lzz", "h");
  MakeFile("locked/in.lzz", "l");
  ASSERT_EQ(SetAttributes("C:\\bak\\ro.lzz", faReadOnly), 0);
  platform::testing::HoldOpen("C:\\bak\\held.lzz");
  platform::testing::HoldOpen("C:\\locked");
  const int before = platform::testing::OperationCount();
  const std::vector<std::pair<const char*, int>> cases = {
      {"C:\\bak\\plain.lzz", 0},
      {"C:\\bak\\RO.LZZ", kAccessDenied},
      {"C:\\bak\\held.lzz", kSharingViolation},
      {"C:\\locked\\in.lzz", kAccessDenied},
      {"C:\\bak", kAccessDenied},
      {"C:\\bak\\missing.lzz", kFileNotFound},
      {"C:\\nofolder\\x.lzz", kInvalidFilename}};
  for (const auto& [path, code] : cases) EXPECT_EQ(DeleteFileRefusal(path), code) << path;
  // A query: nothing deleted, nothing counted.
  EXPECT_EQ(platform::testing::OperationCount(), before);
  for (const char* name : {"bak/plain.lzz", "bak/ro.lzz", "bak/held.lzz", "locked/in.lzz"}) {
    EXPECT_TRUE(fs::exists(Host(name))) << name;
  }
  // The deletions answer the same.
  for (const auto& [path, code] : cases) EXPECT_EQ(DeleteFile(path), code) << path;
  EXPECT_FALSE(fs::exists(Host("bak/plain.lzz")));
  EXPECT_TRUE(fs::exists(Host("locked/in.lzz")));
}

#ifndef _WIN32
TEST_F(PlatformTest, ReadDenyWriteOpensReadOnlyFilesButNotOnesOpenForWriting) {
  MakeFile("ro.dat", "read-only");
  MakeFile("busy.dat", "being written");
  MakeFile("held.dat", "held");
  ASSERT_EQ(SetAttributes("C:\\ro.dat", faReadOnly), 0);
  platform::testing::HoldOpen("C:\\held.dat");
  File file;
  ASSERT_EQ(File::TryOpen("C:\\ro.dat", OpenMode::kReadDenyWrite, &file), 0);
  char bytes[9];
  EXPECT_EQ(file.Read(bytes, sizeof bytes), sizeof bytes);
  EXPECT_EQ(std::string(bytes, sizeof bytes), "read-only");
  EXPECT_EQ(CodeOf([&] { file.Write("x", 1); }), 6);  // reading only
  file.Close();
  EXPECT_EQ(File::TryOpen("C:\\held.dat", OpenMode::kReadDenyWrite, &file), kSharingViolation);
  {
    // Another program writing to it: here another open description of this process.
    const int writer = ::open(Host("busy.dat").c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(File::TryOpen("C:\\busy.dat", OpenMode::kReadDenyWrite, &file), kSharingViolation);
    EXPECT_EQ(File::TryOpen("C:\\busy.dat", OpenMode::kRead, &file), 0);  // plain reading shares
    file.Close();
    ::close(writer);
  }
  ASSERT_EQ(File::TryOpen("C:\\busy.dat", OpenMode::kReadDenyWrite, &file), 0);
  // A writer may open it after the test: the lease was given back.
  const int writer = ::open(Host("busy.dat").c_str(), O_WRONLY | O_NONBLOCK);
  EXPECT_GE(writer, 0) << std::strerror(errno);
  if (writer >= 0) ::close(writer);
  file.Close();
}
#endif

TEST_F(PlatformTest, FailedFolderSearchAndCreation) {
  fs::create_directories(Host("f"));
  MakeFile("f/a");
  platform::testing::FailNthOperation(1, FileOp::kOpen, 21);
  int code = 0;
  EXPECT_TRUE(SearchNames("C:\\f\\*.*", faAnyFile, &code).empty());
  EXPECT_EQ(code, 21);
  platform::testing::FailNthOperation(1, FileOp::kCreateFolder, kDiskFull);
  EXPECT_EQ(CreateFolder("C:\\f\\new"), kDiskFull);
  EXPECT_FALSE(fs::exists(Host("f/new")));
  platform::testing::FailNthOperation(1, FileOp::kSetAttributes, kAccessDenied);
  EXPECT_EQ(SetAttributes("C:\\f\\a", faReadOnly), kAccessDenied);
  EXPECT_EQ(GetAttributes("C:\\f\\a"), faArchive);
  platform::testing::FailNthOperation(1, FileOp::kDelete, kAccessDenied);
  EXPECT_EQ(DeleteFile("C:\\f\\a"), kAccessDenied);
  EXPECT_TRUE(fs::exists(Host("f/a")));
  platform::testing::FailNthOperation(1, FileOp::kFlush, 1117);
  EXPECT_EQ(FlushFolder("C:\\f"), 1117);
}

}  // namespace
