// Shared by the restore suites: drives C: (home, ICQ folder) and D: (backup) made of
// temporary folders, backups built with the engine, and a snapshot of the whole tree.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "backup/restore.h"
#include "backup/restore_testing.h"
#include "drive_sandbox.h"
#include "lz/lz_file.h"
#include "platform/fault_injection.h"
#include "recording_window.h"

// One data file of a backup: folder part, name, bytes.
struct DataFile {
  std::string folder;
  std::string name;
  std::string bytes;
};

// Every entry below a host folder, links not followed: path -> bytes, "<folder>" or
// "<link to ...>".
inline std::map<std::string, std::string> SnapshotTree(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string relative = fs::relative(it->path(), root).string();
    if (it->is_symlink()) {
      tree[relative] = "<link to " + fs::read_symlink(it->path()).string() + ">";
    } else if (it->is_directory()) {
      tree[relative] = "<folder>";
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      tree[relative] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return tree;
}

class RestoreFixture : public ::testing::Test {
 protected:
  RestoreFixture() : drives_({'C', 'D'}) {
    lz::EngineStartup();
    platform::testing::ResetFaults();
    drives_.MakeFolder("C:\\home");
    drives_.WriteFile("C:\\ICQ\\icq.exe", "");
    drives_.MakeFolder("D:\\backup");
    window_.HomeFolder = "C:\\home";
    window_.icq_folder = "C:\\ICQ";
    window_.SetBackupFolderText("D:\\backup");
  }
  ~RestoreFixture() override { platform::testing::ResetFaults(); }

  // Compresses the bytes into the backup's file number n, with `name` as stored name.
  void Store(std::uint64_t n, const std::string& name, const std::string& bytes) {
    const std::string source = "C:\\src\\" + std::to_string(n) + "\\" + name;
    drives_.WriteFile(source, bytes);
    drives_.SetLocalTime(source, 2001, 2, 3, 4, 5, static_cast<int>(n % 60));
    ASSERT_GT(lz::CompressFile(source, CompressedName(n), nullptr, nullptr, 1), 0) << source;
  }

  static std::string CompressedName(std::uint64_t n) {
    return "D:\\backup\\icq" + std::to_string(n) + ".lzz";
  }

  void WriteList(const std::string& header, const std::vector<std::string>& lines) {
    std::string text = header + "\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    drives_.WriteFile("D:\\backup\\icqlist.txt", text);
  }

  static std::string Line(const DataFile& file) {
    return file.folder + "***" + file.name + "|||" + std::to_string(file.bytes.size());
  }

  // A backup of the files, as the Backup button makes it, with the given count.
  void MakeBackup(const std::vector<DataFile>& files, std::int64_t count) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < files.size(); ++i) {
      lines.push_back(Line(files[i]));
      if (!files[i].bytes.empty()) Store(i + 1, files[i].name, files[i].bytes);
    }
    WriteList("Total Files : " + std::to_string(count), lines);
  }
  void MakeBackup(const std::vector<DataFile>& files) {
    MakeBackup(files, static_cast<std::int64_t>(files.size()));
  }

  static std::string DataPath(const DataFile& file) {
    return "C:\\ICQ\\" + (file.folder.empty() ? "" : file.folder + "\\") + file.name;
  }

  backup::RestoreOutcome Restore(bool ok = true) {
    window_.answers = {ok};
    return backup::RestoreClick(window_, tuning_);
  }

  // RestoreFiles alone, with the folders set as RestoreClick sets them.
  backup::RestoreOutcome RestoreFilesOnly() {
    window_.ICQPath = "C:\\ICQ";
    window_.BackupPath = "D:\\backup";
    return backup::RestoreFiles(window_, tuning_);
  }

  DriveSandbox drives_;
  RecordingWindow window_;
  backup::RestoreTuning tuning_;
};

// The screen RestoreClick leaves before the first entry: " " and the thirteen notes.
inline const std::vector<std::string> kNotes = {" ",
                                                " Restoring ICQ Data Files...",
                                                " ",
                                                " This may take a few minutes...",
                                                " ",
                                                " ",
                                                " Note:",
                                                " 1. Try not to run other programs as",
                                                "      this will slow down the process.",
                                                " 2. If you are multi-tasking, Torq32 may",
                                                "      appear not to be responsing. Just",
                                                "      let it complete itself.",
                                                " ",
                                                " Processing File:"};

inline const std::vector<std::string> kSuccess = {" ",
                                                  " Restoration Successful!",
                                                  " ",
                                                  " ",
                                                  " Note:",
                                                  " Register your UIN with ICQ and your",
                                                  " ICQ will be up and running again!"};

inline const std::vector<std::string> kRestoreUnsuccessful = {" ",
                                                              " Error!",
                                                              " ",
                                                              " Restore unsuccessful!",
                                                              " ",
                                                              " ",
                                                              " Note :",
                                                              " ICQ appears to be active!",
                                                              " No ICQ flower should be visible",
                                                              " in the system tray..."};

// The first eight lines of the reports about the backup at D:\backup.
inline std::vector<std::string> AboutBackup(std::vector<std::string> rest) {
  std::vector<std::string> lines = {" ",
                                    " Error!",
                                    " ",
                                    " ICQ backup is unable to restore",
                                    " your backup files at:",
                                    " D:\\backup!",
                                    " ",
                                    " "};
  lines.insert(lines.end(), rest.begin(), rest.end());
  return lines;
}
