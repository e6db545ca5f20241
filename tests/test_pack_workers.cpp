// The backup's worker processes: started afresh from torq32-worker, they see the
// parent's drives, compress as the backup's own process does, and a worker that dies
// costs its file, not the backup.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>

#include "backup/pack_file.h"
#include "backup/pack_workers.h"
#include "drive_sandbox.h"
#include "lz/lz_file.h"
#include "platform/io_error.h"

namespace {

#ifdef _WIN32
constexpr char kWorkerFile[] = "torq32-worker.exe";

std::string ProgramOf(int pid) {
  const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return "";
  wchar_t name[MAX_PATH];
  DWORD length = MAX_PATH;
  const bool found = ::QueryFullProcessImageNameW(process, 0, name, &length);
  ::CloseHandle(process);
  return found ? std::filesystem::path(std::wstring(name, length)).filename().string() : "";
}

// Ends the process from outside, as the task manager would.
void KillProcess(int pid) {
  const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(process, nullptr);
  ::TerminateProcess(process, 1);
  ::WaitForSingleObject(process, INFINITE);
  ::CloseHandle(process);
}
#else
constexpr char kWorkerFile[] = "torq32-worker";

std::string ProgramOf(int pid) {
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe").filename();
}

void KillProcess(int pid) { ::kill(pid, SIGKILL); }
#endif

class PackWorkersTest : public ::testing::Test {
 protected:
  PackWorkersTest() : drives_({'C', 'D'}) { lz::EngineStartup(); }
  DriveSandbox drives_;
};

TEST_F(PackWorkersTest, WorkersAreFreshWorkerProgramsNotForksOfThisOne) {
  backup::PackWorkers workers(3);
  ASSERT_EQ(workers.Count(), 3);
  for (int pid : workers.ProcessIds()) {
    EXPECT_EQ(ProgramOf(pid), kWorkerFile) << pid;
#ifndef _WIN32
    EXPECT_EQ(::getpgid(pid), ::getpgid(0));
#endif
  }
}

TEST_F(PackWorkersTest, CompressOnTheParentsDrivesAsThisProcessDoes) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i * 7 % 113) + "\n";
  drives_.WriteFile("C:\\ICQ\\a.dat", text);
  drives_.WriteFile("C:\\ICQ\\b.dat", text.substr(100));
  drives_.MakeFolder("D:\\backup");
  backup::PackWorkers workers(2);
  ASSERT_EQ(workers.Count(), 2);
  ASSERT_TRUE(workers.Submit(1, "C:\\ICQ\\a.dat", "D:\\backup\\icq1.lzz"));
  ASSERT_TRUE(workers.Submit(2, "C:\\ICQ\\b.dat", "D:\\backup\\icq2.lzz"));
  EXPECT_FALSE(workers.Submit(3, "C:\\ICQ\\a.dat", "D:\\backup\\icq3.lzz"));  // both busy
  std::map<std::uint64_t, std::int64_t> sizes;
  for (int i = 0; i < 2; ++i) {
    const backup::PackResult result = workers.Wait();
    EXPECT_EQ(result.error, nullptr);
    sizes[result.number] = result.bytes;
  }
  for (std::uint64_t number : {1u, 2u}) {
    const std::string stored = "D:\\backup\\icq" + std::to_string(number) + ".lzz";
    const std::string here = "D:\\backup\\here" + std::to_string(number) + ".lzz";
    const std::int64_t bytes =
        backup::CompressForBackup(number == 1 ? "C:\\ICQ\\a.dat" : "C:\\ICQ\\b.dat", here);
    EXPECT_EQ(sizes[number], bytes);
    EXPECT_EQ(drives_.ReadFile(stored), drives_.ReadFile(here)) << number;
  }
}

TEST_F(PackWorkersTest, ErrorsComeBackWithTheirClassAndCode) {
  drives_.WriteFile("C:\\ICQ\\a.dat", "abc");
  backup::PackWorkers workers(2);
  ASSERT_EQ(workers.Count(), 2);
  // A destination in a folder that does not exist cannot be made.
  ASSERT_TRUE(workers.Submit(7, "C:\\ICQ\\a.dat", "D:\\none\\icq7.lzz"));
  const backup::PackResult result = workers.Wait();
  EXPECT_EQ(result.number, 7u);
  ASSERT_NE(result.error, nullptr);
  int here = 0;
  try {
    backup::CompressForBackup("C:\\ICQ\\a.dat", "D:\\none\\icq7.lzz");
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

TEST_F(PackWorkersTest, AWorkerThatDiesCostsItsFileAndIsNotUsedAgain) {
  std::string text(4 << 20, 'x');
  for (std::size_t i = 0; i < text.size(); i += 3) text[i] = static_cast<char>(i * 31 >> 5);
  drives_.WriteFile("C:\\ICQ\\big.dat", text);
  drives_.MakeFolder("D:\\backup");
  backup::PackWorkers workers(2);
  ASSERT_EQ(workers.Count(), 2);
  ASSERT_TRUE(workers.Submit(1, "C:\\ICQ\\big.dat", "D:\\backup\\icq1.lzz"));
  KillProcess(workers.ProcessIds()[0]);
  const backup::PackResult result = workers.Wait();
  EXPECT_EQ(result.number, 1u);
  EXPECT_NE(result.error, nullptr);
  EXPECT_EQ(workers.Count(), 1);
  EXPECT_EQ(workers.Busy(), 0);
}

}  // namespace
