// What a restore must never do: put damaged data in place of a data file, write outside
// the ICQ folder, or leave a data file missing or half written when it is interrupted.
// And the round trip: a backup made by the Backup button comes back byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/reports.h"
#include "backup/backup.h"
#include "backup/collect_files.h"
#include "backup/verify.h"
#include "data_tree.h"
#include "lz/lz_file.h"
#include "lz/lz_format.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"
#include "restore_fixture.h"

namespace {

namespace fs = std::filesystem;
using backup::RestoreOutcome;

std::string RandomBytes(std::mt19937& random, std::size_t size, int alphabet) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % alphabet);
  return bytes;
}

std::string Text(std::mt19937& random, std::size_t size) {
  const char* words[] = {"message ", "contact ", "UIN ", "history ", "\r\n", "hello ", "0", "ICQ "};
  std::string text;
  while (text.size() < size) text += words[random() % 8];
  return text;
}

// --- Damaged compressed files ------------------------------------------------------------

class DamageTest : public RestoreFixture {
 protected:
  void SetUp() override {
    std::mt19937 random(7);
    files_ = {{"newdb", "text.dat", Text(random, 20000)},
              {"newdb", "random.bin", RandomBytes(random, 3000, 256)},
              {"newdb\\sub", "runs.dat", RandomBytes(random, 8000, 3)},
              {"uin", "abc", "abc"},
              {"newdb", "large.dat", Text(random, 300000)},
              {"newdb", "huffman.dat", Text(random, 6000)}};
    MakeBackup(files_);
    // The last one with the adaptive Huffman coder, whose decoder answers its own errors.
    const std::string source = "C:\\src\\6\\huffman.dat";
    ASSERT_GT(lz::CompressFile(source, CompressedName(6), nullptr, nullptr, 2), 0);
    for (std::size_t i = 0; i < files_.size(); ++i) {
      originals_.push_back(drives_.ReadFile(CompressedName(i + 1)));
    }
  }

  void WriteOldDataFiles() {
    for (const DataFile& file : files_) drives_.WriteFile(DataPath(file), "old " + file.name);
  }

  // True when the compressed file number n, as it now is, decodes to other data than
  // its header promises.
  bool DecodesToOtherData(std::size_t n) {
    lz::CheckResult check;
    if (!lz::CheckCompressedFile(CompressedName(n), check)) return true;
    return check.decoded != static_cast<std::int64_t>(files_[n - 1].bytes.size()) ||
           check.crc32 != check.header.crc32;
  }

  // The restore stops at entry n: the entries before it restored, it and the rest old.
  void ExpectStopAt(std::size_t n, const std::string& what) {
    WriteOldDataFiles();
    window_ = RecordingWindow();
    RestoreOutcome outcome = RestoreOutcome::kSucceeded;
    try {
      outcome = RestoreFilesOnly();
    } catch (const std::exception& e) {
      ADD_FAILURE() << what << ": raised " << e.what();
      return;
    }
    EXPECT_EQ(outcome, RestoreOutcome::kFailed) << what;
    for (std::size_t i = 0; i < files_.size(); ++i) {
      const std::string expected = i + 1 < n ? files_[i].bytes : "old " + files_[i].name;
      EXPECT_EQ(drives_.ReadFile(DataPath(files_[i])), expected) << what << ", " << files_[i].name;
    }
    ASSERT_GE(window_.lines.size(), 10u) << what;
    EXPECT_TRUE(window_.lines[9] == " Filesize Different!" ||
                window_.lines[9] == " Backup File damaged:")
        << what << ": " << window_.lines[9];
  }

  std::vector<DataFile> files_;
  std::vector<std::string> originals_;
};

TEST_F(DamageTest, FlippedBodyByteThatChangesTheDataStopsAtThatEntry) {
  int tried = 0;
  for (std::size_t n = 1; n <= files_.size(); ++n) {
    const std::string& original = originals_[n - 1];
    const std::size_t body = original.size() - lz::kHeaderSize;
    for (std::size_t at : {std::size_t{0}, body / 3, body / 2, body - 2, body - 1}) {
      for (unsigned char mask : {0x01, 0x80, 0xFF}) {
        std::string damaged = original;
        damaged[lz::kHeaderSize + at] = static_cast<char>(damaged[lz::kHeaderSize + at] ^ mask);
        drives_.WriteFile(CompressedName(n), damaged);
        if (!DecodesToOtherData(n)) continue;  // some flips decode to the same data
        ++tried;
        ExpectStopAt(n, "icq" + std::to_string(n) + ".lzz byte " + std::to_string(at) + " ^ " +
                            std::to_string(mask));
      }
    }
    drives_.WriteFile(CompressedName(n), original);
  }
  EXPECT_GE(tried, 40);
}

