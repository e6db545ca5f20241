#include "backup/backup.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/icq_folder.h"
#include "app/plugin.h"
#include "app/reports.h"
#include "app/settings.h"
#include "backup/action_locks.h"
#include "backup/backup_commit.h"
#include "backup/backup_files.h"
#include "backup/backup_testing.h"
#include "backup/collect_files.h"
#include "backup/folder_text.h"
#include "backup/list_entry.h"
#include "backup/listed_files.h"
#include "backup/pack_workers.h"
#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/folder_listings.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace backup {
namespace {

constexpr char kListHeader[] = "Total Files : ";
constexpr char kOverwriteQuestion[] = "Existing Backup Found !\r\rOverwrite files ?";
constexpr double kMegabytesPerByte = 0.000001;
// Files queued for each worker: a worker that finds its next file waiting goes on
// without a wake-up, and the backup's thread sleeps once for several files.
constexpr int kFilesEachWorker = 8;
// How long a batch of compressed files waits for more before its flush.
constexpr std::chrono::milliseconds kFlushGathering{50};

// Fixed point with one decimal and "." whatever the locale (the window's toolkit sets
// the user's locale, in which printf might write a comma).
std::string Megabytes(std::int64_t bytes) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, static_cast<double>(bytes) * kMegabytesPerByte,
                    std::chars_format::fixed, 1);
  return std::string(text, result.ptr);
}

// The total of a list header: the text after its first ":", blanks before the digits
// allowed. Anything else is not a list this program wrote; reading on would delete
// files on a guess.
std::int64_t ListTotal(const std::string& header) {
  if (const std::optional<std::int64_t> total = ListHeaderNumber(header)) return *total;
  const std::size_t colon = header.find(':');
  const std::string text = colon == std::string::npos ? "" : header.substr(colon + 1);
  throw std::runtime_error("'" + text + "' is not a valid integer value");
}

// The earlier backup's files that go once the new backup is in place, named as in the
// folder: for each number up to its list's total, the .lz file, or the .lzz where the .lz
// cannot be deleted. Nullopt when a file of it or its list cannot be deleted (read-only,
// held open, its folder write-protected): the earlier backup then stays whole.
std::optional<std::vector<std::string>> EarlierBackupFiles(const std::string& backup_path) {
  const std::string list_path = PathIn(backup_path, kListName);
  std::string header;
  {
    platform::TextReader list(list_path);
    list.ReadLine(header);
    list.Close();
  }
  std::vector<std::string> doomed;
  const std::int64_t total = ListTotal(header);
  for (std::uint64_t number :
       StoredFileNumbers(backup_path, {kOldCompressedExtension, kCompressedExtension}, total)) {
    if (platform::DeleteFileRefusal(
            CompressedFilePath(backup_path, number, kOldCompressedExtension)) == 0) {
      doomed.push_back(CompressedFileName(number, kOldCompressedExtension));
    } else if (platform::DeleteFileRefusal(CompressedFilePath(backup_path, number)) == 0) {
      doomed.push_back(CompressedFileName(number));
    } else {
      return std::nullopt;
    }
  }
  if (platform::DeleteFileRefusal(list_path) != 0) return std::nullopt;
  return doomed;
}

void ReportOverwriteFailed(app::WindowSeam& window) {
  app::Report(window, {" ", " Error!", " ", " Able to overwrite existing files!", " ", " ",
                       " Note :", " Make sure your disk is not write-",
                       " protected and your existing backup", " files are not in Read-Only mode!"});
}

// The path of the first file that could not be flushed, or an empty text.
std::string FlushBackup(ListWriter& list, const std::string& list_path,
                        platform::BackgroundFlush& flusher, const std::string& backup_path) {
  if (std::optional<std::string> unsaved = flusher.FirstFailure()) return *unsaved;
  try {
    list.File().Flush();
  } catch (const platform::EInOutError&) {
    return list_path;
  }
  if (platform::FlushFolder(backup_path) != 0) return backup_path;
  return "";
}

