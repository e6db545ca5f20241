#include "backup/backup.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <deque>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/icq_folder.h"
#include "app/plugin.h"
#include "app/reports.h"
#include "app/settings.h"
#include "backup/backup_commit.h"
#include "backup/backup_files.h"
#include "backup/backup_testing.h"
#include "backup/collect_files.h"
#include "backup/pack_file.h"
#include "backup/pack_workers.h"
#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/folder_handle.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace backup {
namespace {

constexpr char kListHeader[] = "Total Files : ";
constexpr char kOverwriteQuestion[] = "Existing Backup Found !\r\rOverwrite files ?";
constexpr double kMegabytesPerByte = 0.000001;
constexpr int kFileInProgressLine = 15;  // below " Processing File:"
constexpr int kFilesEachWorker = 8;      // fewer wake-ups of the workers and of the backup
constexpr std::chrono::milliseconds kFlushGathering{50};
constexpr std::size_t kReadAhead = 256;  // lines read ahead at most: a bound on memory
// Closer than this to the free space, it is asked again: other programs write too.
constexpr std::uint64_t kNearlyFull = 64 << 20;

// One decimal and "." whatever the locale (printf might write a comma).
std::string Megabytes(std::int64_t bytes) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, static_cast<double>(bytes) * kMegabytesPerByte,
                    std::chars_format::fixed, 1);
  return std::string(text, result.ptr);
}

void ReportDiskFull(app::WindowSeam& window) {
  app::Report(window, {" ", " Error!", " ", " Backup Unsuccessful!", " ", " ",
                       " Note:", " Make sure your disk is not full!"});
}

void ReportOverwriteFailed(app::WindowSeam& window) {
  app::Report(window, {" ", " Error!", " ", " Able to overwrite existing files!", " ", " ",
                       " Note :", " Make sure your disk is not write-",
                       " protected and your existing backup", " files are not in Read-Only mode!"});
}

// The header, one flag byte per eight literals, and whole blocks.
std::uint64_t MostDiskSpace(std::int64_t size) {
  constexpr std::uint64_t kBlock = 4096;
  const std::uint64_t bytes = 257 + static_cast<std::uint64_t>(size) * 9 / 8 + 16;
  return (bytes + 2 * kBlock - 1) / kBlock * kBlock;
}

// Written a line at a time: whatever ends the backup, the lines up to its file are there.
class ListWriter {
 public:
  explicit ListWriter(const std::string& path)
      : file_(platform::File::Open(path, platform::OpenMode::kCreate)) {}
  void WriteLine(const std::string& line) {
    const std::int64_t before = Size();
    size_ = kUnknownSize;  // asked of the file after a failed write
    platform::WriteTextLine(file_, line);
    size_ = before + static_cast<std::int64_t>(line.size() + sizeof platform::kLineEnd - 1);
  }
  std::int64_t Size() const { return size_ != kUnknownSize ? size_ : file_.Position(); }
  void CutTo(std::int64_t size) {
    size_ = kUnknownSize;
    file_.Seek(size);
    file_.Truncate();
    size_ = size;
  }
  platform::File& File() { return file_; }

 private:
  static constexpr std::int64_t kUnknownSize = -1;
  platform::File file_;
  std::int64_t size_ = 0;
};

// Each step in list order as in a plain loop: workers compress ahead only what it would
// compress too, and what was done ahead of a file that stops it is taken back.
class ListedFiles {
 public:
  ListedFiles(app::WindowSeam& window, platform::TextReader& pending, ListWriter& list,
              std::uint32_t total, const char* extension, PackWorkers& workers,
              platform::BackgroundFlush& flusher)
      : window_(window),
        pending_(pending),
        list_(list),
        total_(total),
        extension_(extension),
        workers_(workers),
        flusher_(flusher) {}

  // False after a report that stopped the backup; errors pass through.
  bool Run() {
    list_.WriteLine(kListHeader + std::to_string(total_));
    // New files are made in the folder held open, by names no entry bears in any letter case
    // (the run lock keeps other programs out): no look-up reads the folder. A folder of such a
    // name is left to the path's look-up, which refuses it.
    existing_ = StoredFileNumbers(window_.BackupPath, {extension_}, std::int64_t{1} << 62, true);
    if (platform::FolderHandle::Open(window_.BackupPath, &folder_) == 0) {
      folder_.TakeNamesAsSpelt();
    }
    for (;;) {
      Fill();
      if (slots_.empty()) return true;
      bool go_on = false;
      try {
        platform::RaiseIfStopRequested();
        go_on = Commit(slots_.front());
      } catch (const platform::EInOutError&) {
        TakeBack(true);  // a stop, or a file that cannot be written (a full disk)
        throw;
      } catch (...) {
        TakeBack(platform::StopRequested());
        throw;
      }
      if (!go_on) {
        TakeBack(false);
        return false;
      }
      slots_.pop_front();
    }
  }

