#include "backup/backup.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <exception>
#include <future>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/icq_folder.h"
#include "app/plugin.h"
#include "app/reports.h"
#include "app/settings.h"
#include "backup/backup_files.h"
#include "backup/collect_files.h"
#include "backup/folder_text.h"
#include "backup/list_entry.h"
#include "backup/pack_file.h"
#include "backup/pack_workers.h"
#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/folder_listings.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace backup {
namespace {

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
      path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
  return path;
}

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

// The numbers 1..total for which a file icqN + one of the extensions exists, ascending.
// Found by one search of the folder instead of a look-up per number and name, so that
// a damaged header with a huge total costs nothing.
std::vector<std::uint64_t> StoredFileNumbers(const std::string& backup_path,
                                             std::initializer_list<const char*> extensions,
                                             std::int64_t total) {
  std::vector<std::uint64_t> numbers;
  platform::DirectorySearch search;
  platform::SearchRec rec;
  for (int found = search.FindFirst(backup_path + "\\*.*", platform::faAnyFile, &rec); found == 0;
       found = search.FindNext(&rec)) {
    if (rec.attributes & platform::faDirectory) continue;
    const std::string name = platform::AsciiLower(rec.name);
    const std::size_t dot = name.rfind('.');
    const std::size_t digits = sizeof kCompressedPrefix - 1;
    if (name.rfind(kCompressedPrefix, 0) != 0 || dot == std::string::npos || dot <= digits ||
        name[digits] == '0')
      continue;
    if (std::none_of(extensions.begin(), extensions.end(),
                     [&](const char* extension) { return name.substr(dot) == extension; }))
      continue;
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(name.data() + digits, name.data() + dot, number);
    if (error != std::errc() || end != name.data() + dot) continue;
    if (number >= 1 && number <= static_cast<std::uint64_t>(std::max<std::int64_t>(total, 0)))
      numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

// Deletes the earlier backup named by its list; false when a file of it stays. Every
// file to go is first checked that it can be deleted (not read-only, not held open,
// its folder not write-protected), so a refusal leaves the earlier backup whole.
bool RemoveEarlierBackup(const std::string& backup_path) {
  const std::string list_path = PathIn(backup_path, kListName);
  std::string header;
  {
    platform::TextReader list(list_path);
    list.ReadLine(header);
    list.Close();
  }
  // For each number the .lz file goes, or the .lzz where the .lz cannot be deleted; the
  // list goes last.
  std::vector<std::string> doomed;
  const std::int64_t total = ListTotal(header);
  for (std::uint64_t number :
       StoredFileNumbers(backup_path, {kOldCompressedExtension, kCompressedExtension}, total)) {
    const std::string lz = CompressedFilePath(backup_path, number, kOldCompressedExtension);
    const std::string lzz = CompressedFilePath(backup_path, number);
    if (platform::DeleteFileRefusal(lz) == 0) {
      doomed.push_back(lz);
    } else if (platform::DeleteFileRefusal(lzz) == 0) {
      doomed.push_back(lzz);
    } else {
      return false;
    }
  }
  if (platform::DeleteFileRefusal(list_path) != 0) return false;
  doomed.push_back(list_path);
  for (const std::string& path : doomed) {
    if (platform::DeleteFile(path) != 0) return false;
  }
  return true;
}

// Free space is compared with the file's whole size; a path that names no drive (a
// network path) has no figure, and then the check is skipped.
std::optional<unsigned long long> FreeSpace(const std::string& backup_path) {
  const int drive = platform::DriveNumberOfPath(backup_path);
  if (drive == 0) return std::nullopt;
  return platform::DiskFreeSpace(drive);
}

// The most a compressed file can take on the disk for a source of `size` bytes: the
// header, the coder's one flag byte per eight literals, and whole blocks.
std::uint64_t MostDiskSpace(std::int64_t size) {
  constexpr std::uint64_t kBlock = 4096;
  const std::uint64_t bytes = 257 + static_cast<std::uint64_t>(size) * 9 / 8 + 16;
  return (bytes + 2 * kBlock - 1) / kBlock * kBlock;
}

// The backup list, written a line at a time so that whatever ends the backup, the
// lines up to the file in progress are in the file.
class ListWriter {
 public:
  explicit ListWriter(const std::string& path)
      : file_(platform::File::Open(path, platform::OpenMode::kCreate)) {}
  void WriteLine(const std::string& line) { platform::WriteTextLine(file_, line); }
  std::int64_t Size() const { return file_.Position(); }
  // Takes back the lines written ahead of the file at which the backup stopped.
  void CutTo(std::int64_t size) {
    file_.Seek(size);
    file_.Truncate();
  }
  platform::File& File() { return file_; }

 private:
  platform::File file_;
};

// A compressed file handed to the flush threads once its turn is done.
struct PendingFlush {
  std::string path;          // as the list names it
  std::future<int> flushed;  // 0, or the code of the failure
};

// The loop over the listed files. Each file's list line, free-space test, screen line,
// compression, line deletion and gauge step happen in list order, as in a plain loop
// that compresses one file after the other. With worker processes the files after the
// one in progress are compressed ahead, but only those that the plain loop would
// certainly compress too: a new destination, a source that opens, and room for them
// even if every file still in progress took its largest size. Whatever makes the plain
// loop stop at a file is met when that file's turn comes, in this process; what was
// done ahead of it is then taken back (its list lines and compressed files), so the
// list, the files and the screen end as the plain loop leaves them.
class ListedFiles {
 public:
  ListedFiles(app::WindowSeam& window, platform::TextReader& pending, ListWriter& list,
              std::uint32_t total, PackWorkers& workers, platform::BackgroundFlush& flusher)
      : window_(window),
        pending_(pending),
        list_(list),
        total_(total),
        workers_(workers),
        flusher_(flusher) {
    if (workers_.Count() > 0) {
      existing_ =
          StoredFileNumbers(window_.BackupPath, {kCompressedExtension}, std::int64_t{1} << 62);
    }
  }

  // Answers the go-on flag: false after a report that stopped the backup.
  bool Run() {
    for (;;) {
      Fill();
      if (slots_.empty()) return true;
      bool go_on = false;
      try {
        platform::RaiseIfStopRequested();
        go_on = Commit(slots_.front());
      } catch (...) {
        if (platform::StopRequested()) {
          AbandonAtStop();
        } else {
          TakeBackAhead();
        }
        throw;
      }
      if (!go_on) {
        TakeBackAhead();
        return false;
      }
      slots_.pop_front();
    }
  }

  std::int64_t original_total = 0;
  std::int64_t compressed_total = 0;
  std::vector<PendingFlush> flushes;  // every compressed file made, in list order

 private:
  // One list line from its reading to its turn.
  struct Slot {
    std::uint64_t number = 0;
    FileLineFields fields;
    std::string source, destination;
    std::int64_t list_start = -1;  // size of the list before this line
    std::int64_t list_size = -1;  // size of the list once this line is in it
    std::exception_ptr failure;   // reading or writing this line failed
    bool started = false;         // handed to a worker
    bool made_empty = false;      // its compressed file was made empty before that
    bool begun = false;           // compressed in this process, in its turn
    bool done = false;            // the worker's result is in
    std::int64_t bytes = 0;
    std::exception_ptr error;  // what the worker's engine raised
  };

  // Lines read ahead of the file in progress at most; a bound on memory only.
  static constexpr std::size_t kReadAhead = 256;

  // Reads lines and starts compressions ahead while workers are free. Without workers
  // it reads one line at a time, when the last one has had its turn.
  void Fill() {
    const bool ahead = workers_.Count() > 0;
    for (;;) {
      bool blocked = false;
      if (ahead) blocked = !StartAhead();
      if (input_done_) return;
      if (!slots_.empty() && (!ahead || blocked || workers_.Busy() >= workers_.Count() ||
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
      const std::optional<FileLineFields> fields = SplitFileLine(line);
      if (!fields) throw std::runtime_error("'" + line + "' is not a valid file line");
      slot.fields = *fields;
      slot.source = window_.ICQPath + "\\" + fields->folder_part + "\\" + fields->name;
      slot.destination = CompressedFilePath(window_.BackupPath, slot.number);
    } catch (...) {
      // Raised in the line's turn, after the files before it; nothing is read after it.
      slot.failure = std::current_exception();
      input_done_ = true;
    }
    slots_.push_back(std::move(slot));
  }

  // Starts the waiting slots in list order; false when one of them may not start
  // ahead, so that nothing after it starts either.
  bool StartAhead() {
    std::uint64_t reserved = 0;
    for (Slot& slot : slots_) {
      if (slot.failure) return false;
      if (slot.fields.size <= 0) continue;
      if (slot.started) {
        if (!slot.done) reserved += MostDiskSpace(slot.fields.size);
        continue;
      }
      if (workers_.Busy() >= workers_.Count()) return true;
      if (std::binary_search(existing_.begin(), existing_.end(), slot.number)) return false;
      const std::optional<unsigned long long> free = FreeSpace(window_.BackupPath);
      if (free && static_cast<unsigned long long>(slot.fields.size) + reserved >= *free) {
        return false;
      }
      if (!SourceCanBePacked(slot.source)) return false;
      // Made here, the file is found by name in the worker, whose look-ups of a name
      // missing from the backup folder would each read the whole folder again, since
      // the other workers' files keep changing it.
      {
        platform::File made;
        if (platform::File::TryOpen(slot.destination, platform::OpenMode::kCreate, &made) != 0)
          return false;
        made.Close();
        slot.made_empty = true;
      }
      if (!workers_.Submit(slot.number, slot.source, slot.destination)) {
        RemoveIfEmpty(slot);
        return false;
      }
      slot.started = true;
      reserved += MostDiskSpace(slot.fields.size);
    }
    return true;
  }

  void Store(const PackResult& result) {
    for (Slot& slot : slots_) {
      if (slot.number != result.number) continue;
      slot.done = true;
      slot.bytes = result.bytes;
      slot.error = result.error;
    }
  }

  // The file's turn: the steps of the plain loop for one list line.
  bool Commit(Slot& slot) {
    if (slot.failure) std::rethrow_exception(slot.failure);
    original_total += slot.fields.size;
    if (slot.fields.size <= 0) return true;  // an empty file keeps its number, gets no file
    bool go_on = true;
    if (slot.started) {
      // Started ahead only with room for it: the free-space test passes.
      window_.AppendLine(app::ShortPath(slot.source));
      while (!slot.done) {
        Store(workers_.Wait([this] { window_.Refresh(); }));
        Fill();
      }
      if (slot.error || slot.bytes <= 0) RemoveIfEmpty(slot);  // the engine wrote nothing
      if (slot.error) std::rethrow_exception(slot.error);
      compressed_total += slot.bytes;
    } else {
      const std::optional<unsigned long long> free = FreeSpace(window_.BackupPath);
      if (free && static_cast<unsigned long long>(slot.fields.size) >= *free) {
        Report(window_, {" ", " Error!", " ", " Backup Unsuccessful!", " ", " ",
                         " Note:", " Make sure your disk is not full!"});
        return false;
      }
      window_.AppendLine(app::ShortPath(slot.source));
      slot.begun = true;
      slot.bytes = PackFile(window_, slot.source, slot.destination, "c", go_on,
                            {GaugeAfter(slot), slot.fields.size});
      compressed_total += slot.bytes;
    }
    if (go_on && slot.bytes > 0) Flush(slot);
    window_.DeleteLine(kFileInProgressLine);
    window_.SetGauge(GaugeAfter(slot));
    return go_on;
  }

  // The gauge once a file's turn is done: the file number after it, as a share of all.
  int GaugeAfter(const Slot& slot) const {
    return static_cast<int>(std::min<std::uint64_t>((slot.number + 1) * 100 / total_, 100));
  }

  void RemoveIfEmpty(Slot& slot) {
    if (!slot.made_empty) return;
    if (platform::GetFileSize(slot.destination) == 0) platform::DeleteFile(slot.destination);
    slot.made_empty = false;
  }

  void Flush(const Slot& slot) {
    flushes.push_back({slot.destination, flusher_.Submit(slot.destination)});
  }

  // The backup stops at the front slot: waits for the workers, then removes what was
  // done ahead of it. Best effort: the stop itself is what the user is told.
  void TakeBackAhead() {
    while (workers_.Busy() > 0) Store(workers_.Wait([this] { window_.Refresh(); }));
    const Slot& stopped = slots_.front();
    for (const Slot& slot : slots_) {
      if (&slot != &stopped && slot.started) platform::DeleteFile(slot.destination);
    }
    try {
      if (stopped.list_size >= 0 && stopped.list_size < list_.Size()) {
        list_.CutTo(stopped.list_size);
      }
    } catch (const platform::EInOutError&) {
    }
  }

  // A stop request ends the backup at once: the workers stop in the middle of their
  // files, every compressed file not through its turn is removed, and the list keeps
  // the lines of the files that are. Best effort, as above.
  void AbandonAtStop() noexcept {
    workers_.Stop();
    for (const Slot& slot : slots_) {
      if (slot.started || slot.made_empty || slot.begun) platform::DeleteFile(slot.destination);
    }
    try {
      const std::int64_t keep = slots_.front().list_start;
      if (keep >= 0 && keep < list_.Size()) list_.CutTo(keep);
    } catch (const platform::EInOutError&) {
    }
  }

  app::WindowSeam& window_;
  platform::TextReader& pending_;
  ListWriter& list_;
  const std::uint32_t total_;
  PackWorkers& workers_;
  platform::BackgroundFlush& flusher_;
  std::vector<std::uint64_t> existing_;     // icqN.lzz in the folder before the backup
  std::deque<Slot> slots_;
  std::uint64_t next_number_ = 1;
  bool input_done_ = false;
};

// The path of the first file that could not be flushed, or an empty text.
std::string FlushBackup(ListWriter& list, const std::string& list_path,
                        std::vector<PendingFlush>& flushes, const std::string& backup_path) {
  std::string unsaved;
  for (PendingFlush& file : flushes) {
    if (file.flushed.get() != 0 && unsaved.empty()) unsaved = file.path;
  }
  if (!unsaved.empty()) return unsaved;
  try {
    list.File().Flush();
  } catch (const platform::EInOutError&) {
    return list_path;
  }
  if (platform::FlushFolder(backup_path) != 0) return backup_path;
  return "";
}

BackupOutcome CompressListedFiles(app::WindowSeam& window, platform::TextReader& pending,
                                  std::uint32_t total, const BackupTuning& tuning) {
  const std::string& backup_path = window.BackupPath;
  const std::string list_path = PathIn(backup_path, kListName);
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

  // The workers are forked before any thread of this backup starts.
  PackWorkers workers(total < 2 ? 1 : tuning.workers > 0 ? tuning.workers : DefaultPackWorkers());
  platform::BackgroundFlush flusher(tuning.flush_stand_in);
  ListWriter list(list_path);
  list.WriteLine(kListHeader + std::to_string(total));
  ListedFiles files(window, pending, list, total, workers, flusher);
  if (!files.Run()) {
    list.File().Close();
    return BackupOutcome::kFailed;
  }

  // The report says the backup is safe: only once it is on the disk, not in the cache.
  window.Refresh();
  const std::string unsaved = FlushBackup(list, list_path, files.flushes, backup_path);
  list.File().Close();
  if (!unsaved.empty()) {
    app::ErrorScreen(window, " Backup could not be saved : ", app::ShortPath(unsaved) + "!",
                     " Make sure your disk is not full", "      and is still connected!");
    return BackupOutcome::kFailed;
  }

  window.ClearScreen();
  window.AppendLine(" ");
  window.AppendLine(" Backup Successful to:");
  window.AppendLine(app::ShortPath(backup_path));
  window.AppendLine(" ");
  window.AppendLine(" Original Filesize: " + Megabytes(files.original_total) + " MB");
  window.AppendLine(" Compressed Filesize: " + Megabytes(files.compressed_total) + " MB");
  for (const char* note :
       {" ", " ", " Note:", " You may copy the folder to any", " removable media for storage!"}) {
    window.AppendLine(note);
  }
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
bool BackupFolderIsAmongTheData(const app::WindowSeam& window) {
  if (platform::SamePathText(window.BackupPath, window.ICQPath) ||
      platform::SameFile(window.BackupPath, window.ICQPath)) {
    return true;
  }
  for (const std::string& entry : app::ReadPluginEntries(window.HomeFolder)) {
    if (platform::FolderBoundary(window.ICQPath + "\\" + entry).Contains(window.BackupPath)) {
      return true;
    }
  }
  return false;
}

}  // namespace

BackupOutcome BackupFiles(app::WindowSeam& window, std::uint32_t total,
                          const BackupTuning& tuning) {
  platform::TextReader pending(PathIn(window.HomeFolder, kTemporaryListName));
  // Nothing else writes to the backup folder while the backup runs.
  platform::KeepFolderListings own_folders;
  const BackupOutcome outcome = CompressListedFiles(window, pending, total, tuning);
  pending.Close();
  return outcome;
}

BackupOutcome BackupClick(app::WindowSeam& window, const BackupTuning& tuning) {
  StartBackupFolderAction(window);
  ReadIcqFolder(window);

  if (!platform::FileExists(PathIn(window.ICQPath, app::kProgramName))) {
    ReportIcqNotFound(window, " 2. use the AutoSearch function!");
    return BackupOutcome::kFailed;
  }
  if (BackupFolderIsAmongTheData(window)) {
    Report(window,
           {" ", " Error!", " ", " It is not advisable to backup to the", " same folder as ICQ!"});
    return BackupOutcome::kFailed;
  }
  if (!app::PathIsFolder(window.BackupPath) && platform::CreateFolder(window.BackupPath) != 0) {
    app::ErrorScreen(window, " Cannot create folder : ", app::ShortPath(window.BackupPath) + "!",
                     " Make sure your disk is not full!", " ");
    return BackupOutcome::kFailed;
  }
  app::SavePrefs(window);

  const std::string list_path = PathIn(window.HomeFolder, kTemporaryListName);
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
    try {
      platform::RaiseIfStopRequested();
      outcome = BackupFiles(window, collection.count, tuning);
    } catch (const platform::EInOutError& error) {
      // A stop leaves only finished files behind; other errors keep the list to look at.
      if (error.ErrorCode() == platform::kOperationAborted) platform::DeleteFile(list_path);
      throw;
    }
  } else {
    Report(window, {" ", " Error!", " ", " No ICQ Data files Found!"});
  }
  platform::DeleteFile(list_path);  // a leftover is emptied by the next backup
  return outcome;
}

}  // namespace backup
