// The Win32 side of the platform layer, held to what the system itself answers: its
// drives, its sharing modes, its version services, its attributes and times, and walks
// that never pass a reparse point.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/io_error.h"
#include "platform/version_resource.h"
#include "platform/win32/win32_internal.h"
#include "scratch_folder.h"
#include "win32_api.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::wstring Wide(const std::string& ansi) {
  const int units =
      ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), units);
  return wide;
}

// A system handle closed when it goes.
struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Drives C: and D: over two fresh temporary folders, as the shared platform tests have.
class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeScratchFolder("varn-win32-").string();
    c_ = root_ + "\\c";
    d_ = root_ + "\\d";
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

  std::string Host(std::string relative) const {
    for (char& c : relative) {
      if (c == '/') c = '\\';
    }
    return c_ + "\\" + relative;
  }
  void MakeFile(const std::string& relative, const std::string& bytes = "") const {
    fs::create_directories(fs::path(Host(relative)).parent_path());
    std::ofstream(Host(relative), std::ios::binary) << bytes;
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

std::vector<std::string> SearchNames(const std::string& pattern, std::uint32_t mask) {
  DirectorySearch search;
  SearchRec rec;
  std::vector<std::string> names;
  for (int code = search.FindFirst(pattern, mask, &rec); code == 0; code = search.FindNext(&rec)) {
    names.push_back(rec.name);
  }
  return names;
}

// --- Codes and texts ------------------------------------------------------------------

// The system's codes are the program's, but for the two kinds of full disk.
TEST(Win32Codes, SystemErrorsAreTheProgramsCodes) {
  using platform::detail::CodeOfSystemError;
  EXPECT_EQ(CodeOfSystemError(ERROR_DISK_FULL), kDiskFull);
  EXPECT_EQ(CodeOfSystemError(ERROR_HANDLE_DISK_FULL), kDiskFull);
  EXPECT_EQ(IoErrorText(CodeOfSystemError(ERROR_DISK_FULL)), "Disk full");
  EXPECT_EQ(CodeOfSystemError(ERROR_FILE_NOT_FOUND), kFileNotFound);
  EXPECT_EQ(CodeOfSystemError(ERROR_PATH_NOT_FOUND), kInvalidFilename);
  EXPECT_EQ(CodeOfSystemError(ERROR_ACCESS_DENIED), kAccessDenied);
  EXPECT_EQ(CodeOfSystemError(ERROR_SHARING_VIOLATION), kSharingViolation);
  EXPECT_EQ(CodeOfSystemError(ERROR_ALREADY_EXISTS), kAlreadyExists);
}

TEST(Win32Codes, AnsiTextsRoundTripAndForeignCharactersBecomeQuestionMarks) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the test expects the Western ANSI code page";
  const std::string ansi =
      "Gr\xfc\xdf"
      "e \x80 100";
  EXPECT_EQ(platform::WideFromAnsi(ansi), L"Gr\u00fc\u00dfe \u20ac 100");
  EXPECT_EQ(platform::AnsiFromWide(platform::WideFromAnsi(ansi)), ansi);
  // No best fit: a Cyrillic "a" must not turn into a Latin one.
  EXPECT_EQ(platform::AnsiFromWide(L"\u0430b"), "?b");
  EXPECT_EQ(platform::AnsiFromWide(L""), "");
}

// --- Drives -----------------------------------------------------------------------------

TEST(Win32Drives, WithoutATableTheSystemsDrivesAndPaths) {
  InstallDriveTableForTests({});
  std::vector<char> expected;
  const DWORD letters = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
    if ((letters & (1u << i)) && ::GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR) {
      expected.push_back(static_cast<char>('A' + i));
    }
  }
  std::vector<char> listed;
  for (const DriveMapping& drive : Drives()) {
    listed.push_back(drive.letter);
    EXPECT_EQ(drive.host_root, std::string(1, drive.letter) + ":\\");
  }
  EXPECT_EQ(listed, expected);
  ASSERT_FALSE(listed.empty());

  // The host path is the Windows path itself; a letter the system lacks is no drive.
  EXPECT_EQ(ToHostPath("C:\\Windows\\..\\x.txt"), "C:\\x.txt");
  EXPECT_EQ(ToWindowsPath("c:/windows/./system32"), "C:\\windows\\system32");
  EXPECT_EQ(ToWindowsPath("\\\\server\\share\\x"), std::nullopt);
  char missing = 0;
  for (char letter = 'Z'; letter >= 'D' && missing == 0; --letter) {
    if (!(letters & (1u << (letter - 'A')))) missing = letter;
  }
  if (missing != 0) {
    EXPECT_FALSE(DriveRootExists(missing)) << missing;
  }
  EXPECT_TRUE(DriveRootExists('C'));

  // The current directory starts as the process's own, which is on a drive.
  wchar_t here[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, here), 0u);
  EXPECT_TRUE(SamePathText(GetCurrentDir(), ToWindowsPath(fs::path(here).string()).value()));
  EXPECT_EQ(StartFolderOnNoDrive(), std::nullopt);
}