TEST_F(DamageTest, TruncatedBodyStopsAtThatEntry) {
  for (std::size_t n = 1; n <= files_.size(); ++n) {
    const std::string& original = originals_[n - 1];
    const std::size_t body = original.size() - lz::kHeaderSize;
    for (std::size_t keep : {std::size_t{0}, body / 2, body - 1}) {
      drives_.WriteFile(CompressedName(n), original.substr(0, lz::kHeaderSize + keep));
      ASSERT_TRUE(DecodesToOtherData(n)) << n << " cut to " << keep;
      ExpectStopAt(n, "icq" + std::to_string(n) + ".lzz cut to " + std::to_string(keep));
    }
    drives_.WriteFile(CompressedName(n), original);
  }
}

// --- One verdict ----------------------------------------------------------------------------

// A header field that the decoding does not use leaves the file sound for torq32-cli verify,
// for the engine's check that lzz verify makes, and for the restore; a header length other
// than the decoded one is damage for all three.
struct VerdictCase {
  const char* name;
  std::size_t at;     // header offset patched
  std::string bytes;  // written there
  bool sound;
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

class VerdictTest : public RestoreFixture, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(VerdictTest, VerifyTheEnginesCheckAndTheRestoreAgree) {
  const std::string data = "one verdict, one verdict, one verdict for every checker";
  MakeBackup({{"newdb", "a.dat", data}});
  std::string file = drives_.ReadFile(CompressedName(1));
  ASSERT_EQ(static_cast<std::uint8_t>(file[173]), lz::kMethodLzss);
  file.replace(GetParam().at, GetParam().bytes.size(), GetParam().bytes);
  drives_.WriteFile(CompressedName(1), file);
  drives_.WriteFile("C:\\ICQ\\newdb\\a.dat", "old a");

  const backup::VerifyResult verified = backup::VerifyBackup("D:\\backup");
  EXPECT_EQ(verified.damaged, GetParam().sound ? 0u : 1u)
      << ::testing::PrintToString(verified.problems);
  lz::CheckResult check;
  ASSERT_TRUE(lz::CheckCompressedFile(CompressedName(1), check));
  EXPECT_EQ(check.decoded == check.header.uncompressed_size && check.crc32 == check.header.crc32,
            GetParam().sound);
  EXPECT_EQ(RestoreFilesOnly(),
            GetParam().sound ? RestoreOutcome::kSucceeded : RestoreOutcome::kFailed);
  if (GetParam().sound) {
    EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), data);
  } else {
    ASSERT_GE(window_.lines.size(), 10u);
    EXPECT_EQ(window_.lines[9], " Backup File damaged:");
    EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), "old a");
  }
}

// Little-endian, as the header holds its numbers.
std::string Le32(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}

