// Drives made of temporary folders: each letter's root is a fresh host folder, and the
// platform's drive table is pointed at them for the life of the sandbox. Paths are given
// as Windows texts ("D:\Apps\ICQ") and mapped here by plain text, independently of the
// platform layer under test.
#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "tests/host_times.h"
#include "tests/scratch_folder.h"

class DriveSandbox {
 public:
  explicit DriveSandbox(std::initializer_list<char> letters) {
    root_ = MakeScratchFolder("varn-drives-");
    std::vector<platform::DriveMapping> table;
    for (char letter : letters) {
      std::filesystem::create_directory(root_ / std::string(1, letter));
      table.push_back({letter, (root_ / std::string(1, letter)).string()});
    }
    table_ = table;
    platform::InstallDriveTableForTests(table);
  }
  ~DriveSandbox() {
    platform::InstallDriveTableForTests({});
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  DriveSandbox(const DriveSandbox&) = delete;
  DriveSandbox& operator=(const DriveSandbox&) = delete;

  const std::filesystem::path& Root() const { return root_; }

  // One more drive, onto any host folder: say Z: onto Root(), so that "Z:\C\ICQ" is
  // another name for "C:\ICQ", as Wine's Z: is "/".
  void AddDrive(char letter, const std::filesystem::path& host_root) {
    table_.push_back({letter, host_root.string()});
    platform::InstallDriveTableForTests(table_);
  }

#ifndef _WIN32
  // A Wine prefix whose dosdevices/ links name the same drives, for a program run in a
  // child process (WINEPREFIX=<the answer>). Linux only: on Windows a child process
  // sees the system's drives.
  std::filesystem::path WriteWinePrefix() const {
    const std::filesystem::path devices = root_ / "wine-prefix" / "dosdevices";
    std::filesystem::create_directories(devices);
    for (const auto& drive : table_) {
      const char name[] = {static_cast<char>(std::tolower(drive.letter)), ':', '\0'};
      std::filesystem::create_directory_symlink(drive.host_root, devices / name);
    }
    return devices.parent_path();
  }
#endif

  // "D:\Apps\ICQ" -> <root>/D/Apps/ICQ (the letter in upper case).
  std::filesystem::path Host(const std::string& windows_path) const {
    const char letter = static_cast<char>(std::toupper(windows_path[0]));
    std::filesystem::path host = root_ / std::string(1, letter);
    std::stringstream rest(windows_path.substr(2));
    std::string part;
    while (std::getline(rest, part, '\\')) {
      if (!part.empty()) host /= part;
    }
    return host;
  }

  void MakeFolder(const std::string& windows_path) const {
    std::filesystem::create_directories(Host(windows_path));
  }

  // Writes the bytes as they are (lists carry their own CR LF), making the folders.
  void WriteFile(const std::string& windows_path, const std::string& bytes) const {
    const auto host = Host(windows_path);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
  }

  std::string ReadFile(const std::string& windows_path) const {
    std::ifstream in(Host(windows_path), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  bool Exists(const std::string& windows_path) const {
    return std::filesystem::exists(Host(windows_path));
  }

  // Takes the write permissions away (on Windows: sets the read-only attribute).
  bool MakeReadOnly(const std::string& windows_path) const {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::permissions(Host(windows_path),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::replace, error);
    return !error;
  }

  // Sets the last-write time of a file or folder to a local date and time.
  void SetLocalTime(const std::string& windows_path, int year, int month, int day, int hour,
                    int minute, int second) const {
    SetHostLocalWriteTime(Host(windows_path), year, month, day, hour, minute, second);
  }

 private:
  std::filesystem::path root_;
  std::vector<platform::DriveMapping> table_;
};