TEST_F(Win32PlatformTest, TableLettersGoToTheirHostFolders) {
  MakeFile("ICQ/icq.exe", "x");
  EXPECT_EQ(ToHostPath("c:\\ICQ\\icq.exe"), c_ + "\\ICQ\\icq.exe");
  EXPECT_EQ(ToWindowsPath(c_ + "\\ICQ"), "C:\\ICQ");
  EXPECT_EQ(ToWindowsPath(root_), std::nullopt);
  // A letter of the system that the table does not name is on no drive.
  const char letter = 'E';
  File file;
  EXPECT_EQ(File::TryOpen(std::string(1, letter) + ":\\x", OpenMode::kRead, &file),
            kInvalidFilename);
  EXPECT_TRUE(FileExists("C:\\icq\\ICQ.EXE"));
  EXPECT_TRUE(DriveRootExists('D'));
  EXPECT_FALSE(DriveRootExists(letter));
}

// --- Sharing ---------------------------------------------------------------------------

TEST_F(Win32PlatformTest, FileHeldWithoutSharingGives32) {
  MakeFile("icq/data.dat", "x");
  MakeFile("icq/icq.tmp", "y");
  {
    Handle held(::CreateFileW(Wide(Host("icq/data.dat")).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    File file;
    EXPECT_EQ(File::TryOpen("C:\\ICQ\\DATA.DAT", OpenMode::kRead, &file), kSharingViolation);
    EXPECT_EQ(File::TryOpen("C:\\icq\\data.dat", OpenMode::kCreate, &file), kSharingViolation);
    EXPECT_EQ(CodeOf([] { File::Open("C:\\icq\\data.dat", OpenMode::kAppend); }),
              kSharingViolation);
    EXPECT_EQ(DeleteFileRefusal("C:\\icq\\data.dat"), kSharingViolation);
    EXPECT_EQ(DeleteFile("C:\\icq\\data.dat"), kSharingViolation);
    EXPECT_EQ(RenameFile("C:\\icq\\data.dat", "C:\\icq\\moved.dat", false), kSharingViolation);
    // Replacing it is refused too, with 32 or (as MoveFileExW answers) 5.
    const int replace = RenameFile("C:\\icq\\icq.tmp", "C:\\icq\\data.dat", true);
    EXPECT_TRUE(replace == kSharingViolation || replace == kAccessDenied) << replace;
    EXPECT_TRUE(FileExists("C:\\icq\\data.dat"));
  }
  {
    // Another program writing, but sharing: reading shares with it, reading that must
    // keep writers out does not.
    Handle writer(::CreateFileW(Wide(Host("icq/data.dat")).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(writer.get(), INVALID_HANDLE_VALUE);
    File file;
    EXPECT_EQ(File::TryOpen("C:\\icq\\data.dat", OpenMode::kReadDenyWrite, &file),
              kSharingViolation);
    EXPECT_EQ(File::TryOpen("C:\\icq\\data.dat", OpenMode::kRead, &file), 0);
    file.Close();
  }
  File file;
  ASSERT_EQ(File::TryOpen("C:\\icq\\data.dat", OpenMode::kReadDenyWrite, &file), 0);
  // While it is open so, another program's open for writing is refused in turn.
  Handle late_writer(::CreateFileW(Wide(Host("icq/data.dat")).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(late_writer.get(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  file.Close();
  EXPECT_EQ(DeleteFile("C:\\icq\\data.dat"), 0);
}

// --- Version resources -----------------------------------------------------------------

std::string RunningProgram() {
  wchar_t path[MAX_PATH];
  const DWORD units = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, units)).string();
}

std::string SystemFolder() {
  wchar_t path[MAX_PATH];
  const UINT units = ::GetSystemDirectoryW(path, MAX_PATH);
  return fs::path(std::wstring(path, units)).string();
}

TEST(Win32VersionResource, SystemsReaderAndPeReaderAgree) {
  InstallDriveTableForTests({});
  std::vector<std::string> files = {RunningProgram()};
  for (const char* name : {"kernel32.dll", "user32.dll", "comctl32.dll", "shell32.dll",
                           "version.dll", "notepad.exe", "winver.exe", "regedit.exe"}) {
    files.push_back(SystemFolder() + "\\" + name);
  }
  int with_resource = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::vector<std::uint8_t> system = ReadVersionResource(file);
    const std::vector<std::uint8_t> image = ReadVersionResourceFromImage(file);
    ASSERT_EQ(system.empty(), image.empty());
    if (system.empty()) continue;
    ++with_resource;
    const auto system_translation = QueryVersionValue(system, "\\VarFileInfo\\Translation");
    const auto image_translation = QueryVersionBlockValue(image, "\\VarFileInfo\\Translation");
    ASSERT_EQ(system_translation, image_translation);
    std::uint32_t translation = 0x04E40409;
    if (system_translation && system_translation->size() >= 4) {
      std::memcpy(&translation, system_translation->data(), 4);
    }
    char table[9];
    std::snprintf(table, sizeof table, "%04x%04x", translation & 0xFFFF, translation >> 16);
    for (const char* key : {"FileVersion", "ProductName", "CompanyName", "Comments", "Missing"}) {
      const std::string query = std::string("\\StringFileInfo\\") + table + "\\" + key;
      EXPECT_EQ(QueryVersionText(system, query), QueryVersionBlockText(image, query)) << key;
    }
  }
  EXPECT_GE(with_resource, 2);

  // The tests' own resource, through both readers: its ANSI texts as written.
  const std::vector<std::uint8_t> own = ReadVersionResource(RunningProgram());
  EXPECT_EQ(QueryVersionText(own, "\\StringFileInfo\\040904e4\\FileVersion"), "1.2.3.4");
  if (::GetACP() == 1252) {
    EXPECT_EQ(QueryVersionText(own, "\\StringFileInfo\\040904e4\\Comments"),
              "Gr\xfc\xdf"
              "e aus K\xf6ln");
  }
}

TEST_F(Win32PlatformTest, FilesThatAreNoImageHaveNoVersionResource) {
  MakeFile("notes.txt", "MZ but nothing more");
  MakeFile("empty.exe");
  for (const char* name : {"C:\\notes.txt", "C:\\empty.exe", "C:\\missing.exe"}) {
    EXPECT_TRUE(ReadVersionResource(name).empty()) << name;
    EXPECT_TRUE(ReadVersionResourceFromImage(name).empty()) << name;
  }
  EXPECT_EQ(QueryVersionText({}, "\\StringFileInfo\\040904e4\\FileVersion"), std::nullopt);
}

// --- Attributes and times --------------------------------------------------------------

TEST_F(Win32PlatformTest, AttributesRoundTripAsTheSystemStoresThem) {
  MakeFile("f/plain.txt", "12345");
  MakeFile("f/secret.txt");
  MakeFile("f/sys.dat");
  MakeFile("f/ro.txt");
  fs::create_directories(Host("f/sub"));
  ASSERT_EQ(SetAttributes("C:\\f\\secret.txt", faHidden | faArchive), 0);
  ASSERT_EQ(SetAttributes("C:\\f\\sys.dat", faSysFile), 0);
  ASSERT_EQ(SetAttributes("C:\\f\\ro.txt", faReadOnly | faArchive), 0);
  for (const char* name : {"plain.txt", "secret.txt", "sys.dat", "ro.txt", "sub"}) {
    SCOPED_TRACE(name);
    const DWORD system = ::GetFileAttributesW(Wide(Host(std::string("f/") + name)).c_str());
    ASSERT_NE(system, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetAttributes(std::string("C:\\F\\") + name), system & faAnyFile);
  }
  // Wine marks every file archive; the bits that were set come back as set.
  constexpr std::uint32_t kSet = faReadOnly | faHidden | faSysFile;
  EXPECT_EQ(GetAttributes("C:\\f\\secret.txt").value() & kSet, faHidden);
  EXPECT_EQ(GetAttributes("C:\\f\\sys.dat").value() & kSet, faSysFile);
  EXPECT_EQ(GetAttributes("C:\\f\\ro.txt").value() & kSet, faReadOnly);

  // Searches hide what the mask does not ask for.
  EXPECT_EQ(SearchNames("C:\\f\\*.*", 0), (std::vector<std::string>{"plain.txt", "ro.txt"}));
  EXPECT_EQ(SearchNames("C:\\f\\*.*", faHidden | faSysFile),
            (std::vector<std::string>{"plain.txt", "ro.txt", "secret.txt", "sys.dat"}));
  EXPECT_EQ(SearchNames("C:\\f\\*.*", faDirectory),
            (std::vector<std::string>{".", "..", "plain.txt", "ro.txt", "sub"}));

  // What restores a file clears them again: archive alone.
  ASSERT_EQ(SetAttributes("C:\\f\\ro.txt", faArchive), 0);
  EXPECT_EQ(GetAttributes("C:\\f\\ro.txt"), faArchive);
  EXPECT_EQ(DeleteFile("C:\\f\\ro.txt"), 0);
  EXPECT_EQ(SetAttributes("C:\\f\\ro.txt", faArchive), kFileNotFound);
  EXPECT_EQ(SetAttributes("C:\\nofolder\\x", faArchive), kInvalidFilename);
}

// The local time of a file's last write under the zone's rules for that date, read back
// through the system's own conversion.
LocalDateTime SystemLocalWriteTime(const std::string& host) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  EXPECT_TRUE(::GetFileAttributesExW(Wide(host).c_str(), GetFileExInfoStandard, &data));
  SYSTEMTIME universal, fields;
  EXPECT_TRUE(::FileTimeToSystemTime(&data.ftLastWriteTime, &universal));
  EXPECT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &fields));
  return {fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond};
}

void SetSystemWriteTime(const std::string& host, int year) {
  SYSTEMTIME fields{};
  fields.wYear = static_cast<WORD>(year);
  fields.wMonth = 6;
  fields.wDay = 1;
  fields.wHour = 12;
  FILETIME when;
  ASSERT_TRUE(::SystemTimeToFileTime(&fields, &when));
  Handle handle(::CreateFileW(Wide(host).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
  ASSERT_TRUE(::SetFileTime(handle.get(), nullptr, nullptr, &when));
}

TEST_F(Win32PlatformTest, DosTimesInLocalTimeRoundTrip) {
  MakeFile("f.dat", "data");
  for (const LocalDateTime& when :
       {LocalDateTime{1980, 1, 1, 0, 0, 0}, LocalDateTime{2004, 2, 29, 12, 34, 56},
        LocalDateTime{2023, 7, 15, 23, 59, 59}, LocalDateTime{2107, 12, 31, 23, 59, 58}}) {
    SCOPED_TRACE(when.year);
    LocalDateTime even = when;
    even.second -= even.second % 2;
    ASSERT_EQ(SetFileDosTime("C:\\F.DAT", PackDosTime(when)), 0);
    const LocalDateTime seen = SystemLocalWriteTime(Host("f.dat"));
    EXPECT_EQ(PackDosTime(seen), PackDosTime(even));
    EXPECT_EQ(seen.second, even.second);
    EXPECT_EQ(GetFileDosTime("C:\\f.dat"), PackDosTime(even));

    File file = File::Open("C:\\f.dat", OpenMode::kReadWrite);
    file.SetDosTime(PackDosTime(when));
    EXPECT_EQ(file.DosTime(), PackDosTime(even));
    file.Close();
    EXPECT_EQ(PackDosTime(SystemLocalWriteTime(Host("f.dat"))), PackDosTime(even));
  }
  // A folder takes a time too.
  fs::create_directories(Host("sub"));
  EXPECT_EQ(SetFileDosTime("C:\\sub", PackDosTime({2001, 1, 1, 0, 0, 0})), 0);
  EXPECT_EQ(GetFileDosTime("C:\\sub"), PackDosTime({2001, 1, 1, 0, 0, 0}));

  EXPECT_EQ(SetFileDosTime("C:\\f.dat", 0), kInvalidParameter);
  EXPECT_EQ(SetFileDosTime("C:\\missing.dat", PackDosTime({2001, 1, 1, 0, 0, 0})), kFileNotFound);
  EXPECT_EQ(GetFileDosTime("C:\\missing.dat"), std::nullopt);

  // Outside the DOS range: held to its edges, or no time at all for an open file.
  SetSystemWriteTime(Host("f.dat"), 1975);
  EXPECT_EQ(GetFileDosTime("C:\\f.dat"), PackDosTime({1980, 1, 1, 0, 0, 0}));
  File file = File::Open("C:\\f.dat", OpenMode::kRead);
  EXPECT_EQ(file.DosTime(), std::nullopt);
  file.Close();
  SetSystemWriteTime(Host("f.dat"), 2150);
  EXPECT_EQ(GetFileDosTime("C:\\f.dat"), PackDosTime({2107, 12, 31, 23, 59, 58}));
}

TEST(Win32Clock, MonthNamesAreTheUsersLocales) {
  RereadMonthNamesForTests();
  const auto& names = ShortMonthNames();
  for (int i = 0; i < 12; ++i) {
    wchar_t name[80];
    const int units = ::GetLocaleInfoW(LOCALE_USER_DEFAULT,
                                       static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i), name, 80);
    ASSERT_GT(units, 1);
    char ansi[160];
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, 0, name, units - 1, ansi, sizeof ansi, nullptr, nullptr);
    EXPECT_EQ(names[static_cast<std::size_t>(i)],
              std::string(ansi, static_cast<std::size_t>(bytes)));
  }
  const LocalDateTime now = Now();
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  EXPECT_EQ(now.year, local.wYear);
  EXPECT_GE(now.month, 1);
}

// --- Names, identity and walks ----------------------------------------------------------

TEST_F(Win32PlatformTest, NamesOutsideTheAnsiCodePageAreFlagged) {
  // Two CJK characters: in no single-byte code page.
  const std::wstring name = L"\x65e5\x672c.txt";
  if (::GetACP() != 1252) GTEST_SKIP() << "the test expects a single-byte ANSI code page";
  std::ofstream(fs::path(Wide(c_)) / name) << "x";
  std::ofstream(fs::path(Wide(c_)) / L"plain.txt") << "y";
  DirectorySearch search;
  SearchRec rec;
  std::set<std::string> invalid, valid;
  for (int code = search.FindFirst("C:\\*.*", 0, &rec); code == 0; code = search.FindNext(&rec)) {
    (rec.valid_windows_name ? valid : invalid).insert(rec.name);
  }
  EXPECT_EQ(valid, (std::set<std::string>{"plain.txt"}));
  EXPECT_EQ(invalid, (std::set<std::string>{"??.txt"}));
}

TEST_F(Win32PlatformTest, SameFileByVolumeAndFileIndex) {
  MakeFile("ICQ/a.dat", "a");
  MakeFile("ICQ/b.dat", "a");
  InstallDriveTableForTests({{'C', c_}, {'D', d_}, {'Z', root_}});
  EXPECT_TRUE(SameFile("C:\\ICQ\\a.dat", "c:\\icq\\A.DAT"));
  EXPECT_TRUE(SameFile("Z:\\c\\ICQ\\a.dat", "C:\\ICQ\\a.dat"));
  EXPECT_TRUE(SameFile("C:\\ICQ\\.", "Z:\\C\\icq"));
  EXPECT_FALSE(SameFile("C:\\ICQ\\a.dat", "C:\\ICQ\\b.dat"));
  EXPECT_FALSE(SameFile("C:\\ICQ\\none.dat", "C:\\ICQ\\none.dat"));
  if (::CreateHardLinkW(Wide(Host("ICQ/hard.dat")).c_str(), Wide(Host("ICQ/a.dat")).c_str(),
                        nullptr)) {
    EXPECT_TRUE(SameFile("C:\\ICQ\\hard.dat", "C:\\ICQ\\a.dat"));
    EXPECT_FALSE(IsLink("C:\\ICQ\\hard.dat"));
  }
  EXPECT_FALSE(IsLink("C:\\ICQ\\a.dat"));
}

// Two letters over one folder: the walk meets the folder again under the other name.
TEST_F(Win32PlatformTest, WalkKnowsAFolderUnderAnotherName) {
  fs::create_directories(Host("top/a/b"));
  InstallDriveTableForTests({{'C', c_}, {'Z', root_}});
  WalkGuard guard;
  ASSERT_EQ(guard.TryEnter("C:\\top"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(guard.TryEnter("C:\\top\\a"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(GetCurrentDir(), "C:\\top\\a");
  EXPECT_EQ(guard.TryEnter("Z:\\c\\TOP\\A"), WalkGuard::Enter::kAlreadyVisited);
  EXPECT_EQ(guard.TryEnter("z:\\c\\top\\a\\b"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(GetCurrentDir(), "Z:\\c\\top\\a\\b");  // the disk's spelling
  EXPECT_EQ(guard.TryEnter("C:\\top\\a\\missing"), WalkGuard::Enter::kCannotEnter);

  // Held to its drive, a walk of C: does not enter D:'s root below it.
  fs::create_directories(Host("mnt/usb/inside"));
  InstallDriveTableForTests({{'C', c_}, {'D', Host("mnt/usb")}});
  WalkGuard staying(true);
  ASSERT_EQ(staying.TryEnter("C:\\"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(staying.TryEnter("C:\\mnt"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(staying.TryEnter("C:\\mnt\\usb"), WalkGuard::Enter::kCannotEnter);
}

// A directory symbolic link or a junction from `link` to `target`; false when the
// system makes neither (Wine 8 has no reparse points).
bool MakeFolderLink(const std::string& link, const std::string& target) {
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (::CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged)) {
    const DWORD attributes = ::GetFileAttributesW(Wide(link).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }
  return false;
}

TEST_F(Win32PlatformTest, WalksAndBoundariesDoNotPassAReparsePoint) {
  fs::create_directories(Host("top/a/b"));
  fs::create_directories(Host("outside"));
  MakeFile("outside/secret.dat", "s");
  if (!MakeFolderLink(Host("top/a/b/up"), Host("top")) ||
      !MakeFolderLink(Host("top/away"), Host("outside"))) {
    GTEST_SKIP() << "this system makes no folder links";
  }
  WalkGuard guard;
  ASSERT_EQ(guard.TryEnter("C:\\top"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(guard.TryEnter("C:\\top\\a"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(guard.TryEnter("C:\\top\\a\\b"), WalkGuard::Enter::kEntered);
  EXPECT_EQ(guard.TryEnter("C:\\top\\a\\b\\up"), WalkGuard::Enter::kCannotEnter);
  EXPECT_EQ(guard.TryEnter("C:\\top\\away"), WalkGuard::Enter::kCannotEnter);
  EXPECT_TRUE(IsLink("C:\\top\\away"));

  const FolderBoundary top("C:\\top");
  EXPECT_TRUE(top.Contains("C:\\top\\a\\b\\new.dat"));
  EXPECT_FALSE(top.Contains("C:\\top\\away\\secret.dat"));
  EXPECT_FALSE(top.Contains("C:\\top\\away\\new\\x.dat"));
}

TEST_F(Win32PlatformTest, FolderBoundaryByTextAndShortNames) {
  fs::create_directories(Host("ICQ Folder/newdb"));
  fs::create_directories(Host("ICQ Folder2"));
  const FolderBoundary icq("c:\\icq folder");
  EXPECT_TRUE(icq.Contains("C:\\ICQ Folder\\newdb\\a.dat"));
  EXPECT_TRUE(icq.Contains("C:\\ICQ Folder\\not\\yet\\made.dat"));
  EXPECT_TRUE(icq.Contains("C:\\ICQ Folder"));
  EXPECT_FALSE(icq.Contains("C:\\ICQ Folder\\..\\outside.dat"));
  EXPECT_FALSE(icq.Contains("C:\\ICQ Folder2\\a.dat"));
  EXPECT_FALSE(icq.Contains("D:\\ICQ Folder\\a.dat"));
  EXPECT_FALSE(icq.Contains("\\\\server\\share\\a.dat"));
  EXPECT_FALSE(FolderBoundary("C:\\missing").Contains("C:\\missing\\a.dat"));
  // The same folder by its short name, where the file system gives short names.
  wchar_t short_name[MAX_PATH];
  const DWORD units = ::GetShortPathNameW(Wide(Host("ICQ Folder")).c_str(), short_name, MAX_PATH);
  if (units > 0 && units < MAX_PATH) {
    const std::string name = fs::path(std::wstring(short_name, units)).filename().string();
    EXPECT_TRUE(icq.Contains("C:\\" + name + "\\newdb\\b.dat")) << name;
  }
}

}  // namespace