INSTANTIATE_TEST_SUITE_P(
    Headers, VerdictTest,
    ::testing::Values(VerdictCase{"Method0", 173, std::string(1, '\0'), true},
                      VerdictCase{"Method1", 173, "\x01", true},
                      VerdictCase{"Method5", 173, "\x05", true},
                      VerdictCase{"Method255", 173, "\xFF", true},
                      VerdictCase{"BodySizeWrong", 15, Le32(1), true},
                      VerdictCase{"NameLength200", 40, "\xC8", true},
                      // The header says one byte more than its body decodes to.
                      VerdictCase{"HeaderLengthAboveTheDecoded", 11, Le32(56), false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Lists that point outside the ICQ folder --------------------------------------------

struct HostileCase {
  const char* name;
  std::string folder_part;
  std::string file_name;
  bool stays_inside = false;  // only a name Windows does not allow
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileListTest : public RestoreFixture, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileListTest, RefusedBeforeAnythingIsWritten) {
  drives_.WriteFile("C:\\ICQ\\newdb\\keep.dat", "keep");
  drives_.WriteFile("D:\\victim.dat", "victim");
  Store(1, "x", "payload");
  const std::string line = GetParam().folder_part + "***" + GetParam().file_name + "|||7";
  WriteList("Total Files : 1", {line});
  const auto before = SnapshotTree(drives_.Root());

  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kFailed);
  backup::ListEntry entry{GetParam().folder_part, GetParam().file_name, 7};
  const bool inside = GetParam().stays_inside;
  EXPECT_EQ(window_.lines, AboutBackup({" Problem:",
                                        inside ? " Entry 1 has a name Windows"
                                               : " Entry 1 would be written outside",
                                        inside ? "      does not allow:" : "      the ICQ Folder:",
                                        app::ShortPath(backup::EntryText(entry)) + "!", " ", " ",
                                        " Note:", " Nothing has been written for it!"}));
  EXPECT_EQ(SnapshotTree(drives_.Root()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, HostileListTest,
    ::testing::Values(
        HostileCase{"ParentTwice", "..\\..", "x"},
        HostileCase{"ParentAfterAFolder", "newdb\\..\\..\\..", "x"},
        HostileCase{"Parent", "..", "x"}, HostileCase{"Drive", "C:", "x"},
        HostileCase{"DriveFolder", "D:\\", "victim.dat"},
        HostileCase{"Unc", "\\\\server\\share", "x"}, HostileCase{"Rooted", "\\x", "f"},
        HostileCase{"RootedFolder", "\\newdb", "keep.dat"},
        HostileCase{"EmptyComponent", "a\\\\b", "f"},
        HostileCase{"TrailingBackslash", "newdb\\", "f"},
        HostileCase{"Dot", "newdb\\.", "keep.dat"},
        HostileCase{"ForwardSlashes", "newdb/../..", "x"},
        HostileCase{"ColonInName", "newdb", "a:b", true},
        HostileCase{"StarInName", "newdb", "a*b", true},
        HostileCase{"QuestionMarkInFolder", "new?db", "x", true},
        HostileCase{"ControlCharacter", "newdb",
                    "a\x01"
                    "b",
                    true},
        HostileCase{"BackslashInName", "newdb", "..\\..\\x"},
        HostileCase{"NameIsParent", "newdb", ".."}, HostileCase{"NameIsParentAtTheTop", "", ".."},
        HostileCase{"EmptyName", "newdb", "", true}, HostileCase{"ColonAtTheTop", "", "a:b", true},
        HostileCase{"ColonInFolder", "new:db", "x", true},
        HostileCase{"SlashInName", "newdb", "a/b", true},
        HostileCase{"DriveAfterAFolder", "newdb\\C:", "x", true},
        // Device names, with or without an extension, and trailing dots and blanks: Windows
        // cannot hold them, so a Linux restore writes none either.
        HostileCase{"DeviceName", "newdb", "CON", true},
        HostileCase{"DeviceNameInLowerCase", "newdb", "nul", true},
        HostileCase{"DeviceNameWithExtension", "newdb", "aux.dat", true},
        HostileCase{"NumberedDevice", "newdb", "COM1", true},
        HostileCase{"DeviceFolder", "lpt9", "x", true},
        HostileCase{"TrailingDot", "newdb", "a.", true},
        HostileCase{"TrailingSpace", "newdb", "a ", true},
        HostileCase{"TrailingDotInFolder", "newdb.", "x", true}),
    [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32  // symbolic links made on the host: the Linux layer's way out of a folder
struct LinkCase {
  const char* name;
  const char* link;    // in the ICQ folder
  const char* points;  // host path relative to the sandbox root
  const char* line;
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class LinkTest : public RestoreFixture, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkTest, LinkLeadingOutOfTheIcqFolderIsRefused) {
  drives_.WriteFile("D:\\elsewhere\\a.dat", "elsewhere");
  drives_.WriteFile("D:\\victim.dat", "victim");
  drives_.MakeFolder("C:\\ICQ\\newdb");
  fs::create_symlink(drives_.Root() / GetParam().points, drives_.Host(GetParam().link));
  Store(1, "a.dat", "payload");
  WriteList("Total Files : 1", {GetParam().line});
  const auto before = SnapshotTree(drives_.Root());

  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kFailed);
  ASSERT_EQ(window_.lines.size(), 16u);
  EXPECT_EQ(window_.lines[9], " Entry 1 leads out of the ICQ Folder");
  EXPECT_EQ(window_.lines[10], "      through a link:");
  EXPECT_EQ(SnapshotTree(drives_.Root()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Links, LinkTest,
    ::testing::Values(
        LinkCase{"Folder", "C:\\ICQ\\db", "D/elsewhere", "db***a.dat|||7"},
        LinkCase{"FolderOnTheWay", "C:\\ICQ\\db", "D/elsewhere", "db\\new***a.dat|||7"},
        LinkCase{"DataFile", "C:\\ICQ\\newdb\\a.dat", "D/victim.dat", "newdb***a.dat|||7"},
        LinkCase{"Dangling", "C:\\ICQ\\newdb\\a.dat", "D/nothing", "newdb***a.dat|||7"},
        LinkCase{"OtherCase", "C:\\ICQ\\DB", "C/home", "db***a.dat|||7"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreFixture, LinkThatStaysInTheIcqFolderIsFollowed) {
  drives_.MakeFolder("C:\\ICQ\\realdb");
  fs::create_directory_symlink(drives_.Host("C:\\ICQ\\realdb"), drives_.Host("C:\\ICQ\\newdb"));
  Store(1, "a.dat", "payload");
  WriteList("Total Files : 1", {"newdb***a.dat|||7"});
  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\realdb\\a.dat"), "payload");
}

// A link made where the restore is about to make a folder, before each of its operations in
// turn: either the restore got there first, or the link is named as the cause.
TEST_F(RestoreFixture, LinkMadeWhereAFolderIsToBeMadeIsReportedAsALink) {
  drives_.MakeFolder("D:\\outside");
  Store(1, "a.dat", "payload");
  WriteList("Total Files : 1", {"newdb***a.dat|||7"});
  platform::testing::ResetFaults();
  ASSERT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded);
  const int operations = platform::testing::OperationCount();
  const fs::path folder = drives_.Host("C:\\ICQ") / "newdb";
  int refused = 0;
  for (int link_at = 1; link_at <= operations; ++link_at) {
    const std::string when = "linked before operation " + std::to_string(link_at);
    fs::remove_all(folder);
    window_ = RecordingWindow();
    platform::testing::ResetFaults();
    platform::testing::BeforeNthOperation(link_at, [&] {
      std::error_code ignored;
      fs::create_directory_symlink(drives_.Host("D:\\outside"), folder, ignored);
    });
    const RestoreOutcome outcome = RestoreFilesOnly();
    platform::testing::ResetFaults();
    EXPECT_TRUE(fs::is_empty(drives_.Host("D:\\outside"))) << when;
    if (outcome == RestoreOutcome::kSucceeded) continue;
    ++refused;
    ASSERT_EQ(window_.lines.size(), 16u) << when << ": " << ::testing::PrintToString(window_.lines);
    EXPECT_EQ(window_.lines[10], "      through a link:") << when;
  }
  EXPECT_GT(refused, 0);
  fs::remove_all(folder);
}
#endif

// A folder the restore may not enter is named as such, not as a link.
TEST_F(RestoreFixture, FolderThatCannotBeEnteredIsNamed) {
  drives_.WriteFile("C:\\ICQ\\newdb\\a.dat", "old a");
  Store(1, "a.dat", "payload");
  WriteList("Total Files : 1", {"newdb***a.dat|||7"});
  platform::testing::HoldOpen("C:\\ICQ\\newdb");
  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kFailed);
  EXPECT_EQ(window_.lines, (std::vector<std::string>{" ", " Error!", " ", " Cannot open folder : ",
                                                     " C:\\ICQ\\newdb!", " ", " ", " Note:",
                                                     " Make sure you may read it",
                                                     "      and no program holds it!"}));
  platform::testing::ResetFaults();
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), "old a");
}

TEST_F(RestoreFixture, PathTooLongForTheEngineIsRefused) {
  const std::string folder(250, 'f');
  Store(1, "a.dat", "payload");
  WriteList("Total Files : 1", {folder + "***a.dat|||7"});
  const auto before = SnapshotTree(drives_.Root());
  EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kFailed);
  ASSERT_EQ(window_.lines.size(), 16u);
  EXPECT_EQ(window_.lines[9], " Entry 1 has a path too long");
  EXPECT_EQ(SnapshotTree(drives_.Root()), before);
}

// --- Interruption ---------------------------------------------------------------------------

class InterruptionTest : public RestoreFixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    tuning_.flush_in_background = GetParam();
    files_ = {{"newdb", "a.dat", std::string(3000, 'a')},
              {"newdb\\new", "c.dat", "c is new"},
              {"uin", "empty.dat", ""},
              {"newdb", "b.dat", Text(random_, 70000)},
              {"newdb", "d.dat", "d"}};
    MakeBackup(files_);
  }

  void WriteOldTree() {
    fs::remove_all(drives_.Host("C:\\ICQ"));
    drives_.WriteFile("C:\\ICQ\\icq.exe", "");
    for (const DataFile& file : files_) {
      if (file.name != "c.dat") drives_.WriteFile(DataPath(file), "old " + file.name);
    }
  }

  // The file operations a restore of the backup over the old tree takes.
  int OperationsOfARestore() {
    WriteOldTree();
    platform::testing::ResetFaults();
    EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded);
    return platform::testing::OperationCount();
  }

  // Each data file is whole: old, or new, or not there yet when it is new to the tree.
  void ExpectEachDataFileOldOrNew(const std::string& when) {
    for (const DataFile& file : files_) {
      const std::string path = DataPath(file);
      const std::string old = "old " + file.name;
      if (!drives_.Exists(path)) {
        EXPECT_EQ(file.name, "c.dat") << when << " lost " << path;
        continue;
      }
      const std::string now = drives_.ReadFile(path);
      EXPECT_TRUE(now == file.bytes || (now == old && file.name != "c.dat"))
          << when << " left " << path << " with " << now.size() << " bytes";
    }
  }

  // The names of the files below the ICQ folder that only the restore makes (icq.tmp,
  // icq-N.tmp, torq32-N.tmp): none of the data files is named so.
  std::vector<std::string> OwnFileNames() {
    std::vector<std::string> names;
    for (const auto& [path, content] : SnapshotTree(drives_.Host("C:\\ICQ"))) {
      const std::string name = fs::path(path).filename().string();
      if ((name.starts_with("icq") || name.starts_with("torq32-")) && name.ends_with(".tmp")) {
        names.push_back(name);
      }
    }
    return names;
  }

  std::mt19937 random_{11};
  std::vector<DataFile> files_;
};

TEST_P(InterruptionTest, EveryDataFileIsOldOrNewWhicheverOperationFails) {
  const int operations = OperationsOfARestore();
  ASSERT_GT(operations, 20);

  for (int failing = 1; failing <= operations; ++failing) {
    WriteOldTree();
    window_ = RecordingWindow();
    platform::testing::ResetFaults();
    platform::testing::FailNthOperation(failing);
    try {
      RestoreFilesOnly();
    } catch (const std::exception&) {
      // An error that ends the restore: what matters is what it left.
    }
    platform::testing::ResetFaults();
    ExpectEachDataFileOldOrNew("operation " + std::to_string(failing));
  }
}

#ifndef _WIN32  // fork and SIGKILL
// A restore killed before each of its file operations in turn, in a child process (the
// kill a power cut or kill -9 would be), then run again to its end.
TEST_P(InterruptionTest, KilledAnywhereThenRunAgainLeavesNoFileOfItsOwn) {
  const int operations = OperationsOfARestore();
  ASSERT_GT(operations, 20);

  int staged_left = 0;
  for (int killed_at = 1; killed_at <= operations; ++killed_at) {
    const std::string when = "killed before operation " + std::to_string(killed_at);
    WriteOldTree();
    window_ = RecordingWindow();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::testing::ResetFaults();
      platform::testing::BeforeNthOperation(killed_at, [] { ::raise(SIGKILL); });
      try {
        RestoreFilesOnly();
      } catch (...) {
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << when;
    ExpectEachDataFileOldOrNew(when);
    for (const std::string& name : OwnFileNames()) staged_left += name != "icq.tmp";

    window_ = RecordingWindow();
    platform::testing::ResetFaults();
    ASSERT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded) << when;
    EXPECT_EQ(window_.lines, kSuccess) << when;
    for (const DataFile& file : files_) {
      EXPECT_EQ(drives_.ReadFile(DataPath(file)), file.bytes) << when << ", " << file.name;
    }
    EXPECT_EQ(OwnFileNames(), std::vector<std::string>{}) << when << ", then run again";
  }
  // Only flushing in the background stages copies; the kills must have met some.
  if (GetParam()) {
    EXPECT_GT(staged_left, 0);
  }
}
#endif

INSTANTIATE_TEST_SUITE_P(Flushing, InterruptionTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? std::string("InTheBackground") : std::string("AtOnce");
});

