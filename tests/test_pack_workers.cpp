// The backup's worker threads: each compresses with an engine of its own as the backup's
// own thread does, tells how far it is into its file, and ends it at a stop request.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "backup/pack_file.h"
#include "backup/pack_workers.h"
#include "drive_sandbox.h"
#include "lz/lz_file.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"

namespace {

// The engine's progress as the backup's own thread would give it, and nothing else.
void NoProgress(const lz::LZFileInfo&, std::int32_t) {}

platform::File Open(const std::string& path, platform::OpenMode mode = platform::OpenMode::kRead) {
  return platform::File::Open(path, mode);
}

// A source and a new destination, opened as the backup opens them, handed to a worker.
bool Submit(backup::PackWorkers& workers, std::uint64_t number, const std::string& source,
            const std::string& destination) {
  platform::File input = Open(source);
  platform::File output = Open(destination, platform::OpenMode::kCreate);
  return workers.Submit(number, input, output);
}

// The same compression on this thread.
std::int64_t CompressHere(const std::string& source, const std::string& destination) {
  platform::File input = Open(source);
  platform::File output = Open(destination, platform::OpenMode::kCreate);
  return backup::CompressForBackup(input, output, NoProgress);
}

class PackWorkersTest : public ::testing::Test {
 protected:
  PackWorkersTest() : drives_({'C', 'D'}) { lz::EngineStartup(); }
  ~PackWorkersTest() override { platform::ClearStopRequest(); }
  DriveSandbox drives_;
};

TEST_F(PackWorkersTest, CompressAsTheBackupsOwnThreadDoes) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i * 7 % 113) + "\n";
  drives_.WriteFile("C:\\ICQ\\a.dat", text);
  drives_.WriteFile("C:\\ICQ\\b.dat", text.substr(100));
  drives_.MakeFolder("D:\\backup");
  backup::PackWorkers workers(2);
  ASSERT_EQ(workers.Count(), 2);
  ASSERT_TRUE(Submit(workers, 1, "C:\\ICQ\\a.dat", "D:\\backup\\icq1.lzz"));
  ASSERT_TRUE(Submit(workers, 2, "C:\\ICQ\\b.dat", "D:\\backup\\icq2.lzz"));
  EXPECT_FALSE(Submit(workers, 3, "C:\\ICQ\\a.dat", "D:\\backup\\icq3.lzz"));  // both busy
  std::map<std::uint64_t, std::int64_t> sizes;
  for (int i = 0; i < 2; ++i) {
    backup::PackResult result = workers.Wait();
    EXPECT_EQ(result.error, nullptr);
    EXPECT_TRUE(result.destination.IsOpen());  // for its flush
    result.destination.Close();
    sizes[result.number] = result.bytes;
  }
  for (std::uint64_t number : {1u, 2u}) {
    const std::string stored = "D:\\backup\\icq" + std::to_string(number) + ".lzz";
    const std::string here = "D:\\backup\\here" + std::to_string(number) + ".lzz";
    const std::int64_t bytes =
        CompressHere(number == 1 ? "C:\\ICQ\\a.dat" : "C:\\ICQ\\b.dat", here);
    EXPECT_EQ(sizes[number], bytes);
    EXPECT_EQ(drives_.ReadFile(stored), drives_.ReadFile(here)) << number;
  }
}

TEST_F(PackWorkersTest, ErrorsComeBackWithTheirClassAndCode) {
  drives_.WriteFile("C:\\ICQ\\a.dat", "abc");
  drives_.WriteFile("D:\\backup\\icq7.lzz", "");
  backup::PackWorkers workers(2);
  ASSERT_EQ(workers.Count(), 2);
  // A destination open for reading only cannot be written.
  {
    platform::File source = Open("C:\\ICQ\\a.dat");
    platform::File destination = Open("D:\\backup\\icq7.lzz");
    ASSERT_TRUE(workers.Submit(7, source, destination));
  }
  const backup::PackResult result = workers.Wait();
  EXPECT_EQ(result.number, 7u);
  ASSERT_NE(result.error, nullptr);
  EXPECT_FALSE(result.destination.IsOpen());
  int here = 0;
  try {
    platform::File source = Open("C:\\ICQ\\a.dat");
    platform::File destination = Open("D:\\backup\\icq7.lzz");
    backup::CompressForBackup(source, destination, NoProgress);
  } catch (const platform::EInOutError& e) {
    here = e.ErrorCode();
  }
  EXPECT_NE(here, 0);
  try {
    std::rethrow_exception(result.error);
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), here);
  } catch (...) {
    ADD_FAILURE() << "not an EInOutError";
  }
}

TEST_F(PackWorkersTest, ABigFileShowsItsProgressAndAStopEndsItWithinABlock) {
  std::string text(16 << 20, 'x');
  for (std::size_t i = 0; i < text.size(); i += 3) text[i] = static_cast<char>(i * 31 >> 5);
  drives_.WriteFile("C:\\ICQ\\big.dat", text);
  drives_.MakeFolder("D:\\backup");
  backup::PackWorkers workers(2);
  ASSERT_EQ(workers.Count(), 2);
  ASSERT_TRUE(Submit(workers, 1, "C:\\ICQ\\big.dat", "D:\\backup\\icq1.lzz"));
  EXPECT_EQ(workers.BytesDone(2), 0);  // no worker has it
  std::int64_t seen = 0;
  for (int i = 0; i < 2000 && seen == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    seen = workers.BytesDone(1);
  }
  ASSERT_GT(seen, 0) << "no progress from the worker";
  ASSERT_LT(seen, static_cast<std::int64_t>(text.size())) << "done before it could be stopped";
  EXPECT_GE(workers.BytesDone(1), seen);

  platform::RequestStop();
  EXPECT_THROW(workers.Wait(), platform::EInOutError);
  workers.Stop();
  EXPECT_EQ(workers.Count(), 0);
  EXPECT_EQ(workers.Busy(), 0);
  // The file ended where the stop found it, shorter than the whole compressed file;
  // removing it is the backup's part.
  platform::ClearStopRequest();
  const std::int64_t whole = CompressHere("C:\\ICQ\\big.dat", "D:\\backup\\whole.lzz");
  EXPECT_LT(static_cast<std::int64_t>(drives_.ReadFile("D:\\backup\\icq1.lzz").size()), whole);
}

}  // namespace
