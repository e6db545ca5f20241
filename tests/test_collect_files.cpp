// The collection walk on real folders of a temporary drive, and the file line format.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "backup/collect_files.h"
#include "drive_sandbox.h"
#include "platform/fault_injection.h"
#include "platform/io_error.h"

namespace {

using Lines = std::vector<std::string>;

std::string Joined(const Lines& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

class CollectFilesTest : public ::testing::Test {
 protected:
  CollectFilesTest() : drives_({'C'}) {
    drives_.WriteFile("C:\\home\\icqlist.tmp", "");
    drives_.MakeFolder("C:\\ICQ");
    collection_.icq_path = "C:\\ICQ";
    list_ = platform::File::Open("C:\\home\\icqlist.tmp", platform::OpenMode::kAppend);
    collection_.list = &list_;
  }
  ~CollectFilesTest() override { platform::testing::ResetFaults(); }

  void Data(const std::string& path, const std::string& bytes) {
    drives_.WriteFile("C:\\ICQ\\" + path, bytes);
  }
  bool Collect(const std::string& entry) {
    return backup::CollectFiles(collection_.icq_path + "\\" + entry, collection_);
  }
  std::string List() const { return drives_.ReadFile("C:\\home\\icqlist.tmp"); }

  DriveSandbox drives_;
  platform::File list_;
  backup::Collection collection_;
};

TEST_F(CollectFilesTest, ListsEveryFileDepthFirstInSearchOrder) {
  Data("newdb\\b.dat", "bbbbb");
  Data("newdb\\.hidden", "hhh");
  Data("newdb\\a.txt", "aa");
  Data("newdb\\_u.dat", "u");  // "_" sorts after the letters once upper-cased
  Data("newdb\\Sub\\x.dat", "xxxxxxx");
  Data("newdb\\Sub\\deeper\\y.idx", "");
  Data("newdb\\c\\z", "z");
  drives_.MakeFolder("C:\\ICQ\\newdb\\empty");

  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(List(), Joined({"newdb***.hidden|||3", "newdb***a.txt|||2", "newdb***b.dat|||5",
                            "newdb\\c***z|||1", "newdb\\Sub\\deeper***y.idx|||0",
                            "newdb\\Sub***x.dat|||7", "newdb***_u.dat|||1"}));
  EXPECT_EQ(collection_.count, 7u);
  EXPECT_EQ(collection_.stop, backup::CollectStop::kNone);
}

TEST_F(CollectFilesTest, FolderPartKeepsEntryCaseAndDiskCaseBelowIt) {
  Data("NewDB\\Sub\\f.dat", "ffff");
  Data("NewDB\\g.dat", "g");
  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(List(), Joined({"newdb***g.dat|||1", "newdb\\Sub***f.dat|||4"}));
}

TEST_F(CollectFilesTest, IcqFolderAtDriveRootCutsDriveAndBackslash) {
  drives_.WriteFile("C:\\newdb\\f.dat", "f");
  drives_.WriteFile("C:\\newdb\\in\\g.dat", "gg");
  collection_.icq_path = "C:";
  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(List(), Joined({"newdb***f.dat|||1", "newdb\\in***g.dat|||2"}));
}

TEST_F(CollectFilesTest, EntriesShareOneCountAndMissingOnesAddNothing) {
  Data("uin\\1234.dat", "12");
  Data("newdb\\a", "a");
  Data("newdb\\b", "b");
  Data("db", "an entry that names a file");
  EXPECT_TRUE(Collect("uin"));
  EXPECT_TRUE(Collect("2000b"));
  EXPECT_TRUE(Collect("db"));
  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(collection_.count, 3u);
  EXPECT_EQ(List(), Joined({"uin***1234.dat|||2", "newdb***a|||1", "newdb***b|||1"}));
}

#ifndef _WIN32  // symbolic links made on the host
TEST_F(CollectFilesTest, LinkBackUpTheTreeIsNeitherListedNorEntered) {
  Data("newdb\\a.dat", "a");
  Data("newdb\\sub\\b.dat", "bb");
  const auto sub = drives_.Host("C:\\ICQ\\newdb\\sub");
  std::filesystem::create_directory_symlink("..", sub / "parent");
  std::filesystem::create_directory_symlink(".", sub / "self");
  std::filesystem::create_directory_symlink(drives_.Host("C:\\ICQ\\newdb"), sub / "root");
  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(List(), Joined({"newdb***a.dat|||1", "newdb\\sub***b.dat|||2"}));
  EXPECT_EQ(collection_.count, 2u);
}

TEST_F(CollectFilesTest, LinkToAFolderOutsideIsWalkedLikeAFolder) {
  Data("newdb\\a.dat", "a");
  drives_.WriteFile("C:\\elsewhere\\e.dat", "eee");
  std::filesystem::create_directory_symlink(drives_.Host("C:\\elsewhere"),
                                            drives_.Host("C:\\ICQ\\newdb\\link"));
  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(List(), Joined({"newdb***a.dat|||1", "newdb\\link***e.dat|||3"}));
}
#endif

TEST_F(CollectFilesTest, LargestSizeTheListHoldsIsListed) {
  Data("newdb\\big.dat", "");
  std::filesystem::resize_file(drives_.Host("C:\\ICQ\\newdb\\big.dat"), 0x7FFFFFFF);
  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(List(), Joined({"newdb***big.dat|||2147483647"}));
}

struct StopCase {
  const char* name;
  const char* bad_entry;  // below newdb; a trailing "\" makes it a folder
  backup::CollectStop stop;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class CollectStopTest : public CollectFilesTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(CollectStopTest, StopsAtTheEntryAndNamesIt) {
  Data("newdb\\a.dat", "a");
  Data("newdb\\z.dat", "z");
  std::string bad = GetParam().bad_entry;
  if (GetParam().stop == backup::CollectStop::kFileTooLarge) {
    Data("newdb\\" + bad, "");
    std::filesystem::resize_file(drives_.Host("C:\\ICQ\\newdb\\" + bad), 0x80000000LL);
  } else if (bad.back() == '\\') {
    bad.pop_back();
    std::filesystem::create_directories(drives_.Host("C:\\ICQ\\newdb") / bad);
    std::ofstream(drives_.Host("C:\\ICQ\\newdb") / bad / "in.dat") << "in";
  } else {
    std::ofstream(drives_.Host("C:\\ICQ\\newdb") / bad) << "bad";
  }

  EXPECT_FALSE(Collect("newdb"));
  EXPECT_EQ(collection_.stop, GetParam().stop);
  EXPECT_EQ(collection_.stop_path, "C:\\ICQ\\newdb\\" + bad);
  EXPECT_EQ(List(), Joined({"newdb***a.dat|||1"}));  // what came before stays, nothing after
  EXPECT_EQ(collection_.count, 1u);
}

const StopCase kStopCases[] = {
#ifndef _WIN32  // names that Windows cannot make, but a Linux disk holds
    StopCase{"Asterisk", "m*n.dat", backup::CollectStop::kNameNotListable},
    StopCase{"Bar", "m|n.dat", backup::CollectStop::kNameNotListable},
    StopCase{"Question", "m?.dat", backup::CollectStop::kNameNotListable},
    StopCase{"Colon", "m:n", backup::CollectStop::kNameNotListable},
    StopCase{"LineBreak", "m\nn.dat", backup::CollectStop::kNameNotListable},
    StopCase{"FolderWithBar", "m|dir\\", backup::CollectStop::kNameNotListable},
    StopCase{"DeviceName", "aux.dat", backup::CollectStop::kNameNotListable},
    StopCase{"TrailingDot", "m.", backup::CollectStop::kNameNotListable},
    StopCase{"FolderWithTrailingSpace", "m \\", backup::CollectStop::kNameNotListable},
#endif
    StopCase{"TwoGibibytes", "m.dat", backup::CollectStop::kFileTooLarge}};

INSTANTIATE_TEST_SUITE_P(Entries, CollectStopTest, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32  // two names in different case in one folder: only a Linux disk holds them
struct CasePairCase {
  const char* name;
  const char* first;   // below newdb; a trailing "\" makes it a folder
  const char* second;  // the one the walk meets second, and names
};

void PrintTo(const CasePairCase& c, std::ostream* os) { *os << c.name; }

class CasePairTest : public CollectFilesTest, public ::testing::WithParamInterface<CasePairCase> {
 protected:
  void Make(std::string entry, const std::string& bytes) {
    if (entry.back() == '\\') {
      entry.pop_back();
      Data("newdb\\" + entry + "\\in.dat", bytes);
    } else {
      Data("newdb\\" + entry, bytes);
    }
  }
};

TEST_P(CasePairTest, SecondNameOfThePairStopsTheWalk) {
  Data("newdb\\a.dat", "a");
  Data("newdb\\z.dat", "z");
  Make(GetParam().first, "one");
  Make(GetParam().second, "two");
  EXPECT_FALSE(Collect("newdb"));
  EXPECT_EQ(collection_.stop, backup::CollectStop::kCasePair);
  std::string second = GetParam().second;
  if (second.back() == '\\') second.pop_back();
  EXPECT_EQ(collection_.stop_path, "C:\\ICQ\\newdb\\" + second);
  EXPECT_EQ(List().find("z.dat"), std::string::npos);  // nothing after the pair
}

INSTANTIATE_TEST_SUITE_P(Pairs, CasePairTest,
                         ::testing::Values(CasePairCase{"Files", "README", "readme"},
                                           CasePairCase{"FilesWithExtension", "Index.html",
                                                        "index.html"},
                                           CasePairCase{"Folders", "Sub\\", "sub\\"},
                                           CasePairCase{"FileAndFolder", "LOG", "log\\"}),
                         [](const auto& info) { return std::string(info.param.name); });
#endif

TEST_F(CollectFilesTest, SameNameInTwoFoldersIsNoPair) {
  Data("newdb\\readme", "1");
  Data("newdb\\Sub\\README", "2");
  Data("newdb\\Sub\\deeper\\Readme", "3");
  EXPECT_TRUE(Collect("newdb"));
  EXPECT_EQ(collection_.count, 3u);
}

TEST_F(CollectFilesTest, FolderThatCannotBeEnteredStopsTheWalkAndIsNamed) {
  Data("newdb\\a.dat", "a");
  Data("newdb\\locked\\secret.dat", "never read");
  Data("newdb\\z.dat", "z");
  platform::testing::HoldOpen("C:\\ICQ\\newdb\\locked");  // as without the right to enter it
  EXPECT_FALSE(Collect("newdb"));
  EXPECT_EQ(collection_.stop, backup::CollectStop::kFolderNotEntered);
  EXPECT_EQ(collection_.stop_path, "C:\\ICQ\\newdb\\locked");
  EXPECT_EQ(List(), Joined({"newdb***a.dat|||1"}));  // no empty "file" line for it
  EXPECT_EQ(collection_.count, 1u);
}

TEST_F(CollectFilesTest, FailedAppendRaisesInsteadOfLosingTheLine) {
  Data("newdb\\a.dat", "a");
  Data("newdb\\b.dat", "b");
  platform::testing::FailNthOperation(2, platform::testing::FileOp::kWrite, platform::kDiskFull);
  try {
    Collect("newdb");
    FAIL() << "no error raised";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.ErrorCode(), platform::kDiskFull);
  }
  EXPECT_EQ(List(), Joined({"newdb***a.dat|||1"}));
}

struct LineCase {
  const char* line;
  const char* folder_part;
  const char* name;
  long long size;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class FileLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(FileLineTest, SplitsAsTheReadersDo) {
  const auto fields = backup::SplitFileLine(GetParam().line);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->folder_part, GetParam().folder_part);
  EXPECT_EQ(fields->name, GetParam().name);
  EXPECT_EQ(fields->size, GetParam().size);
  EXPECT_EQ(backup::FileLine(fields->folder_part, fields->name, fields->size), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Lines, FileLineTest,
                         ::testing::Values(LineCase{"newdb\\sub***12345.dat|||2048", "newdb\\sub",
                                                    "12345.dat", 2048},
                                           LineCase{"2000b***a b.c.d|||0", "2000b", "a b.c.d", 0},
                                           LineCase{"uin***x|||2147483647", "uin", "x", 2147483647},
                                           LineCase{"db***70000|||70000", "db", "70000", 70000}));

TEST(FileLineSplit, RejectsALineWithoutSize) {
  EXPECT_FALSE(backup::SplitFileLine("newdb***a.dat").has_value());
  EXPECT_FALSE(backup::SplitFileLine("newdb***a.dat|||12x").has_value());
  EXPECT_FALSE(backup::SplitFileLine("").has_value());
}

}  // namespace