// --- Round trip -------------------------------------------------------------------------------

// What a data file is: its bytes, and its date-time where the backup keeps one (an empty
// file has no compressed file, so nothing keeps its date).
struct Stamped {
  std::string bytes;
  std::optional<std::uint32_t> dos_time;
  bool operator==(const Stamped&) const = default;
};

class RoundTripTest : public RestoreFixture {
 protected:
  void MakeTree() { MakeDataTree(drives_, 2026); }

  // A window as the next action finds it: nothing on the screen, the same folders.
  void FreshWindow() {
    window_ = RecordingWindow();
    window_.HomeFolder = "C:\\home";
    window_.icq_folder = "C:\\ICQ";
    window_.SetBackupFolderText("D:\\backup");
  }

  std::map<std::string, Stamped> DataTree() {
    std::map<std::string, Stamped> tree;
    for (const auto& [path, content] : SnapshotTree(drives_.Host("C:\\ICQ"))) {
      std::string windows = "C:\\ICQ\\" + path;
      std::replace(windows.begin(), windows.end(), '/', '\\');
      const bool dated = content != "<folder>" && !content.empty();
      tree[path] = {content, dated ? platform::GetFileDosTime(windows) : std::nullopt};
    }
    return tree;
  }
};

TEST_F(RoundTripTest, ChangedAndDeletedFilesComeBackWithTheirBytesAndTimes) {
  drives_.WriteFile("C:\\home\\back.dat", "uin\r\nnewdb\r\nplugins\r\nTheEnd\r\nx\r\n");
  MakeTree();
  ASSERT_EQ(backup::BackupClick(window_), backup::BackupOutcome::kSucceeded);
  const auto original = DataTree();
  ASSERT_GE(original.size(), 320u);

  int changed = 0;
  for (const auto& [path, stamped] : original) {
    if (stamped.bytes == "<folder>" || path == "icq.exe") continue;
    const fs::path host = drives_.Root() / "C" / "ICQ" / path;
    switch (changed++ % 5) {
      case 0:
        fs::remove(host);
        break;
      case 1:
        std::ofstream(host, std::ios::binary | std::ios::app) << "more";
        break;
      case 2:
        std::ofstream(host, std::ios::binary | std::ios::trunc) << "other";
        break;
      default:
        break;
    }
  }
  fs::remove_all(drives_.Host("C:\\ICQ\\newdb\\Sub\\Deeper"));
  ASSERT_FALSE(DataTree() == original);

  FreshWindow();
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kSuccess);
  const auto restored = DataTree();
  for (const auto& [path, stamped] : original) {
    const auto found = restored.find(path);
    ASSERT_NE(found, restored.end()) << path;
    EXPECT_TRUE(found->second.bytes == stamped.bytes) << path;
    EXPECT_EQ(found->second.dos_time, stamped.dos_time) << path;
  }
  EXPECT_EQ(restored.size(), original.size());
}

