// Path look-ups with kept folder listings, and the stat data a look-up hands on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/folder_listings.h"
#include "tests/drive_sandbox.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class FolderListingsTest : public ::testing::Test {
 protected:
  FolderListingsTest() {
    // A folder large enough that a look-up per name would be worth keeping.
    for (int i = 0; i < 300; ++i) drives_.WriteFile("C:\\Data\\file" + std::to_string(i), "x");
  }

  std::string HostOf(const std::string& windows_path) const {
    return ToHostPath(windows_path).value_or("(none)");
  }
  std::string Host(const std::string& windows_path) const {
    return drives_.Host(windows_path).string();
  }

  // Moves the folder's modification time away from now, as a change made in a later
  // clock tick would.
  void MarkFolderChangedLater(const std::string& windows_path) const {
    const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Host(windows_path).c_str(), later, 0), 0);
  }

  DriveSandbox drives_{'C'};
};

TEST_F(FolderListingsTest, KeptListingFollowsTheLayersOwnChanges) {
  KeepFolderListings keep;
  // A miss: the folder's listing is read and kept.
  EXPECT_EQ(HostOf("C:\\data\\NEW.TXT"), Host("C:\\Data\\NEW.TXT"));

  File::Open("C:\\Data\\new.txt", OpenMode::kCreate).Close();
  EXPECT_EQ(HostOf("C:\\DATA\\NEW.TXT"), Host("C:\\Data\\new.txt"));
  // Made again in another case: the same file, as the kept listing knows it.
  File::Open("C:\\Data\\NEW.TXT", OpenMode::kCreate).Close();
  EXPECT_FALSE(drives_.Exists("C:\\Data\\NEW.TXT"));

  ASSERT_EQ(RenameFile("C:\\Data\\new.txt", "C:\\Data\\Moved.Txt", false), 0);
  EXPECT_EQ(HostOf("C:\\Data\\MOVED.TXT"), Host("C:\\Data\\Moved.Txt"));
  EXPECT_EQ(HostOf("C:\\Data\\NEW.TXT"), Host("C:\\Data\\NEW.TXT"));

  ASSERT_EQ(CreateFolder("C:\\Data\\Sub"), 0);
  ASSERT_EQ(RenameFile("C:\\Data\\MOVED.TXT", "C:\\Data\\SUB\\Inner.txt", false), 0);
  EXPECT_EQ(HostOf("C:\\data\\sub\\INNER.TXT"), Host("C:\\Data\\Sub\\Inner.txt"));
  EXPECT_EQ(HostOf("C:\\Data\\moved.txt"), Host("C:\\Data\\moved.txt"));
  EXPECT_FALSE(FileExists("C:\\Data\\moved.txt"));

  ASSERT_EQ(DeleteFile("C:\\DATA\\SUB\\inner.TXT"), 0);
  EXPECT_EQ(HostOf("C:\\Data\\Sub\\INNER.TXT"), Host("C:\\Data\\Sub\\INNER.TXT"));
  EXPECT_FALSE(FileExists("C:\\Data\\Sub\\Inner.txt"));
}

TEST_F(FolderListingsTest, KeptListingNoticesChangesOfOtherPrograms) {
  KeepFolderListings keep;
  EXPECT_FALSE(FileExists("C:\\Data\\OTHER.TXT"));
  drives_.WriteFile("C:\\Data\\other.txt", "y");
  MarkFolderChangedLater("C:\\Data");
  EXPECT_TRUE(FileExists("C:\\Data\\OTHER.TXT"));
  EXPECT_EQ(HostOf("C:\\Data\\OTHER.TXT"), Host("C:\\Data\\other.txt"));

  // Another folder in its place, even with the same times, is read afresh.
  EXPECT_FALSE(FileExists("C:\\Data\\THIRD.TXT"));
  fs::rename(Host("C:\\Data"), Host("C:\\Old"));
  drives_.WriteFile("C:\\Data\\third.txt", "z");
  EXPECT_TRUE(FileExists("C:\\Data\\THIRD.TXT"));
}

TEST_F(FolderListingsTest, WithoutKeeperEveryLookUpReadsTheFolder) {
  {
    KeepFolderListings keep;
    EXPECT_FALSE(FileExists("C:\\Data\\LATE.TXT"));
  }
  // Made at once, maybe within the same clock tick: still found.
  drives_.WriteFile("C:\\Data\\late.txt", "y");
  EXPECT_TRUE(FileExists("C:\\Data\\LATE.TXT"));
  drives_.WriteFile("C:\\Data\\later.txt", "y");
  EXPECT_TRUE(FileExists("C:\\DATA\\LATER.TXT"));
}

TEST_F(FolderListingsTest, LinksAreFollowedForTheirTargetsData) {
  drives_.WriteFile("C:\\Data\\target.bin", std::string(100, 't'));
  fs::create_symlink("target.bin", Host("C:\\Data\\link.bin"));
  fs::create_symlink("nowhere.bin", Host("C:\\Data\\dangling.bin"));
  fs::create_directory_symlink(Host("C:\\Data"), Host("C:\\Alias"));
  for (const char* path : {"C:\\Data\\link.bin", "C:\\DATA\\LINK.BIN", "C:\\Alias\\target.bin",
                           "C:\\alias\\Link.bin"}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(GetFileSize(path), 100);
    EXPECT_EQ(GetAttributes(path), faArchive);
  }
  EXPECT_EQ(GetAttributes("C:\\Alias"), faDirectory);
  // A dangling link exists as an entry, but not as a file.
  EXPECT_FALSE(FileExists("C:\\Data\\DANGLING.BIN"));
  EXPECT_EQ(GetFileSize("C:\\Data\\dangling.bin"), std::nullopt);
  EXPECT_EQ(GetAttributes("C:\\Data\\Dangling.bin").value_or(0) & faSysFile, faSysFile);
}

}  // namespace
}  // namespace platform