// For total >= 1 files listed in HomeFolder\icqlist.tmp.
BackupOutcome CompressListedFiles(app::WindowSeam& window, platform::TextReader& pending,
                                  std::uint32_t total, const BackupTuning& tuning) {
  const std::string& backup_path = window.BackupPath;
  const std::string list_path = PathIn(backup_path, kListName);
  FinishStagedBackup(backup_path);  // what a killed backup left
  // Over an earlier backup the new one is written beside it, under names of its own, and
  // takes its place only once it is whole and on the disk.
  std::optional<StagedBackup> staged;
  if (platform::FileExists(list_path)) {
    if (!window.ConfirmYesNo(kOverwriteQuestion)) {
      app::Report(window, {" ", " Backup Cancelled!"});
      return BackupOutcome::kCancelled;
    }
    std::optional<std::vector<std::string>> earlier_files = EarlierBackupFiles(backup_path);
    if (!earlier_files) {
      ReportOverwriteFailed(window);
      return BackupOutcome::kFailed;
    }
    staged.emplace(backup_path, std::move(*earlier_files));
  }

  PackWorkers workers(total < 2 ? 1 : tuning.workers > 0 ? tuning.workers : DefaultPackWorkers(),
                      kFilesEachWorker);
  // Nothing waits for a compressed file's flush before the end: they go in batches.
  platform::BackgroundFlush flusher(tuning.flush_stand_in, kFlushGathering);
  const std::string new_list_path = staged ? staged->ListPath() : list_path;
  ListWriter list(new_list_path);
  ListedFilesMade files;
  try {
    list.WriteLine(kListHeader + std::to_string(total));
    if (!CompressListedFilesInOrder(window, pending, list, total,
                                    staged ? kStagedExtension : kCompressedExtension, workers,
                                    flusher, files)) {
      list.File().Close();
      return BackupOutcome::kFailed;  // a staged backup is deleted, the earlier one stays
    }
  } catch (const platform::EInOutError& error) {
    // A first backup that cannot be written to its end (a full disk) leaves no list whose
    // count its lines do not reach. A stop keeps the files finished and their lines.
    if (!staged && error.ErrorCode() != platform::kOperationAborted) {
      try {
        list.File().Close();
      } catch (const platform::EInOutError&) {
      }
      static_cast<void>(platform::DeleteFile(new_list_path));
    }
    throw;
  }

  // The report says the backup is safe: only once it is on the disk, not in the cache.
  window.Refresh();
  const std::string unsaved = FlushBackup(list, new_list_path, flusher, backup_path);
  list.File().Close();
  if (!unsaved.empty()) {
    app::ErrorScreen(window, " Backup could not be saved : ", app::ShortPath(unsaved) + "!",
                     " Make sure your disk is not full", "      and is still connected!");
    return BackupOutcome::kFailed;
  }
  // Only now does the earlier backup make way: the new one replaces it, then what is left
  // of it goes.
  if (staged && (!staged->Commit() || staged->PutInPlace() != 0)) {
    ReportOverwriteFailed(window);
    return BackupOutcome::kFailed;
  }

  app::Report(window,
              {" ", " Backup Successful to:", app::ShortPath(backup_path), " ",
               " Original Filesize: " + Megabytes(files.original_total) + " MB",
               " Compressed Filesize: " + Megabytes(files.compressed_total) + " MB", " ", " ",
               " Note:", " You may copy the folder to any", " removable media for storage!"});
  return BackupOutcome::kSucceeded;
}

void ReportCollectStop(app::WindowSeam& window, const Collection& collection) {
  const std::string path = app::ShortPath(Printable(collection.stop_path)) + "!";
  switch (collection.stop) {
    case CollectStop::kFileTooLarge:
      app::ErrorScreen(window, " File too large to backup : ", path,
                       " Files of 2 GB or more cannot be", "      stored in a backup!");
      break;
    case CollectStop::kCasePair:
      app::ErrorScreen(window, " Names differ only in case : ", path,
                       " Rename one of them: a restore", "      could keep only one!");
      break;
    case CollectStop::kFolderNotEntered:
      app::ErrorScreen(window, " Cannot open folder : ", path, " Make sure you may read it",
                       "      and no program holds it!");
      break;
    case CollectStop::kNameNotListable:
    case CollectStop::kNone:
      app::ErrorScreen(window, " Name not allowed in a backup : ", path,
                       " Rename it without \\ : * ? \" < > |", "      or control characters!");
      break;
  }
}

// The backup folder is the ICQ folder however it is named (another letter case, a
// link, another drive onto the same folder), or lies in a data folder that the backup
// collects, where the backup would list its own files among the data.
bool BackupFolderIsAmongTheData(const app::WindowSeam& window,
                                const std::vector<std::string>& entries) {
  if (platform::SamePathText(window.BackupPath, window.ICQPath) ||
      platform::SameFile(window.BackupPath, window.ICQPath)) {
    return true;
  }
  for (const std::string& entry : entries) {
    if (platform::FolderBoundary(window.ICQPath + "\\" + entry).Contains(window.BackupPath)) {
      return true;
    }
  }
  return false;
}

// An input/output error that ends the backup: the free-space report for a full disk,
// else the backup folder and the cause.
void ReportBackupError(app::WindowSeam& window, const platform::EInOutError& error) {
  if (error.ErrorCode() == platform::kDiskFull) {
    ReportDiskFull(window);
  } else {
    app::ErrorScreen(window,
                     " Backup could not be saved : ", app::ShortPath(window.BackupPath) + "!",
                     " " + std::string(error.what()) + "!", " ");
  }
}