#ifndef _WIN32  // two names differing only in case cannot both exist on Windows
TEST_F(RoundTripTest, TreeWithACasePairALockedFolderAndAReadOnlyFileIsStoppedOrWhole) {
  drives_.WriteFile("C:\\home\\back.dat", "uin\r\nnewdb\r\nplugins\r\nTheEnd\r\nx\r\n");
  MakeTree();
  const std::string earlier_list = "Total Files : 1\r\nnewdb***old.dat|||3\r\n";
  drives_.WriteFile("D:\\backup\\icqlist.txt", earlier_list);
  drives_.WriteFile("D:\\backup\\icq1.lzz", "old");
  drives_.WriteFile("C:\\ICQ\\newdb\\Index.html", "<upper>");
  drives_.WriteFile("C:\\ICQ\\newdb\\index.html", "<lower>");
  drives_.WriteFile("C:\\ICQ\\plugins\\locked\\inside.dat", "in the locked folder");
  drives_.WriteFile("C:\\ICQ\\uin\\readonly.uin", "UIN 12345");
  ASSERT_EQ(platform::SetAttributes("C:\\ICQ\\uin\\readonly.uin", platform::faReadOnly), 0);
  platform::testing::HoldOpen("C:\\ICQ\\plugins\\locked");
  const auto earlier_untouched = [&] {
    EXPECT_EQ(drives_.ReadFile("D:\\backup\\icqlist.txt"), earlier_list);
    EXPECT_EQ(drives_.ReadFile("D:\\backup\\icq1.lzz"), "old");
    EXPECT_FALSE(drives_.Exists("D:\\backup\\icq2.lzz"));
  };
  const auto backup = [&] {
    FreshWindow();
    window_.answers = {true};
    return backup::BackupClick(window_);
  };

  // Each of the first two stops the backup, naming the path, before the question.
  ASSERT_EQ(backup(), backup::BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines[4], " C:\\ICQ\\newdb\\index.html!");
  EXPECT_TRUE(window_.questions.empty());
  earlier_untouched();
  fs::rename(drives_.Host("C:\\ICQ\\newdb\\index.html"),
             drives_.Host("C:\\ICQ\\newdb\\index2.html"));
  ASSERT_EQ(backup(), backup::BackupOutcome::kFailed);
  EXPECT_EQ(window_.lines[4], " C:\\ICQ\\plugins\\locked!");
  EXPECT_TRUE(window_.questions.empty());
  earlier_untouched();

  // Once the folder can be entered, the whole tree comes back, read-only file and all.
  platform::testing::Release("C:\\ICQ\\plugins\\locked");
  ASSERT_EQ(backup(), backup::BackupOutcome::kSucceeded);
  const auto original = DataTree();
  std::map<std::string, std::optional<std::uint32_t>> attributes;
  for (const auto& [path, stamped] : original) {
    attributes[path] = platform::GetAttributes("C:\\ICQ\\" + path);
  }
  ASSERT_EQ(attributes["uin/readonly.uin"], platform::faReadOnly | platform::faArchive);
  for (const char* folder : {"uin", "newdb", "plugins"}) {
    fs::remove_all(drives_.Host(std::string("C:\\ICQ\\") + folder));
  }
  FreshWindow();
  EXPECT_EQ(Restore(), RestoreOutcome::kSucceeded);
  EXPECT_EQ(window_.lines, kSuccess);
  const auto restored = DataTree();
  EXPECT_EQ(restored.size(), original.size());
  for (const auto& [path, stamped] : original) {
    const auto found = restored.find(path);
    ASSERT_NE(found, restored.end()) << path;
    EXPECT_TRUE(found->second == stamped) << path;
    EXPECT_EQ(platform::GetAttributes("C:\\ICQ\\" + path), attributes[path]) << path;
  }
}
#endif

