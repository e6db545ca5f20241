#include "backup/backup.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/plugin.h"
#include "app/reports.h"
#include "app/settings.h"
#include "backup/collect_files.h"
#include "backup/folder_text.h"
#include "backup/pack_file.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace backup {
namespace {

constexpr char kTemporaryList[] = "\\icqlist.tmp";
constexpr char kBackupList[] = "\\icqlist.txt";
constexpr char kListHeader[] = "Total Files : ";
constexpr char kOverwriteQuestion[] = "Existing Backup Found !\r\rOverwrite files ?";
// Index of the screen line that names the file being compressed, just below
// " Processing File:".
constexpr int kFileInProgressLine = 15;
constexpr double kMegabytesPerByte = 0.000001;

void Report(app::WindowSeam& window, std::initializer_list<const char*> lines) {
  window.ClearScreen();
  for (const char* line : lines) window.AppendLine(line);
}

// Control characters would break the line on the screen; the report names the path
// with each of them shown as "?".
std::string Printable(std::string path) {
  std::replace_if(
      path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
      '?');
  return path;
}

std::string CompressedFileName(const std::string& backup_path, std::uint64_t number,
                               const char* extension) {
  return backup_path + "\\icq" + std::to_string(number) + extension;
}

// Fixed point with one decimal and "." whatever the locale (the window's toolkit sets
// the user's locale, in which printf might write a comma).
std::string Megabytes(std::int64_t bytes) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text,
                                    static_cast<double>(bytes) * kMegabytesPerByte,
                                    std::chars_format::fixed, 1);
  return std::string(text, result.ptr);
}

// The total of a list header: the text after its first ":", blanks before the digits
// allowed. Anything else is not a list this program wrote; reading on would delete
// files on a guess.
std::int64_t ListTotal(const std::string& header) {
  const std::size_t colon = header.find(':');
  const std::string text = colon == std::string::npos ? "" : header.substr(colon + 1);
  const std::size_t start = text.find_first_not_of(' ');
  std::int64_t total = 0;
  if (start != std::string::npos) {
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    if (*first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, total);
    if (error == std::errc() && end == last) return total;
  }
  throw std::runtime_error("'" + text + "' is not a valid integer value");
}

