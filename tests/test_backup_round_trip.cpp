// A backup of a real tree of a few hundred files, read back with the engine: every
// compressed file must give its source's bytes and date-time, and the list must name
// the tree exactly, in the order of the directory search.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "backup/backup_testing.h"
#include "backup/collect_files.h"
#include "data_tree.h"
#include "drive_sandbox.h"
#include "lz/lz_file.h"
#include "platform/files.h"
#include "recording_window.h"

#ifndef VARN_TEST_PACK_WORKERS
#define VARN_TEST_PACK_WORKERS 1
#endif

namespace {

namespace fs = std::filesystem;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The list lines of a folder, worked out from the host tree with its own walk: entries
// by their upper-case names, sub-folders listed where they stand among the files.
void ExpectedLines(const fs::path& folder, const std::string& folder_part,
                   std::vector<std::string>& lines) {
  std::vector<fs::directory_entry> entries(fs::directory_iterator(folder), {});
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return Upper(a.path().filename().string()) < Upper(b.path().filename().string());
  });
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory()) {
      ExpectedLines(entry.path(), folder_part + "\\" + name, lines);
    } else {
      lines.push_back(folder_part + "***" + name + "|||" + std::to_string(entry.file_size()));
    }
  }
}

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class BackupRoundTripTest : public ::testing::Test {
 protected:
  BackupRoundTripTest() : drives_({'C', 'D'}) {
    lz::EngineStartup();
    tuning_.workers = VARN_TEST_PACK_WORKERS;
    drives_.WriteFile("C:\\home\\back.dat", "uin\r\nnewdb\r\nplugins\r\nTheEnd\r\nx\r\n");
    drives_.WriteFile("C:\\ICQ\\icq.exe", "");
    window_.HomeFolder = "C:\\home";
    window_.icq_folder = "C:\\ICQ";
    window_.SetBackupFolderText("D:\\backup");
  }

  void MakeTree() { MakeDataTree(drives_, 2024); }

  DriveSandbox drives_;
  RecordingWindow window_;
  backup::BackupTuning tuning_;
};

TEST_F(BackupRoundTripTest, EveryFileComesBackWithItsBytesAndTime) {
  MakeTree();
  ASSERT_EQ(backup::BackupClick(window_, tuning_), backup::BackupOutcome::kSucceeded);

  std::vector<std::string> expected;
  for (const char* entry : {"uin", "newdb", "plugins"}) {
    ExpectedLines(drives_.Host(std::string("C:\\ICQ\\") + entry), entry, expected);
  }
  ASSERT_GE(expected.size(), 300u);
  std::string expected_list = "Total Files : " + std::to_string(expected.size()) + "\r\n";
  for (const auto& line : expected) expected_list += line + "\r\n";
  ASSERT_EQ(drives_.ReadFile("D:\\backup\\icqlist.txt"), expected_list);

  drives_.MakeFolder("D:\\restored");
  std::uintmax_t compressed_total = 0, original_total = 0;
  std::size_t last_stored = 0;
  for (std::size_t number = 1; number <= expected.size(); ++number) {
    const auto fields = backup::SplitFileLine(expected[number - 1]);
    ASSERT_TRUE(fields.has_value());
    const std::string source = "C:\\ICQ\\" + fields->folder_part + "\\" + fields->name;
    const std::string stored = "D:\\backup\\icq" + std::to_string(number) + ".lzz";
    original_total += fields->size;
    if (fields->size == 0) {
      EXPECT_FALSE(drives_.Exists(stored)) << stored;
      continue;
    }
    last_stored = number;
    compressed_total += fs::file_size(drives_.Host(stored));
    const std::string restored = "D:\\restored\\" + std::to_string(number);
    ASSERT_EQ(lz::DecompressFile(stored, restored, nullptr, nullptr), fields->size) << source;
    EXPECT_EQ(drives_.ReadFile(restored), ReadHost(drives_.Host(source))) << source;
    EXPECT_EQ(platform::GetFileDosTime(restored), platform::GetFileDosTime(source)) << source;
  }

  char original[32], compressed[32];
  std::snprintf(original, sizeof original, "%.1f", original_total * 0.000001);
  std::snprintf(compressed, sizeof compressed, "%.1f", compressed_total * 0.000001);
  EXPECT_EQ(window_.lines[4], std::string(" Original Filesize: ") + original + " MB");
  EXPECT_EQ(window_.lines[5], std::string(" Compressed Filesize: ") + compressed + " MB");
  // The gauge was last set after the last compressed file.
  EXPECT_EQ(window_.gauge, std::min<int>(100, (last_stored + 1) * 100 / expected.size()));
}

TEST_F(BackupRoundTripTest, WorkerProcessesWriteWhatOneProcessWrites) {
  MakeTree();
  std::vector<std::vector<std::string>> screens;
  for (int workers : {1, 3}) {
    const std::string folder = "D:\\with" + std::to_string(workers);
    RecordingWindow window;
    window.HomeFolder = "C:\\home";
    window.icq_folder = "C:\\ICQ";
    window.SetBackupFolderText(folder);
    backup::BackupTuning tuning;
    tuning.workers = workers;
    ASSERT_EQ(backup::BackupClick(window, tuning), backup::BackupOutcome::kSucceeded);
    window.lines[2] = "(folder)";
    screens.push_back(window.lines);
  }
  EXPECT_EQ(screens[0], screens[1]);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(drives_.Host("D:\\with1"))) {
    names.push_back(entry.path().filename().string());
  }
  ASSERT_GE(names.size(), 250u);
  for (const auto& name : names) {
    EXPECT_EQ(drives_.ReadFile("D:\\with1\\" + name), drives_.ReadFile("D:\\with3\\" + name))
        << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(drives_.Host("D:\\with3")), {}),
            static_cast<std::ptrdiff_t>(names.size()));
}

}  // namespace