// A stop requested while entry 2 is decoded ends the restore there: entry 1 is in
// place, the others are untouched, and no temporary file is left.
TEST_F(RestoreFixture, StopRequestLeavesNoTemporaryFile) {
  class StoppingWindow : public RecordingWindow {
   public:
    void AppendLine(const std::string& line) override {
      if (line == " C:\\ICQ\\newdb\\b.dat") platform::RequestStop();
      RecordingWindow::AppendLine(line);
    }
  } window;
  window.HomeFolder = window_.HomeFolder;
  window.icq_folder = window_.icq_folder;
  window.SetBackupFolderText(window_.backup_text);
  const std::vector<DataFile> files = {{"newdb", "a.dat", std::string(200000, 'a')},
                                       {"newdb", "b.dat", std::string(200000, 'b')},
                                       {"newdb", "c.dat", std::string(200000, 'c')}};
  MakeBackup(files);
  drives_.WriteFile("C:\\ICQ\\newdb\\b.dat", "old b");
  window.answers = {true};
  try {
    backup::RestoreClick(window, tuning_);
    ADD_FAILURE() << "no error raised";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), platform::kOperationAborted);
  }
  platform::ClearStopRequest();
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), files[0].bytes);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\b.dat"), "old b");
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\c.dat"));
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\icq.tmp"));
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\icq1.tmp"));
}