  std::int64_t original_total = 0;
  std::int64_t compressed_total = 0;

 private:
  // One list line from its reading to its turn.
  struct Slot {
    std::uint64_t number = 0;
    ListEntry fields;
    std::string source, destination;
    std::int64_t list_start = -1;  // the list's size before and after this line
    std::int64_t list_size = -1;
    std::exception_ptr failure;  // reading or writing this line failed
    bool started = false;        // handed to a worker
    bool made_empty = false;     // its compressed file was made before that
    bool begun = false;          // compressed on this thread
    bool done = false;           // the worker's result is in
    std::int64_t bytes = 0;
    std::exception_ptr error;  // what the worker's engine raised
    platform::File written;    // open for its flush
  };

  // Reads lines and starts files ahead while workers are free; without workers, one line.
  void Fill() {
    const bool ahead = workers_.Count() > 0;
    for (;;) {
      const bool blocked = ahead && !StartAhead();
      if (input_done_) return;
      if (!slots_.empty() && (!ahead || blocked || workers_.Busy() >= workers_.Capacity() ||
                              slots_.size() >= kReadAhead)) {
        return;
      }
      ReadSlot();
    }
  }

  void ReadSlot() {
    Slot slot;
    slot.number = next_number_++;
    try {
      std::string line;
      if (!pending_.ReadLine(line)) {
        input_done_ = true;
        return;
      }
      slot.list_start = list_.Size();
      list_.WriteLine(line);
      slot.list_size = list_.Size();
      const std::optional<ListEntry> fields = SplitFileLine(line);
      if (!fields) throw std::runtime_error("'" + line + "' is not a valid file line");
      slot.fields = *fields;
      slot.source = window_.ICQPath + "\\" + fields->folder_part + "\\" + fields->name;
      slot.destination = CompressedFilePath(window_.BackupPath, slot.number, extension_);
    } catch (...) {
      // Raised in the line's turn; nothing is read after it.
      slot.failure = std::current_exception();
      input_done_ = true;
    }
    slots_.push_back(std::move(slot));
  }

  // Starts the waiting slots in list order; false at one that may not start ahead.
  bool StartAhead() {
    std::uint64_t reserved = 0;
    for (Slot& slot : slots_) {
      if (slot.failure) return false;
      if (slot.fields.size <= 0) continue;
      if (slot.started) {
        if (!slot.done) reserved += MostDiskSpace(slot.fields.size);
        continue;
      }
      if (workers_.Busy() >= workers_.Capacity()) return true;
      if (std::binary_search(existing_.begin(), existing_.end(), slot.number)) return false;
      if (!RoomAhead(static_cast<std::uint64_t>(slot.fields.size) + reserved)) return false;
      // The worker looks up no name.
      platform::File source, made;
      platform::FileFacts facts;
      if (!OpenSourceToPack(slot.source, &source, &facts) || !MakeEmpty(slot, made)) return false;
      if (!workers_.Submit(slot.number, source, made, facts)) {
        made = platform::File();
        RemoveIfEmpty(slot);
        return false;
      }
      slot.started = true;
      reserved += MostDiskSpace(slot.fields.size);
      started_since_asked_ += MostDiskSpace(slot.fields.size);
    }
    return true;
  }

  // By the free space asked last, less the most the files started since take.
  bool RoomAhead(std::uint64_t need) {
    const auto left = [this] {
      return *free_ > started_since_asked_ ? *free_ - started_since_asked_ : 0;
    };
    if (!free_asked_ || (free_ && need + kNearlyFull >= left())) {
      free_ = FreeSpace(window_.BackupPath);
      free_asked_ = true;
      started_since_asked_ = 0;
    }
    return !free_ || need < left();
  }

  void Store(PackResult result) {
    for (Slot& slot : slots_) {
      if (slot.number != result.number) continue;
      slot.done = true;
      slot.bytes = result.bytes;
      slot.error = result.error;
      slot.written = std::move(result.destination);
    }
  }