// An entry that leads out of the ICQ folder would back up files that are not ICQ's,
// which a restore then refuses to put back.
bool RefusedEntry(app::WindowSeam& window, const std::vector<std::string>& entries) {
  const auto out = std::find_if(entries.begin(), entries.end(), LeadsOutOfFolder);
  if (out == entries.end()) return false;
  app::ErrorScreen(window,
                   " Entry not allowed in back.dat : ", app::ShortPath(Printable(*out)) + "!",
                   " Entries name folders below", "      the ICQ Folder!");
  return true;
}

// The data files collected into the temporary list, then backed up; or the report of
// why not.
BackupOutcome CollectAndBackUp(app::WindowSeam& window, const std::vector<std::string>& entries,
                               const std::string& list_path, const platform::RunLocks& locks,
                               const BackupTuning& tuning) {
  platform::File list = platform::File::Open(list_path, platform::OpenMode::kCreate);
  Collection collection;
  collection.icq_path = window.ICQPath;
  collection.list = &list;
  collection.run_locks = &locks;
  bool whole = true;
  for (const std::string& entry : entries) {
    whole = CollectFiles(window.ICQPath + "\\" + entry, collection);
    if (!whole) break;
  }
  list.Close();

  BackupOutcome outcome = BackupOutcome::kFailed;
  if (!whole) {
    ReportCollectStop(window, collection);
  } else if (collection.count >= 1) {
    app::AppendLines(
        window,
        {" Backup ICQ...", " ", " This may take a few minutes...", " ", " ",
         " Note:", " 1. Try not to run other programs as this", "      will slow down the process.",
         " 2. If you are multi-tasking, Torq32 may", "      appear not to be responsing. Just",
         "      let it complete itself.", " ", " ", " Processing File:"});
    platform::RaiseIfStopRequested();
    platform::TextReader pending(list_path);
    // Nothing else writes to the backup folder while the backup runs.
    platform::KeepFolderListings own_folders;
    outcome = CompressListedFiles(window, pending, collection.count, tuning);
    pending.Close();
  } else {
    app::Report(window, {" ", " Error!", " ", " No ICQ Data files Found!"});
  }
  return outcome;
}

}  // namespace

BackupOutcome BackupClick(app::WindowSeam& window) { return BackupClick(window, {}); }

BackupOutcome BackupClick(app::WindowSeam& window, const BackupTuning& tuning) {
  StartBackupFolderAction(window);
  ReadIcqFolder(window);

  if (!platform::FileExists(PathIn(window.ICQPath, app::kProgramName))) {
    ReportIcqNotFound(window, " 2. use the AutoSearch function!");
    return BackupOutcome::kFailed;
  }
  // Every entry is looked up in the ICQ folder, in any letter case: read once, not once an
  // entry (ICQ is closed, and the ICQ folder is held from the locks on).
  platform::KeepFolderListings icq_folders;
  const std::vector<std::string> entries = app::ReadPluginEntries(window.HomeFolder);
  if (RefusedEntry(window, entries)) return BackupOutcome::kFailed;
  if (BackupFolderIsAmongTheData(window, entries)) {
    app::Report(window, {" ", " Error!", " ", " It is not advisable to backup to the",
                         " same folder as ICQ!"});
    return BackupOutcome::kFailed;
  }
  platform::RunLocks locks;
  // The ICQ folder too, before a backup folder is made: a restore into it meanwhile would
  // leave a backup of half of each. A backup folder that exists is held before it.
  if (!LockFolder(window, locks, window.HomeFolder) ||
      (app::PathIsFolder(window.BackupPath) && !LockFolder(window, locks, window.BackupPath)) ||
      !LockFolder(window, locks, window.ICQPath)) {
    return BackupOutcome::kFailed;
  }
  if (!app::PathIsFolder(window.BackupPath) && platform::CreateFolder(window.BackupPath) != 0) {
    app::ErrorScreen(window, " Cannot create folder : ", app::ShortPath(window.BackupPath) + "!",
                     " Make sure your disk is not full!", " ");
    return BackupOutcome::kFailed;
  }
  if (!LockFolder(window, locks, window.BackupPath)) return BackupOutcome::kFailed;
  const std::string list_path = PathIn(window.HomeFolder, kTemporaryListName);
  BackupOutcome outcome = BackupOutcome::kFailed;
  try {
    app::SavePrefs(window);
    outcome = CollectAndBackUp(window, entries, list_path, locks, tuning);
  } catch (const platform::EInOutError& error) {
    // A stop leaves only finished files behind; other errors keep the list to look at,
    // and are told on the screen too.
    if (error.ErrorCode() == platform::kOperationAborted) {
      static_cast<void>(platform::DeleteFile(list_path));
    } else {
      ReportBackupError(window, error);
    }
    throw;
  }
  static_cast<void>(platform::DeleteFile(list_path));  // a leftover is emptied by the next backup
  return outcome;
}

}  // namespace backup
