// Folders held open: what is made through one lands in that folder, wherever its path
// leads by then, and no link at a name is followed out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "drive_sandbox.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/io_error.h"

namespace {

namespace fs = std::filesystem;
using platform::FolderHandle;
using platform::testing::FileOp;

class FolderHandleTest : public ::testing::Test {
 protected:
  FolderHandleTest() : drives_({'C', 'D'}) {
    platform::testing::ResetFaults();
    drives_.MakeFolder("C:\\ICQ\\newdb");
    drives_.MakeFolder("D:\\outside");
    EXPECT_EQ(FolderHandle::Open("C:\\ICQ", &icq_), 0);
  }
  ~FolderHandleTest() override { platform::testing::ResetFaults(); }

  // Writes the bytes into a new file of the folder, through the handle.
  static int Write(const FolderHandle& folder, const std::string& name, const std::string& bytes) {
    platform::File file;
    if (int code = folder.CreateFile(name, &file)) return code;
    file.Write(bytes.data(), bytes.size());
    file.Close();
    return 0;
  }

  bool OutsideIsEmpty() const { return fs::is_empty(drives_.Host("D:\\outside")); }

  DriveSandbox drives_;
  FolderHandle icq_;
};

TEST_F(FolderHandleTest, FolderSwappedForALinkAfterItWasOpenedGetsEverythingItself) {
  FolderHandle newdb;
  ASSERT_EQ(icq_.OpenFolder("newdb", &newdb), 0);
  EXPECT_EQ(newdb.Path(), "C:\\ICQ\\newdb");
  fs::rename(drives_.Host("C:\\ICQ\\newdb"), drives_.Host("C:\\ICQ\\moved"));
  fs::create_directory_symlink(drives_.Host("D:\\outside"), drives_.Host("C:\\ICQ\\newdb"));

  ASSERT_EQ(Write(newdb, "icq.tmp", "copy"), 0);
  ASSERT_EQ(newdb.SetAttributes("icq.tmp", platform::faReadOnly), 0);
  EXPECT_EQ(newdb.Rename("icq.tmp", "a.dat", true), 0);
  EXPECT_EQ(newdb.CreateFolder("sub"), 0);
  EXPECT_EQ(newdb.Flush(), 0);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\moved\\a.dat"), "copy");
  EXPECT_TRUE(fs::is_directory(drives_.Host("C:\\ICQ\\moved\\sub")));
  EXPECT_TRUE(OutsideIsEmpty());

  // Opened again now, the name is a link, and it is refused.
  FolderHandle again;
  EXPECT_EQ(icq_.OpenFolder("newdb", &again), platform::kNameIsLink);
  EXPECT_EQ(icq_.OpenFolder("newdb", &again, &icq_), platform::kNameIsLink);
  EXPECT_FALSE(again.IsOpen());
}

TEST_F(FolderHandleTest, LinkIsFollowedOnlyIntoTheFolderGivenAndNeverByDefault) {
  drives_.MakeFolder("C:\\ICQ\\realdb\\deeper");
  fs::create_directory_symlink(drives_.Host("C:\\ICQ\\realdb"), drives_.Host("C:\\ICQ\\inside"));
  fs::create_directory_symlink(drives_.Host("D:\\outside"), drives_.Host("C:\\ICQ\\out"));
  fs::create_directory_symlink(drives_.Host("C:\\ICQ"), drives_.Host("C:\\ICQ\\realdb\\up"));
  fs::create_directory_symlink(drives_.Host("D:\\gone"), drives_.Host("C:\\ICQ\\dangling"));

  FolderHandle folder;
  EXPECT_EQ(icq_.OpenFolder("inside", &folder), platform::kNameIsLink);
  ASSERT_EQ(icq_.OpenFolder("inside", &folder, &icq_), 0);
  FolderHandle realdb;
  ASSERT_EQ(icq_.OpenFolder("realdb", &realdb), 0);
  EXPECT_TRUE(folder.SameFolder(realdb));
  FolderHandle up;  // the ICQ folder itself is within it
  EXPECT_EQ(realdb.OpenFolder("up", &up, &icq_), 0);
  EXPECT_TRUE(up.SameFolder(icq_));
  // Within realdb, a link up to the ICQ folder leads out.
  EXPECT_EQ(realdb.OpenFolder("up", &up, &realdb), platform::kNameIsLink);
  EXPECT_EQ(icq_.OpenFolder("out", &folder, &icq_), platform::kNameIsLink);
  EXPECT_EQ(icq_.OpenFolder("dangling", &folder, &icq_), platform::kNameIsLink);
  EXPECT_EQ(icq_.OpenFolder("missing", &folder), platform::kFileNotFound);
  drives_.WriteFile("C:\\ICQ\\file", "");
  EXPECT_EQ(icq_.OpenFolder("file", &folder), platform::kInvalidFilename);
  EXPECT_EQ(icq_.OpenFolder("..", &folder), platform::kInvalidFilename);
  EXPECT_EQ(icq_.OpenFolder("newdb\\..\\..", &folder), platform::kInvalidFilename);
}

TEST_F(FolderHandleTest, LinksAtANameAreNeitherWrittenThroughNorChanged) {
  drives_.WriteFile("D:\\victim.dat", "victim");
  FolderHandle newdb;
  ASSERT_EQ(icq_.OpenFolder("newdb", &newdb), 0);
  fs::create_symlink(drives_.Host("D:\\victim.dat"), drives_.Host("C:\\ICQ\\newdb\\icq.tmp"));
  fs::create_symlink(drives_.Host("D:\\new.dat"), drives_.Host("C:\\ICQ\\newdb\\dangling"));
  fs::create_symlink(drives_.Host("D:\\victim.dat"), drives_.Host("C:\\ICQ\\newdb\\a.dat"));

  EXPECT_EQ(Write(newdb, "icq.tmp", "copy"), platform::kAlreadyExists);
  EXPECT_EQ(Write(newdb, "dangling", "copy"), platform::kAlreadyExists);
  platform::File file;
  EXPECT_EQ(newdb.OpenFile("icq.tmp", &file), platform::kNameIsLink);
  EXPECT_EQ(newdb.SetAttributes("icq.tmp", platform::faReadOnly), platform::kNameIsLink);
  EXPECT_EQ(newdb.Attributes("icq.tmp"), platform::faSysFile);
  // A copy put in place replaces the link itself.
  ASSERT_EQ(Write(newdb, "copy.tmp", "copy"), 0);
  EXPECT_EQ(newdb.Rename("copy.tmp", "a.dat", true), 0);
  EXPECT_FALSE(fs::is_symlink(drives_.Host("C:\\ICQ\\newdb\\a.dat")));
  EXPECT_EQ(newdb.DeleteFile("icq.tmp"), 0);
  EXPECT_EQ(newdb.DeleteFile("dangling"), 0);

  EXPECT_EQ(drives_.ReadFile("D:\\victim.dat"), "victim");
  struct stat st;
  ASSERT_EQ(::stat(drives_.Host("D:\\victim.dat").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  EXPECT_FALSE(fs::exists(drives_.Host("D:\\new.dat")));
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\a.dat"), "copy");
}

TEST_F(FolderHandleTest, NamesInAnotherCaseAndTheRefusalsOfFilesH) {
  drives_.MakeFolder("C:\\ICQ\\NewDB2");
  FolderHandle folder;
  ASSERT_EQ(icq_.OpenFolder("newdb2", &folder), 0);
  EXPECT_EQ(folder.Path(), "C:\\ICQ\\newdb2");  // as asked
  ASSERT_EQ(Write(folder, "Data.DAT", "data"), 0);
  EXPECT_EQ(Write(folder, "data.dat", "again"), platform::kAlreadyExists);
  EXPECT_EQ(folder.Attributes("DATA.dat"), platform::faArchive);
  ASSERT_EQ(Write(folder, "copy", "new"), 0);
  EXPECT_EQ(folder.Rename("copy", "data.dat", false), platform::kAlreadyExists);
  ASSERT_EQ(folder.SetAttributes("data.dat", platform::faReadOnly), 0);
  EXPECT_EQ(folder.Rename("copy", "data.dat", true), platform::kAccessDenied);
  EXPECT_EQ(folder.DeleteFile("DATA.DAT"), platform::kAccessDenied);
  ASSERT_EQ(folder.SetAttributes("data.dat", 0), 0);
  EXPECT_EQ(folder.Rename("copy", "data.dat", true), 0);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\NewDB2\\Data.DAT"), "new");
  EXPECT_EQ(folder.Rename("Data.DAT", "data.dat", false), 0);  // the letter case only
  EXPECT_TRUE(fs::exists(drives_.Host("C:\\ICQ\\NewDB2\\data.dat")));
  EXPECT_EQ(folder.CreateFolder("DATA.DAT"), platform::kAlreadyExists);
  EXPECT_EQ(folder.DeleteFile("missing"), platform::kFileNotFound);
  EXPECT_EQ(folder.Rename("missing", "x", true), platform::kFileNotFound);
  EXPECT_EQ(FolderHandle::Open("C:\\ICQ\\missing", &folder), platform::kInvalidFilename);
}

TEST_F(FolderHandleTest, FaultHooksCountAndHoldAsForFilesH) {
  FolderHandle newdb;
  ASSERT_EQ(icq_.OpenFolder("newdb", &newdb), 0);
  platform::testing::ResetFaults();
  ASSERT_EQ(Write(newdb, "a.dat", "a"), 0);  // create, write, close
  EXPECT_EQ(newdb.Rename("a.dat", "b.dat", true), 0);
  EXPECT_EQ(newdb.Flush(), 0);
  EXPECT_EQ(platform::testing::OperationCount(), 5);

  platform::testing::FailNthOperation(1, FileOp::kCreate, platform::kDiskFull);
  EXPECT_EQ(Write(newdb, "c.dat", "c"), platform::kDiskFull);
  EXPECT_FALSE(drives_.Exists("C:\\ICQ\\newdb\\c.dat"));
  platform::testing::FailNthOperation(1, FileOp::kRename);
  EXPECT_EQ(newdb.Rename("b.dat", "c.dat", true), platform::kAccessDenied);
  platform::testing::FailNthOperation(1, FileOp::kFlush);
  EXPECT_EQ(newdb.Flush(), platform::kAccessDenied);
  platform::testing::FailNthOperation(1, FileOp::kCreateFolder);
  EXPECT_EQ(newdb.CreateFolder("sub"), platform::kAccessDenied);

  platform::testing::HoldOpen("C:\\ICQ\\newdb\\b.dat");
  platform::File file;
  EXPECT_EQ(newdb.OpenFile("b.dat", &file), platform::kSharingViolation);
  EXPECT_EQ(newdb.DeleteFile("b.dat"), platform::kSharingViolation);
  EXPECT_EQ(newdb.Rename("b.dat", "c.dat", true), platform::kSharingViolation);
  platform::testing::HoldOpen("C:\\ICQ\\newdb");
  FolderHandle again;
  EXPECT_EQ(icq_.OpenFolder("newdb", &again), platform::kAccessDenied);
  EXPECT_EQ(drives_.ReadFile("C:\\ICQ\\newdb\\b.dat"), "a");
}

}  // namespace