  bool Commit(Slot& slot) {
    if (slot.failure) std::rethrow_exception(slot.failure);
    original_total += slot.fields.size;
    if (slot.fields.size <= 0) return true;  // an empty file keeps its number, gets no file
    bool go_on = true;
    if (slot.started) {
      // Started ahead only with room for it: the free-space test passes.
      window_.AppendLine(app::ShortPath(slot.source));
      const GaugeStep step{GaugeAfter(slot), slot.fields.size};
      const int start = window_.Gauge();
      std::int64_t counted = 0;
      const auto moved = [&] {
        const std::int64_t done = workers_.BytesDone(slot.number);
        if (done > counted) {
          window_.CountBytes(done - counted);
          counted = done;
        }
        MoveGaugeWithin(window_, step, start, counted);
        window_.Refresh();
      };
      while (!slot.done) {
        Store(workers_.Wait(moved, slot.number));
        Fill();
      }
      if (slot.error || slot.bytes <= 0) RemoveIfEmpty(slot);  // the engine wrote nothing
      if (slot.error) std::rethrow_exception(slot.error);
      if (slot.fields.size > counted) window_.CountBytes(slot.fields.size - counted);
    } else {
      const std::optional<unsigned long long> free = FreeSpace(window_.BackupPath);
      if (free && static_cast<unsigned long long>(slot.fields.size) >= *free) {
        ReportDiskFull(window_);
        return false;
      }
      window_.AppendLine(app::ShortPath(slot.source));
      slot.begun = true;
      MakeEmpty(slot, slot.written);
      slot.bytes = PackFile(window_, slot.source, slot.destination, "c", go_on,
                            {GaugeAfter(slot), slot.fields.size}, &slot.written);
      if (!go_on) RemoveIfEmpty(slot);
    }
    compressed_total += slot.bytes;
    if (go_on && slot.bytes > 0) {
      if (slot.written.IsOpen()) {
        flusher_.Add(std::move(slot.written));
      } else {
        flusher_.Add(slot.destination);
      }
    }
    window_.DeleteLine(kFileInProgressLine);
    window_.SetGauge(GaugeAfter(slot));
    return go_on;
  }

  int GaugeAfter(const Slot& slot) const {
    return static_cast<int>(std::min<std::uint64_t>((slot.number + 1) * 100 / total_, 100));
  }

  // The slot's file made empty in the held folder; false for a number the folder held.
  bool MakeEmpty(Slot& slot, platform::File& made) {
    slot.made_empty = !std::binary_search(existing_.begin(), existing_.end(), slot.number) &&
                      folder_.IsOpen() &&
                      folder_.CreateFile(CompressedFileName(slot.number, extension_), &made) == 0;
    return slot.made_empty;
  }

  void RemoveIfEmpty(Slot& slot) {
    if (!slot.made_empty) return;
    slot.written = platform::File();
    if (platform::GetFileSize(slot.destination) == 0) {
      static_cast<void>(platform::DeleteFile(slot.destination));  // best effort, as the stop
    }
    slot.made_empty = false;
  }

  // What was done ahead of the front slot goes (best effort); at a stop, its own too.
  void TakeBack(bool at_stop) {
    if (at_stop) {
      workers_.Stop();
    } else {
      while (workers_.Busy() > 0) Store(workers_.Wait([this] { window_.Refresh(); }));
    }
    const Slot& front = slots_.front();
    for (Slot& slot : slots_) {
      if ((&slot != &front && slot.started) ||
          (at_stop && (slot.started || slot.made_empty || slot.begun))) {
        slot.written = platform::File();  // closed first: Windows deletes no open file
        static_cast<void>(platform::DeleteFile(slot.destination));
      }
    }
    try {
      const std::int64_t keep = at_stop ? front.list_start : front.list_size;
      if (keep >= 0 && keep < list_.Size()) list_.CutTo(keep);
    } catch (const platform::EInOutError&) {
    }
  }

  app::WindowSeam& window_;
  platform::TextReader& pending_;
  ListWriter& list_;
  const std::uint32_t total_;
  const char* const extension_;
  PackWorkers& workers_;
  platform::BackgroundFlush& flusher_;
  std::vector<std::uint64_t> existing_;  // the destinations there before the backup
  platform::FolderHandle folder_;
  std::deque<Slot> slots_;
  std::uint64_t next_number_ = 1;
  bool free_asked_ = false;
  std::optional<unsigned long long> free_;
  std::uint64_t started_since_asked_ = 0;
  bool input_done_ = false;
};

