#include "backup/backup_files.h"

#include <algorithm>
#include <charconv>

#include "app/icq_folder.h"
#include "app/reports.h"
#include "backup/backup_commit.h"
#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"

namespace backup {

std::optional<unsigned long long> FreeSpace(const std::string& folder) {
  const int drive = platform::DriveNumberOfPath(folder);
  if (drive == 0) return std::nullopt;
  return platform::DiskFreeSpace(drive);
}

std::string PathIn(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

std::string CompressedFileName(std::uint64_t number, const char* extension) {
  return kCompressedPrefix + std::to_string(number) + extension;
}

std::string CompressedFilePath(const std::string& folder, std::uint64_t number,
                               const char* extension) {
  return PathIn(folder, CompressedFileName(number, extension));
}

std::uint64_t CompressedFileNumber(const std::string& name,
                                   std::initializer_list<const char*> extensions) {
  const std::string lower = platform::AsciiLower(name);
  const std::size_t dot = lower.rfind('.');
  const std::size_t digits = sizeof kCompressedPrefix - 1;
  if (lower.rfind(kCompressedPrefix, 0) != 0 || dot == std::string::npos || dot <= digits ||
      lower[digits] == '0')
    return 0;
  if (std::none_of(extensions.begin(), extensions.end(),
                   [&](const char* extension) { return lower.substr(dot) == extension; }))
    return 0;
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(lower.data() + digits, lower.data() + dot, number);
  if (error != std::errc() || end != lower.data() + dot) return 0;
  return number;
}

std::vector<std::uint64_t> StoredFileNumbers(const std::string& backup_path,
                                             std::initializer_list<const char*> extensions,
                                             std::int64_t total, bool folders_too) {
  std::vector<std::uint64_t> numbers;
  platform::DirectorySearch search;
  platform::SearchRec rec;
  for (int found = search.FindFirst(backup_path + "\\*.*", platform::faAnyFile, &rec); found == 0;
       found = search.FindNext(&rec)) {
    if ((rec.attributes & platform::faDirectory) && !folders_too) continue;
    const std::uint64_t number = CompressedFileNumber(rec.name, extensions);
    if (number >= 1 && number <= static_cast<std::uint64_t>(std::max<std::int64_t>(total, 0)))
      numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

bool ReportBackupFilesNotFound(app::WindowSeam& window) {
  return app::ErrorScreen(
      window, " ICQ Backup Files not found in ", app::ShortPath(window.BackupPath) + "!",
      " Please check your Backup Folder at", " \"2. Select / Edit Backup Folder\" again!");
}

bool FindList(app::WindowSeam& window) {
  // An empty text names no folder: "\icqlist.txt" would be looked up at a drive's root.
  if (window.BackupPath.empty() || !platform::FileExists(PathIn(window.BackupPath, kListName))) {
    return ReportBackupFilesNotFound(window);
  }
  return true;
}

bool StartIcqAction(app::WindowSeam& window, const std::string& search_advice) {
  StartBackupFolderAction(window);
  window.ICQPath = app::WithoutTrailingBackslash(window.ICQFolder());
  if (platform::FileExists(PathIn(window.ICQPath, app::kProgramName))) return true;
  app::Report(window,
              {" ", " Error!", " ", " ICQ cannot be found in ", app::ShortPath(window.ICQPath), " ",
               " ", " Note:", " 1. Please check your ICQ Folder at",
               "     \"1. Select ICQ Folder\" again or", search_advice});
  return false;
}

bool ReportCannotOpenFolder(app::WindowSeam& window, const std::string& folder) {
  return app::ErrorScreen(window, " Cannot open folder : ", app::ShortPath(folder) + "!",
                          " Make sure you may read it", "      and no program holds it!");
}

bool LockFolder(app::WindowSeam& window, platform::RunLocks& locks, const std::string& folder) {
  // An empty text names no folder (the current directory would stand in for it).
  if (folder.empty() || locks.Take(folder) != platform::FolderLock::kInUse) return true;
  return app::ErrorScreen(window, " Folder in use : ", app::ShortPath(folder) + "!",
                          " Wait: another copy of the program is using this folder!",
                          " Try again once it has finished!");
}

std::optional<platform::RunLocks> LockActionFolders(app::WindowSeam& window, bool icq_folder) {
  platform::RunLocks locks;
  if (!LockFolder(window, locks, window.HomeFolder) ||
      !LockFolder(window, locks, window.BackupPath) ||
      (icq_folder && !LockFolder(window, locks, window.ICQPath))) {
    return std::nullopt;
  }
  FinishStagedBackup(window.BackupPath);
  return locks;
}

std::string ReadBackupFolder(app::WindowSeam& window) {
  std::string text = window.BackupFolderText();
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (!text.empty() && !(text.size() >= 2 && text[1] == ':') &&
      !(text.size() >= 2 && separator(text[0]) && separator(text[1]))) {
    text = platform::ExpandFileName(text);
    window.SetBackupFolderText(text);
  }
  return app::WithoutTrailingBackslash(text);
}

void StartBackupFolderAction(app::WindowSeam& window) {
  window.ClearScreen();
  window.AppendLine(" ");
  window.SetGauge(0);
  window.BackupPath = ReadBackupFolder(window);
}

}  // namespace backup