// The numbers 1..total for which icqN.lz or icqN.lzz exists, ascending. Found by one
// search of the folder instead of two look-ups per number, so that a damaged header
// with a huge total costs nothing.
std::vector<std::uint64_t> EarlierFileNumbers(const std::string& backup_path,
                                              std::int64_t total) {
  std::vector<std::uint64_t> numbers;
  platform::DirectorySearch search;
  platform::SearchRec rec;
  for (int found = search.FindFirst(backup_path + "\\*.*", platform::faAnyFile, &rec);
       found == 0; found = search.FindNext(&rec)) {
    if (rec.attributes & platform::faDirectory) continue;
    std::string name = rec.name;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t dot = name.rfind('.');
    if (name.rfind("icq", 0) != 0 || dot == std::string::npos || dot <= 3 || name[3] == '0')
      continue;
    const std::string extension = name.substr(dot);
    if (extension != ".lz" && extension != ".lzz") continue;
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(name.data() + 3, name.data() + dot, number);
    if (error != std::errc() || end != name.data() + dot) continue;
    if (number >= 1 && number <= static_cast<std::uint64_t>(std::max<std::int64_t>(total, 0)))
      numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

// Deletes the earlier backup named by its list; false as soon as a file of it stays.
bool RemoveEarlierBackup(const std::string& backup_path) {
  const std::string list_path = backup_path + kBackupList;
  std::string header;
  {
    platform::TextReader list(list_path);
    list.ReadLine(header);
    list.Close();
  }
  for (std::uint64_t number : EarlierFileNumbers(backup_path, ListTotal(header))) {
    // As the original removal does: the .lz file first, the .lzz only if that fails.
    if (platform::DeleteFile(CompressedFileName(backup_path, number, ".lz")) != 0 &&
        platform::DeleteFile(CompressedFileName(backup_path, number, ".lzz")) != 0) {
      return false;
    }
  }
  return platform::DeleteFile(list_path) == 0;
}

// Free space is compared with the file's whole size; a path that names no drive (a
// network path) has no figure, and then the check is skipped.
bool HasRoomFor(const std::string& backup_path, std::int64_t size) {
  const int drive = platform::DriveNumberOfPath(backup_path);
  if (drive == 0) return true;
  const std::optional<unsigned long long> free = platform::DiskFreeSpace(drive);
  return !free || static_cast<unsigned long long>(size) < *free;
}

// The backup list, written a line at a time so that whatever ends the backup, the
// lines up to the file in progress are in the file.
class ListWriter {
 public:
  explicit ListWriter(const std::string& path)
      : file_(platform::File::Open(path, platform::OpenMode::kCreate)) {}
  void WriteLine(const std::string& line) {
    const std::string text = line + "\r\n";
    file_.Write(text.data(), text.size());
  }
  platform::File& File() { return file_; }

 private:
  platform::File file_;
};

// Makes the new backup durable: each compressed file, then the folder's entries.
// Answers the path that could not be flushed, or an empty text. The list itself has
// been flushed by the caller.
std::string FlushCompressedFiles(const std::string& backup_path,
                                 const std::vector<std::uint64_t>& numbers) {
  for (std::uint64_t number : numbers) {
    const std::string path = CompressedFileName(backup_path, number, ".lzz");
    try {
      platform::File file;
      if (platform::File::TryOpen(path, platform::OpenMode::kRead, &file) != 0) return path;
      file.Flush();
      file.Close();
    } catch (const platform::EInOutError&) {
      return path;
    }
  }
  if (platform::FlushFolder(backup_path) != 0) return backup_path;
  return "";
}

BackupOutcome CompressListedFiles(app::WindowSeam& window, platform::TextReader& pending,
                                  std::uint32_t total) {
  const std::string& backup_path = window.BackupPath;
  const std::string list_path = backup_path + kBackupList;
  if (platform::FileExists(list_path)) {
    if (!window.ConfirmYesNo(kOverwriteQuestion)) {
      Report(window, {" ", " Backup Cancelled!"});
      return BackupOutcome::kCancelled;
    }
    if (!RemoveEarlierBackup(backup_path)) {
      Report(window, {" ", " Error!", " ", " Able to overwrite existing files!", " ", " ",
                      " Note :", " Make sure your disk is not write-",
                      " protected and your existing backup", " files are not in Read-Only mode!"});
      return BackupOutcome::kFailed;
    }
  }

  ListWriter list(list_path);
  list.WriteLine(kListHeader + std::to_string(total));
  std::uint64_t number = 1;
  std::int64_t original_total = 0;
  std::int64_t compressed_total = 0;
  bool go_on = true;
  std::vector<std::uint64_t> written;
  std::string line;
  while (go_on && pending.ReadLine(line)) {
    list.WriteLine(line);
    const std::optional<FileLineFields> fields = SplitFileLine(line);
    if (!fields) throw std::runtime_error("'" + line + "' is not a valid file line");
    original_total += fields->size;
    if (fields->size <= 0) {  // an empty file keeps its number but gets no file
      ++number;
      continue;
    }
    if (!HasRoomFor(backup_path, fields->size)) {
      Report(window, {" ", " Error!", " ", " Backup Unsuccessful!", " ", " ", " Note:",
                      " Make sure your disk is not full!"});
      go_on = false;
      break;
    }
    const std::string source = window.ICQPath + "\\" + fields->folder_part + "\\" + fields->name;
    window.AppendLine(app::ShortPath(source));
    const std::int64_t packed = PackFile(
        window, source, CompressedFileName(backup_path, number, ".lzz"), "c", go_on);
    compressed_total += packed;
    if (go_on) written.push_back(number);
    window.DeleteLine(kFileInProgressLine);
    ++number;
    window.SetGauge(static_cast<int>(std::min<std::uint64_t>(number * 100 / total, 100)));
  }
  if (!go_on) {
    list.File().Close();
    return BackupOutcome::kFailed;
  }

  // The report says the backup is safe: only once it is on the disk, not in the cache.
  std::string unsaved;
  try {
    list.File().Flush();
  } catch (const platform::EInOutError&) {
    unsaved = list_path;
  }
  list.File().Close();
  if (unsaved.empty()) unsaved = FlushCompressedFiles(backup_path, written);
  if (!unsaved.empty()) {
    app::ErrorScreen(window, " Backup could not be saved : ",
                     app::ShortPath(unsaved) + "!", " Make sure your disk is not full",
                     "      and is still connected!");
    return BackupOutcome::kFailed;
  }

  window.ClearScreen();
  window.AppendLine(" ");
  window.AppendLine(" Backup Successful to:");
  window.AppendLine(app::ShortPath(backup_path));
  window.AppendLine(" ");
  window.AppendLine(" Original Filesize: " + Megabytes(original_total) + " MB");
  window.AppendLine(" Compressed Filesize: " + Megabytes(compressed_total) + " MB");
  for (const char* note : {" ", " ", " Note:", " You may copy the folder to any",
                           " removable media for storage!"}) {
    window.AppendLine(note);
  }
  return BackupOutcome::kSucceeded;
}

void ReportCollectStop(app::WindowSeam& window, const Collection& collection) {
  const std::string path = app::ShortPath(Printable(collection.stop_path)) + "!";
  if (collection.stop == CollectStop::kFileTooLarge) {
    app::ErrorScreen(window, " File too large to backup : ", path,
                     " Files of 2 GB or more cannot be", "      stored in a backup!");
  } else {
    app::ErrorScreen(window, " Name not allowed in a backup : ", path,
                     " Rename it without \\ : * ? \" < > |", "      or control characters!");
  }
}

}  // namespace

BackupOutcome BackupFiles(app::WindowSeam& window, std::uint32_t total) {
  platform::TextReader pending(window.HomeFolder + kTemporaryList);
  const BackupOutcome outcome = CompressListedFiles(window, pending, total);
  pending.Close();
  return outcome;
}

BackupOutcome BackupClick(app::WindowSeam& window) {
  window.ClearScreen();
  window.AppendLine(" ");
  window.SetGauge(0);
  window.BackupPath = WithoutTrailingBackslash(window.BackupFolderText());
  window.ICQPath = WithoutTrailingBackslash(window.ICQFolder());

  if (!platform::FileExists(window.ICQPath + "\\icq.exe")) {
    window.ClearScreen();
    for (const std::string& line :
         {std::string(" "), std::string(" Error!"), std::string(" "),
          std::string(" ICQ cannot be found in "), app::ShortPath(window.ICQPath),
          std::string(" "), std::string(" "), std::string(" Note:"),
          std::string(" 1. Please check your ICQ Folder at"),
          std::string("     \"1. Select ICQ Folder\" again or"),
          std::string(" 2. use the AutoSearch function!")}) {
      window.AppendLine(line);
    }
    return BackupOutcome::kFailed;
  }
  // The file system ignores letter case, so two spellings of one folder are one folder.
  if (platform::SamePathText(window.BackupPath, window.ICQPath)) {
    Report(window,
           {" ", " Error!", " ", " It is not advisable to backup to the", " same folder as ICQ!"});
    return BackupOutcome::kFailed;
  }
  if (!app::PathIsFolder(window.BackupPath) &&
      platform::CreateFolder(window.BackupPath) != 0) {
    app::ErrorScreen(window, " Cannot create folder : ", app::ShortPath(window.BackupPath) + "!",
                     " Make sure your disk is not full!", " ");
    return BackupOutcome::kFailed;
  }
  app::SavePrefs(window);

  const std::string list_path = window.HomeFolder + kTemporaryList;
  platform::File::Open(list_path, platform::OpenMode::kCreate).Close();
  Collection collection;
  collection.icq_path = window.ICQPath;
  collection.list_path = list_path;
  bool whole = true;
  app::ForEachPluginEntry(window.HomeFolder, [&](const std::string& entry) {
    if (whole) whole = CollectFiles(window.ICQPath + "\\" + entry, collection);
  });

  BackupOutcome outcome = BackupOutcome::kFailed;
  if (!whole) {
    ReportCollectStop(window, collection);
  } else if (collection.count >= 1) {
    for (const char* line :
         {" Backup ICQ...", " ", " This may take a few minutes...", " ", " ", " Note:",
          " 1. Try not to run other programs as this", "      will slow down the process.",
          " 2. If you are multi-tasking, Torq32 may", "      appear not to be responsing. Just",
          "      let it complete itself.", " ", " ", " Processing File:"}) {
      window.AppendLine(line);
    }
    outcome = BackupFiles(window, collection.count);
  } else {
    Report(window, {" ", " Error!", " ", " No ICQ Data files Found!"});
  }
  platform::DeleteFile(list_path);  // a leftover is emptied by the next backup
  return outcome;
}

}  // namespace backup