// The restore takes a data file's name as new when its folder held none, and renames the
// copy in without replacing: a file another program puts there meanwhile, before any of
// the restore's operations, is still replaced by the restored one, never kept instead.
TEST_F(RestoreFixture, FileMadeMeanwhileUnderANewNameIsReplaced) {
  const std::vector<DataFile> files = {{"db", "a.dat", "restored a"}, {"db", "b.dat", "restored b"}};
  MakeBackup(files);
  drives_.MakeFolder("C:\\ICQ\\db");
  platform::testing::ResetFaults();
  ASSERT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded);
  const int operations = platform::testing::OperationCount();
  for (int before = 1; before <= operations; ++before) {
    const std::string when = "made before operation " + std::to_string(before);
    fs::remove_all(drives_.Host("C:\\ICQ\\db"));
    drives_.MakeFolder("C:\\ICQ\\db");
    window_ = RecordingWindow();
    platform::testing::ResetFaults();
    platform::testing::BeforeNthOperation(before, [&] {
      if (!drives_.Exists("C:\\ICQ\\db\\b.dat")) {
        drives_.WriteFile("C:\\ICQ\\db\\b.dat", "another program's b");
      }
    });
    EXPECT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded) << when;
    platform::testing::ResetFaults();
    EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\db\\b.dat"), "restored b") << when;
    EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\db\\a.dat"), "restored a") << when;
  }
}

#ifndef _WIN32  // links swapped in with renameat2: the Linux layer's race
// --- A data folder swapped for a link ---------------------------------------------------------

// A data folder and a link to a folder outside the ICQ folder change places in one step, as
// a hostile program would swap them back and forth while the restore runs.
class SwapTest : public RestoreFixture {
 protected:
  void SetUp() override {
    for (int i = 0; i < 60; ++i) {
      const std::string folder = i % 4 == 3 ? "newdb\\sub" : "newdb";
      files_.push_back({folder, "file" + std::to_string(i) + ".dat",
                        Text(random_, static_cast<std::size_t>(i * 53 % 700)) + std::to_string(i)});
    }
    MakeBackup(files_);
  }

