// Drives made of temporary folders: each letter's root is a fresh host folder, and the
// platform's drive table is pointed at them for the life of the sandbox. Paths are given
// as Windows texts ("D:\Apps\ICQ") and mapped here by plain text, independently of the
// platform layer under test.
#pragma once

#ifdef _WIN32
#include "win32_api.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "scratch_folder.h"

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
  // child process (WINEPREFIX=<the answer>).
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
#ifdef _WIN32
    // Through the system's own zone rules for that date, as the C library's mktime
    // applies them on POSIX; the runtime's own conversions stop short of 2107.
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    SYSTEMTIME utc;
    FILETIME when;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !::SystemTimeToFileTime(&utc, &when)) {
      return;
    }
    HANDLE file = ::CreateFileW(Host(windows_path).wstring().c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    ::SetFileTime(file, nullptr, nullptr, &when);
    ::CloseHandle(file);
#else
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const timespec when{std::mktime(&local), 0};
    const timespec times[2] = {when, when};
    ::utimensat(AT_FDCWD, Host(windows_path).c_str(), times, 0);
#endif
  }

 private:
  std::filesystem::path root_;
  std::vector<platform::DriveMapping> table_;
};
