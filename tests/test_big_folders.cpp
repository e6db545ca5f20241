// A folder of many files: look-ups in other letter cases, the stat data a look-up hands on,
// and files flushed in the background.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "platform/background_flush.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/io_error.h"
#include "tests/drive_sandbox.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class BigFolderTest : public ::testing::Test {
 protected:
  BigFolderTest() {
    // A folder of many names, as a data folder is.
    for (int i = 0; i < 300; ++i) drives_.WriteFile("C:\\Data\\file" + std::to_string(i), "x");
  }

  std::string HostOf(const std::string& windows_path) const {
    return ToHostPath(windows_path).value_or("(none)");
  }
  std::string Host(const std::string& windows_path) const {
    return drives_.Host(windows_path).string();
  }

  DriveSandbox drives_{'C'};
};

#ifndef _WIN32  // the Linux layer's own name matching, which Windows does itself
TEST_F(BigFolderTest, LookUpsFollowTheLayersOwnChanges) {
  EXPECT_EQ(HostOf("C:\\data\\NEW.TXT"), Host("C:\\Data\\NEW.TXT"));

  File::Open("C:\\Data\\new.txt", OpenMode::kCreate).Close();
  EXPECT_EQ(HostOf("C:\\DATA\\NEW.TXT"), Host("C:\\Data\\new.txt"));
  // Made again in another case: the same file.
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
#endif

TEST_F(BigFolderTest, EveryLookUpReadsTheFolder) {
  EXPECT_FALSE(FileExists("C:\\Data\\LATE.TXT"));
  // Made by another program after a miss: found.
  drives_.WriteFile("C:\\Data\\late.txt", "y");
  EXPECT_TRUE(FileExists("C:\\Data\\LATE.TXT"));
  drives_.WriteFile("C:\\Data\\later.txt", "y");
  EXPECT_TRUE(FileExists("C:\\DATA\\LATER.TXT"));
}

#ifndef _WIN32  // symbolic links made on the host
TEST_F(BigFolderTest, LinksAreFollowedForTheirTargetsData) {
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
#endif

// --- Background flush ------------------------------------------------------------------

TEST_F(BigFolderTest, BackgroundFlushAnswersForEachFileOfABatch) {
  std::vector<std::future<int>> flushed;
  std::vector<std::future<int>> gone;
  {
    BackgroundFlush flush;
    for (int i = 0; i < 200; ++i) {
      flushed.push_back(flush.Submit("C:\\Data\\file" + std::to_string(i)));
      if (i % 50 == 0) gone.push_back(flush.Submit("C:\\Data\\missing" + std::to_string(i)));
    }
    gone.push_back(flush.Submit("Q:\\on\\no\\drive"));
    // The last ones are answered when the flusher ends.
    flushed.push_back(flush.Submit("C:\\DATA\\FILE7"));
  }
  for (std::future<int>& answer : flushed) EXPECT_EQ(answer.get(), 0);
  for (std::size_t i = 0; i + 1 < gone.size(); ++i) EXPECT_EQ(gone[i].get(), kFileNotFound);
  EXPECT_EQ(gone.back().get(), kInvalidFilename);
}

// A restored copy carries its data file's attributes: Windows flushes only through a
// handle open for writing, which a read-only file refuses.
TEST_F(BigFolderTest, BackgroundFlushOfAReadOnlyFileSucceedsAndKeepsItReadOnly) {
  ASSERT_EQ(SetAttributes("C:\\Data\\file5", faReadOnly | faArchive), 0);
  {
    BackgroundFlush flush;
    EXPECT_EQ(flush.Submit("C:\\Data\\file5").get(), 0);
  }
  EXPECT_EQ(GetAttributes("C:\\Data\\file5"), faReadOnly | faArchive);
  ASSERT_EQ(SetAttributes("C:\\Data\\file5", faArchive), 0);
}

TEST_F(BigFolderTest, BackgroundFlushStandInAnswersInsteadOfTheDisk) {
  BackgroundFlush flush([](const std::string& path) { return path.ends_with("3") ? 5 : 0; });
  std::future<int> fails = flush.Submit("C:\\Data\\file3");
  std::future<int> passes = flush.Submit("C:\\Data\\file4");
  std::future<int> missing = flush.Submit("C:\\Data\\none");
  EXPECT_EQ(fails.get(), 5);
  EXPECT_EQ(passes.get(), 0);
  EXPECT_EQ(missing.get(), 0);
}

}  // namespace
}  // namespace platform