  // Exchanges the folder (a folder part) with its link; false when it could not.
  bool Swap(const std::string& folder) const {
    const fs::path real = drives_.Host("C:\\ICQ\\" + folder);
    const fs::path link = real.parent_path() / "swap-link";
    return ::renameat2(AT_FDCWD, real.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0;
  }

  // The old tree, every other data file missing, and the link beside the swapped folder.
  void WriteOldTree(const std::string& swapped) {
    fs::remove_all(drives_.Host("C:\\ICQ"));
    fs::remove_all(drives_.Host("D:\\outside"));
    drives_.MakeFolder("D:\\outside");
    drives_.WriteFile("C:\\ICQ\\icq.exe", "");
    drives_.MakeFolder("C:\\ICQ\\newdb\\sub");
    for (std::size_t i = 0; i < files_.size(); i += 2) {
      drives_.WriteFile(DataPath(files_[i]), "old " + files_[i].name);
    }
    const fs::path real = drives_.Host("C:\\ICQ\\" + swapped);
    fs::create_directory_symlink(drives_.Host("D:\\outside"), real.parent_path() / "swap-link");
  }

  // With the folder back in its place: nothing outside, and each data file wholly old or
  // wholly new (or still missing).
  void ExpectNothingOutsideAndEachFileOldOrNew(const std::string& when) {
    EXPECT_TRUE(fs::is_empty(drives_.Host("D:\\outside"))) << when;
    for (std::size_t i = 0; i < files_.size(); ++i) {
      const std::string path = DataPath(files_[i]);
      if (!drives_.Exists(path)) {
        EXPECT_TRUE(i % 2 == 1) << when << " lost " << path;
        continue;
      }
      const std::string now = drives_.ReadFile(path);
      EXPECT_TRUE(now == files_[i].bytes || (i % 2 == 0 && now == "old " + files_[i].name))
          << when << " left " << path << " with " << now.size() << " bytes";
    }
  }

  // The entry a failed restore refused as leading out through a link; 0 for another report.
  std::uint64_t RefusedEntry() const {
    if (window_.lines.size() != 16 || window_.lines[10] != "      through a link:") return 0;
    const std::string& line = window_.lines[9];  // " Entry N leads out of the ICQ Folder"
    return std::stoull(line.substr(7));
  }

  std::mt19937 random_{17};
  std::vector<DataFile> files_;
};

// Another thread swaps the data folder for a link to an outside folder and back, as fast
// as it can while the restore runs; in some runs the folder stays in place a while
// between two swaps, so that the restore gets further.
TEST_F(SwapTest, FolderSwappedForALinkInATightLoopGetsNothingWrittenOutside) {
  constexpr int kRuns = 40;
  int refused = 0;
  int succeeded = 0;
  std::uint64_t latest_refusal = 0;
  for (int run = 0; run < kRuns; ++run) {
    const std::string when = "run " + std::to_string(run);
    WriteOldTree("newdb");
    window_ = RecordingWindow();
    std::atomic<bool> stop{false};
    int swaps = 0;
    std::thread swapper([&] {
      const auto pause = std::chrono::microseconds(run % 4 == 0 ? 0 : 1 << (run % 4 * 3));
      while (!stop) {
        swaps += Swap("newdb");
        if (swaps % 2 == 0 && pause.count() > 0) std::this_thread::sleep_for(pause);
      }
    });
    RestoreOutcome outcome = RestoreOutcome::kFailed;
    try {
      outcome = RestoreFilesOnly();
    } catch (const std::exception& error) {
      ADD_FAILURE() << when << ": " << error.what();
    }
    stop = true;
    swapper.join();
    if (swaps % 2 != 0) {
      ASSERT_TRUE(Swap("newdb"));
    }
    ExpectNothingOutsideAndEachFileOldOrNew(when);
    if (outcome == RestoreOutcome::kSucceeded) {
      ++succeeded;
    } else {
      const std::uint64_t entry = RefusedEntry();
      EXPECT_NE(entry, 0u) << when << ": " << ::testing::PrintToString(window_.lines);
      ++refused;
      latest_refusal = std::max(latest_refusal, entry);
    }
  }
  EXPECT_GT(refused, 0) << "the swaps never met the restore";
  std::cout << "swap test: " << refused << " restores refused (the latest at entry "
            << latest_refusal << "), " << succeeded << " succeeded\n";
}

struct SwapCase {
  const char* name;
  const char* swapped;  // the folder part that becomes a link
};

void PrintTo(const SwapCase& c, std::ostream* os) { *os << c.name; }

class SwapAtAnOperationTest : public SwapTest, public ::testing::WithParamInterface<SwapCase> {};

// The swap made before the restore starts, and then just before each of its file
// operations in turn: between two entries it stops the restore at the second.
TEST_P(SwapAtAnOperationTest, LinkMadeBeforeOrDuringTheRestoreIsRefused) {
  const std::string swapped = GetParam().swapped;
  tuning_.flush_stand_in = [](const std::string&) { return 0; };  // a run per operation
  files_.resize(8);
  const std::uint64_t first_in_folder = swapped == "newdb" ? 1 : 4;  // 4: the first in newdb\sub
  MakeBackup(files_);
  WriteOldTree(swapped);
  platform::testing::ResetFaults();
  ASSERT_EQ(RestoreFilesOnly(), RestoreOutcome::kSucceeded);
  const int operations = platform::testing::OperationCount();

  std::set<std::uint64_t> refused_entries;
  for (int swap_at = 0; swap_at <= operations; ++swap_at) {
    const std::string when = "swapped before operation " + std::to_string(swap_at);
    WriteOldTree(swapped);
    window_ = RecordingWindow();
    platform::testing::ResetFaults();
    bool is_swapped = false;
    if (swap_at == 0) {
      ASSERT_TRUE(is_swapped = Swap(swapped));
    } else {
      platform::testing::BeforeNthOperation(swap_at, [&] { is_swapped = Swap(swapped); });
    }
    const RestoreOutcome outcome = RestoreFilesOnly();
    platform::testing::ResetFaults();
    if (is_swapped) {
      ASSERT_TRUE(Swap(swapped));
    }
    ExpectNothingOutsideAndEachFileOldOrNew(when);
    if (outcome == RestoreOutcome::kSucceeded) continue;
    const std::uint64_t entry = RefusedEntry();
    EXPECT_NE(entry, 0u) << when << ": " << ::testing::PrintToString(window_.lines);
    refused_entries.insert(entry);
    if (swap_at == 0) {
      EXPECT_EQ(entry, first_in_folder) << when;
    }
  }
  // Refused at its first entry in the folder, and between later entries too.
  ASSERT_FALSE(refused_entries.empty());
  EXPECT_EQ(*refused_entries.begin(), first_in_folder);
  EXPECT_GT(*refused_entries.rbegin(), first_in_folder);
}

INSTANTIATE_TEST_SUITE_P(Folders, SwapAtAnOperationTest,
                         ::testing::Values(SwapCase{"DataFolder", "newdb"},
                                           SwapCase{"FolderOnTheWay", "newdb\\sub"}),
                         [](const auto& info) { return std::string(info.param.name); });

#endif

}  // namespace