// For each number up to its list's total, the .lz file, or the .lzz where the .lz cannot be
// deleted. Nullopt when one of them or the list cannot be deleted.
std::optional<std::vector<std::string>> EarlierBackupFiles(const std::string& backup_path) {
  const std::string list_path = PathIn(backup_path, kListName);
  std::string header;
  {
    platform::TextReader list(list_path);
    list.ReadLine(header);
    list.Close();
  }
  // A header without a total is no list of this program's: reading on would delete on a guess.
  const std::optional<std::int64_t> total = ListHeaderNumber(header);
  if (!total) {
    const std::size_t colon = header.find(':');
    const std::string text = colon == std::string::npos ? "" : header.substr(colon + 1);
    throw std::runtime_error("'" + text + "' is not a valid integer value");
  }
  std::vector<std::string> doomed;
  // Only a .lz that is there is asked about: a look-up of a missing name reads the folder.
  const std::vector<std::uint64_t> old =
      StoredFileNumbers(backup_path, {kOldCompressedExtension}, *total);
  for (std::uint64_t number :
       StoredFileNumbers(backup_path, {kOldCompressedExtension, kCompressedExtension}, *total)) {
    if (std::binary_search(old.begin(), old.end(), number) &&
        platform::DeleteFileRefusal(
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

// For total >= 1 files listed in HomeFolder\icqlist.tmp.
BackupOutcome CompressListedFiles(app::WindowSeam& window, platform::TextReader& pending,
                                  std::uint32_t total, const BackupTuning& tuning) {
  const std::string& backup_path = window.BackupPath;
  const std::string list_path = PathIn(backup_path, kListName);
  FinishStagedBackup(backup_path);  // what a killed backup left
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

  PackWorkers workers(total < 2            ? 1
                      : tuning.workers > 0 ? tuning.workers
                                           : DefaultPackWorkers(),
                      kFilesEachWorker);
  platform::BackgroundFlush flusher(tuning.flush_stand_in, kFlushGathering);
  const std::string new_list_path = staged ? staged->ListPath() : list_path;
  ListWriter list(new_list_path);
  ListedFiles files(window, pending, list, total, staged ? kStagedExtension : kCompressedExtension,
                    workers, flusher);
  try {
    if (!files.Run()) {
      list.File().Close();
      return BackupOutcome::kFailed;  // a staged backup is deleted, the earlier one stays
    }
  } catch (const platform::EInOutError& error) {
    // A first backup cut short leaves no list short of its count; a stop keeps what is done.
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
  std::string unsaved = flusher.FirstFailure().value_or("");
  try {
    if (unsaved.empty()) list.File().Flush();
  } catch (const platform::EInOutError&) {
    unsaved = new_list_path;
  }
  if (unsaved.empty() && platform::FlushFolder(backup_path) != 0) unsaved = backup_path;
  list.File().Close();
  if (!unsaved.empty()) {
    app::ErrorScreen(window, " Backup could not be saved : ", app::ShortPath(unsaved) + "!",
                     " Make sure your disk is not full", "      and is still connected!");
    return BackupOutcome::kFailed;
  }
  if (staged && !staged->Commit()) {
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

bool ReportCollectStop(app::WindowSeam& window, const Collection& collection) {
  const std::string path = Printable(collection.stop_path);
  switch (collection.stop) {
    case CollectStop::kFileTooLarge:
      return app::ErrorScreen(window, " File too large to backup : ", app::ShortPath(path) + "!",
                              " Files of 2 GB or more cannot be", "      stored in a backup!");
    case CollectStop::kCasePair:
      return app::ErrorScreen(window, " Names differ only in case : ", app::ShortPath(path) + "!",
                              " Rename one of them: a restore", "      could keep only one!");
    case CollectStop::kFolderNotEntered:
      return ReportCannotOpenFolder(window, path);
    case CollectStop::kNameNotListable:
    case CollectStop::kNone:
      break;
  }
  return app::ErrorScreen(window, " Name not allowed in a backup : ", app::ShortPath(path) + "!",
                          " Rename it without \\ : * ? \" < > |", "      or control characters!");
}

// It would back up files that are not ICQ's, which a restore then refuses to put back.
bool RefusedEntry(app::WindowSeam& window, const std::vector<std::string>& entries) {
  const auto out = std::find_if(entries.begin(), entries.end(), LeadsOutOfFolder);
  if (out == entries.end()) return false;
  app::ErrorScreen(window,
                   " Entry not allowed in back.dat : ", app::ShortPath(Printable(*out)) + "!",
                   " Entries name folders below", "      the ICQ Folder!");
  return true;
}

// The entries whose first level the ICQ folder holds in some letter case, by one read of it:
// the others list nothing, and a look-up of each would read the folder again.
std::vector<std::string> PresentEntries(const std::string& icq_path,
                                        std::vector<std::string> entries) {
  std::vector<std::string> names;
  platform::DirectorySearch search;
  platform::SearchRec rec;
  for (int found = search.FindFirst(icq_path + "\\*.*", platform::faAnyFile, &rec); found == 0;
       found = search.FindNext(&rec)) {
    names.push_back(platform::AsciiUpper(rec.name));
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) return entries;  // unreadable: each entry is looked up
  std::erase_if(entries, [&](const std::string& entry) {
    const std::string first = platform::AsciiUpper(entry.substr(0, entry.find_first_of("\\/")));
    return !std::binary_search(names.begin(), names.end(), first);
  });
  return entries;
}

BackupOutcome CollectAndBackUp(app::WindowSeam& window, const std::vector<std::string>& entries,
                               const std::string& list_path, const platform::RunLocks& locks,
                               const BackupTuning& tuning) {
  platform::File list = platform::File::Open(list_path, platform::OpenMode::kCreate);
  Collection collection;
  collection.icq_path = window.ICQPath;
  collection.list = &list;
  collection.run_locks = &locks;
  const std::vector<std::string> present = PresentEntries(window.ICQPath, entries);
  const bool whole = std::all_of(present.begin(), present.end(), [&](const std::string& entry) {
    return CollectFiles(window.ICQPath + "\\" + entry, collection);
  });
  list.Close();
  if (!whole) {
    ReportCollectStop(window, collection);
    return BackupOutcome::kFailed;
  }
  if (collection.count == 0) {
    app::Report(window, {" ", " Error!", " ", " No ICQ Data files Found!"});
    return BackupOutcome::kFailed;
  }
  app::AppendLines(
      window,
      {" Backup ICQ...", " ", " This may take a few minutes...", " ", " ",
       " Note:", " 1. Try not to run other programs as this", "      will slow down the process.",
       " 2. If you are multi-tasking, Torq32 may", "      appear not to be responsing. Just",
       "      let it complete itself.", " ", " ", " Processing File:"});
  platform::RaiseIfStopRequested();
  platform::TextReader pending(list_path);
  const BackupOutcome outcome = CompressListedFiles(window, pending, collection.count, tuning);
  pending.Close();
  return outcome;
}

}  // namespace

BackupOutcome BackupClick(app::WindowSeam& window) { return BackupClick(window, {}); }

BackupOutcome BackupClick(app::WindowSeam& window, const BackupTuning& tuning) {
  if (!StartIcqAction(window, " 2. use the AutoSearch function!")) return BackupOutcome::kFailed;
  const std::vector<std::string> entries = app::ReadPluginEntries(window.HomeFolder);
  if (RefusedEntry(window, entries)) return BackupOutcome::kFailed;
  // The ICQ folder however named, or in a data folder: the backup would list its own files.
  if (platform::SamePathText(window.BackupPath, window.ICQPath) ||
      platform::SameFile(window.BackupPath, window.ICQPath) ||
      std::any_of(entries.begin(), entries.end(), [&](const std::string& entry) {
        return platform::FolderBoundary(window.ICQPath + "\\" + entry).Contains(window.BackupPath);
      })) {
    app::Report(window, {" ", " Error!", " ", " It is not advisable to backup to the",
                         " same folder as ICQ!"});
    return BackupOutcome::kFailed;
  }
  platform::RunLocks locks;
  // The ICQ folder too, before a backup folder is made: a restore meanwhile would leave a
  // backup of half of each.
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
    // A stop leaves only finished files behind; other errors keep the list to look at.
    if (error.ErrorCode() == platform::kOperationAborted) {
      static_cast<void>(platform::DeleteFile(list_path));
    } else if (error.ErrorCode() == platform::kDiskFull) {
      ReportDiskFull(window);
    } else {
      app::ErrorScreen(window,
                       " Backup could not be saved : ", app::ShortPath(window.BackupPath) + "!",
                       " " + std::string(error.what()) + "!", " ");
    }
    throw;
  }
  static_cast<void>(platform::DeleteFile(list_path));  // a leftover is emptied by the next backup
  return outcome;
}

}  // namespace backup
