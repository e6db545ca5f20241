#include "backup/restore.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <ranges>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/icq_folder.h"
#include "app/reports.h"
#include "app/settings.h"
#include "backup/backup_files.h"
#include "backup/collect_files.h"
#include "backup/pack_file.h"
#include "backup/restore_testing.h"
#include "lz/lz_file.h"
#include "lz/lz_support.h"
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

constexpr char kTempName[] = "icq.tmp";
constexpr char kWarningCaption[] = "Warning";
constexpr char kWarningText[] =
    "Before proceeding, ensure that ICQ is inactive !\r\rSwitch ICQ to Sleep Mode or Close it "
    "now !";
constexpr int kPathLine = 14;  // below " Processing File:"
constexpr int kGaugeFull = 100;

using FolderLevels = std::vector<std::shared_ptr<const platform::FolderHandle>>;

// The first lines of every report about the backup being restored.
void ShowAboutBackup(app::WindowSeam& window, std::initializer_list<std::string> rest) {
  app::Report(window,
              {" ", " Error!", " ", " ICQ backup is unable to restore",
               " your backup files at:", app::ShortPath(window.BackupPath) + "!", " ", " "});
  app::AppendLines(window, rest);
}

void ShowUnableToRestore(app::WindowSeam& window) {
  app::ErrorScreen(window, " ICQ Backup is unable to restore", " your backup files!",
                   " Make sure your disk is not full!", " ");
}

void ShowListDamaged(app::WindowSeam& window, const std::string& detail) {
  ShowAboutBackup(window, {" Problem:", " Backup File List damaged!", detail, " ", " ", " Note:",
                           " Make sure it is the list of a", "      backup made by Torq32!"});
}

bool CannotBeEntered(int code) {
  return code == platform::kAccessDenied || code == platform::kSharingViolation;
}

// Verified files are staged as torq32-N.tmp and flushed on a worker thread while the restore
// decodes on, then renamed over their data files in entry order: killed, every data file is
// wholly old or wholly new, and the next restore deletes the staged copies left.

// The program's own form, like its lock file: no user's file is taken for a staged copy.
constexpr std::string_view kStagedPrefix = "torq32-";
constexpr std::string_view kStagedSuffix = ".tmp";
// One flush of many files costs the disk about what one of a single file costs.
constexpr std::size_t kFlushBatch = 16;
constexpr std::chrono::milliseconds kFlushGathering{50};
// Staged files waiting for their flush at most; a bound on what a crash can leave.
constexpr std::size_t kEntriesInFlight = 64;

// One entry's verified copy and the data file it replaces, in a folder held open.
struct RestoredFile {
  std::uint64_t number = 0;
  std::shared_ptr<const platform::FolderHandle> folder;
  std::string name;
  std::string temp;      // the temporary file that holds the copy
  std::string on_disk;   // the data file's name as the folder spells it
  bool replaces = true;  // false: the folder had no entry of that name
  std::string Target() const { return folder->Path() + "\\" + name; }
};

// Why a placement stopped the restore.
struct PlacementFailure {
  int code = 0;       // 0: a flush failed; else the refusal of the rename over the data file
  std::string path;   // the data file, or the folder that could not be flushed
  int undo_code = 0;  // the roll-back's first failed delete or rename, and its file
  std::string undo_path;
};

PlacementFailure Failure(const std::string& path, int code = 0) {
  PlacementFailure failure;
  failure.code = code;
  failure.path = path;
  return failure;
}

// "torq32-", an entry number, ".tmp".
bool IsStagedName(const std::string& name) {
  if (name.size() <= kStagedPrefix.size() + kStagedSuffix.size() ||
      !name.starts_with(kStagedPrefix) || !name.ends_with(kStagedSuffix) ||
      name[kStagedPrefix.size()] == '0') {
    return false;
  }
  return std::all_of(name.begin() + kStagedPrefix.size(), name.end() - kStagedSuffix.size(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// 0 once the file is gone. A restored copy carries its data file's attributes, read-only too.
int RemoveFile(const platform::FolderHandle& folder, const std::string& name) {
  const std::optional<std::uint32_t> attributes = folder.Attributes(name);
  if (!attributes) return 0;
  if (*attributes & platform::faReadOnly) {
    if (int code = folder.SetAttributes(name, *attributes & ~platform::faReadOnly)) return code;
  }
  const int code = folder.DeleteFile(name);
  return code == platform::kFileNotFound ? 0 : code;
}

// A read-only data file is replaced like any other: its attribute is lifted for a second try.
int ReplaceDataFile(const platform::FolderHandle& folder, const std::string& copy,
                    const std::string& name, bool replaces) {
  // A name new to the folder needs no check first.
  if (!replaces) {
    const int code = folder.Rename(copy, name, false);
    if (code != platform::kAlreadyExists) return code;
  }
  int code = folder.Rename(copy, name, true);
  if (code != platform::kAccessDenied) return code;
  const std::optional<std::uint32_t> attributes = folder.Attributes(name);
  if (!attributes || !(*attributes & platform::faReadOnly)) return code;
  if (int lifted = folder.SetAttributes(name, *attributes & ~platform::faReadOnly)) return lifted;
  code = folder.Rename(copy, name, true);
  if (code != 0) static_cast<void>(folder.SetAttributes(name, *attributes));
  return code;
}

// The roll-back goes on past a file it cannot delete or rename; the first is told.
void NoteUndo(PlacementFailure& failure, int code, const platform::FolderHandle& folder,
              const std::string& name) {
  if (code == 0 || failure.undo_code != 0) return;
  failure.undo_code = code;
  failure.undo_path = folder.Path() + "\\" + name;
}

int GaugeAt(std::uint64_t number, std::int64_t count) {
  return static_cast<int>(
      std::min<std::uint64_t>(number * kGaugeFull / static_cast<std::uint64_t>(count), kGaugeFull));
}

// What is still in flight when it goes stays staged, as after a crash.
class Placement {
 public:
  Placement(app::WindowSeam& window, std::int64_t count, const RestoreTuning& tuning)
      : window_(window), count_(count) {
    if (tuning.flush_in_background) {
      background_ = std::make_unique<platform::BackgroundFlush>(tuning.flush_stand_in,
                                                                kFlushGathering, kFlushBatch);
    }
  }

  // With `at_once`, or without background flush, the file is in place when this answers.
  std::optional<PlacementFailure> Place(const RestoredFile& file, bool at_once) {
    // A data file named like a staged copy goes in place at once: later, it would replace it.
    if (background_ && !at_once && !IsStagedName(platform::AsciiLower(file.name))) {
      const std::string staged =
          std::string(kStagedPrefix) + std::to_string(file.number) + std::string(kStagedSuffix);
      const int code = file.folder->Rename(file.temp, staged, false);
      if (code == 0) {
        // Flushed through its held folder, so that the flush cannot meet another file.
        in_flight_.push_back({file, staged, background_->Submit(file.folder, staged)});
        if (in_flight_.size() <= kEntriesInFlight) return std::nullopt;
        return CompleteOldest(nullptr);
      }
      if (code != platform::kAlreadyExists) {
        if (std::optional<PlacementFailure> failure = Drain(&file)) return failure;
        return Failure(file.Target(), code);
      }
    }
    if (std::optional<PlacementFailure> failure = Drain(&file)) return failure;
    return PlaceNow(file);
  }

  // Every entry in flight in place; on a failure `discard`'s temporary file goes too.
  std::optional<PlacementFailure> Drain(const RestoredFile* discard = nullptr) {
    while (!in_flight_.empty()) {
      if (std::optional<PlacementFailure> failure = CompleteOldest(discard)) return failure;
    }
    return std::nullopt;
  }

  std::size_t EntriesInFlight() const { return in_flight_.size(); }

  // A folder whose entries changed, flushed once however the list spells it.
  void Changed(const std::shared_ptr<const platform::FolderHandle>& folder) {
    unflushed_.emplace(platform::AsciiUpper(platform::ExpandFileName(folder->Path())), folder);
  }

  std::optional<PlacementFailure> FlushFolders() {
    while (!unflushed_.empty()) {
      const std::shared_ptr<const platform::FolderHandle> folder = unflushed_.begin()->second;
      unflushed_.erase(unflushed_.begin());
      if (folder->Flush() != 0) return Failure(folder->Path());
    }
    return std::nullopt;
  }

  // Deletes a file an earlier restore left, read-only or not; 0, or the refusal's code.
  int RemoveLeftover(const std::shared_ptr<const platform::FolderHandle>& folder,
                     const std::string& name) {
    const int code = RemoveFile(*folder, name);
    if (code == 0) Changed(folder);
    return code;
  }

 private:
  struct InFlight {
    RestoredFile file;
    std::string staged;
    std::future<int> synced;
  };

  std::optional<PlacementFailure> PlaceNow(const RestoredFile& file) {
    window_.Refresh();
    try {
      platform::File copy;
      if (file.folder->OpenFile(file.temp, &copy) != 0) return Failure(file.Target());
      copy.Flush();
      copy.Close();
    } catch (const platform::EInOutError&) {
      return Failure(file.Target());
    }
    if (int code = ReplaceDataFile(*file.folder, file.temp, file.on_disk, file.replaces)) {
      // A data file that cannot be replaced keeps no copy beside it.
      PlacementFailure failure = Failure(file.Target(), code);
      NoteUndo(failure, RemoveFile(*file.folder, file.temp), *file.folder, file.temp);
      return failure;
    }
    Done(file);
    return std::nullopt;
  }

  std::optional<PlacementFailure> CompleteOldest(const RestoredFile* discard) {
    InFlight entry = std::move(in_flight_.front());
    in_flight_.pop_front();
    if (entry.synced.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      background_->Hurry();
      window_.Refresh();
    }
    PlacementFailure failure = Failure(entry.file.Target());
    if (entry.synced.get() == 0) {
      failure.code = ReplaceDataFile(*entry.file.folder, entry.staged, entry.file.on_disk,
                                     entry.file.replaces);
      if (failure.code == 0) {
        Done(entry.file);
        return std::nullopt;
      }
    }
    RollBack(entry, discard, failure);
    return failure;
  }

  // The entries after the failed one and `discard` are deleted; the failed entry's copy goes
  // back to its temporary name, or is deleted when its data file refused to be replaced.
  void RollBack(const InFlight& failed, const RestoredFile* discard, PlacementFailure& failure) {
    if (!in_flight_.empty()) background_->Hurry();
    for (InFlight& later : in_flight_) {
      later.synced.wait();
      NoteUndo(failure, RemoveFile(*later.file.folder, later.staged), *later.file.folder,
               later.staged);
    }
    in_flight_.clear();
    if (discard) {
      NoteUndo(failure, RemoveFile(*discard->folder, discard->temp), *discard->folder,
               discard->temp);
    }
    const platform::FolderHandle& folder = *failed.file.folder;
    NoteUndo(failure,
             failure.code != 0 ? RemoveFile(folder, failed.staged)
                               : folder.Rename(failed.staged, failed.file.temp, true),
             folder, failed.staged);
  }

  void Done(const RestoredFile& file) {
    Changed(file.folder);
    window_.SetGauge(GaugeAt(file.number, count_));
  }

  app::WindowSeam& window_;
  const std::int64_t count_;
  std::unique_ptr<platform::BackgroundFlush> background_;
  std::deque<InFlight> in_flight_;
  std::map<std::string, std::shared_ptr<const platform::FolderHandle>> unflushed_;
};

// The levels of a folder part ("newdb\sub"), outermost first.
std::vector<std::string> Levels(const std::string& folder_part) {
  std::vector<std::string> levels;
  for (const auto level : std::views::split(folder_part, '\\')) {
    levels.emplace_back(level.begin(), level.end());
  }
  return levels;
}

// Looked up once: only entries it held before the restore came can be links (it makes files).
struct TargetFolder {
  std::string path;                                 // as the list forms it
  bool listed = false;                              // the entries below could be read
  int search_code = 0;                              // why they could not
  std::multimap<std::string, std::string> entries;  // upper-cased name -> name on disk
  bool leftovers_removed = false;
  bool recorded = false;                    // its temporary file is in the restore's record
  FolderLevels levels;                      // the last entry's folders, the ICQ folder first
  std::map<std::string, std::string> made;  // the restore's files here, upper-cased -> spelt

  std::shared_ptr<const platform::FolderHandle> Held() const {
    return levels.empty() ? nullptr : levels.back();
  }

  // The name as the folder spells it: as given when an entry bears it, else in another case.
  std::string Spelt(const std::string& name) const {
    const std::string upper = platform::AsciiUpper(name);
    if (const auto it = made.find(upper); it != made.end()) return it->second;
    const auto [first, last] = entries.equal_range(upper);
    std::optional<std::string> best;
    for (auto it = first; it != last; ++it) {
      if (it->second == name) return name;
      if (!best || it->second < *best) best = it->second;
    }
    return best.value_or(name);
  }

  // False for an entry held before the restore came that leads out of the ICQ folder.
  bool NameStaysInside(const std::string& spelt, const platform::FolderBoundary& icq) const {
    if (entries.count(platform::AsciiUpper(spelt)) == 0) return true;
    const std::optional<std::uint32_t> attributes = Held()->Attributes(spelt);
    return !attributes || !(*attributes & platform::faSysFile) || icq.Contains(path + "\\" + spelt);
  }

  // Whether each folder an earlier entry opened is still the one held under its name.
  bool StillHeld(const std::string& folder_part) const {
    if (levels.empty()) return false;
    if (levels.back()->StillAtItsPath()) return true;
    const std::vector<std::string> names = Levels(folder_part);
    if (names.size() + 1 != levels.size()) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!levels[i]->Holds(names[i], *levels[i + 1])) return false;
    }
    return true;
  }
};

// What the restore takes from the whole list before its first entry.
struct ListScan {
  std::int64_t matching = 0;  // the entries that match the pattern
  // Upper-cased folder part -> its entries' upper-cased names ending in ".tmp".
  std::map<std::string, std::set<std::string>> temporary_like;
};

// Lines that cannot be read are left to the restore, which stops at them.
ListScan ScanList(const std::string& list_path, const std::string& only) {
  ListScan scan;
  platform::TextReader list(list_path);
  std::string line;
  list.ReadLine(line);  // the header
  while (list.ReadLine(line)) {
    ListEntry entry;
    if (ReadListEntry(line, &entry) != EntryFault::kNone) continue;
    if (!only.empty() && EntryMatches(only, entry.folder_part, entry.name)) ++scan.matching;
    const std::string name = platform::AsciiUpper(entry.name);
    if (name.ends_with(".TMP")) {
      scan.temporary_like[platform::AsciiUpper(entry.folder_part)].insert(name);
    }
  }
  list.Close();
  return scan;
}

// The engine checks the CRC-32 of what it decompressed while this lives.
struct VerifiedDecompression {
  const bool previous = lz::SetVerify(true);
  ~VerifiedDecompression() { lz::SetVerify(previous); }
};

// A file the restore must not leave behind could not be removed.
[[noreturn]] void RaiseNotRemoved(int code, const std::string& path) {
  throw platform::EInOutError(code, path + ": " + platform::IoErrorText(code));
}

// Temporary files are recorded before they are made: a leftover is told from a user's file.
std::string RecordPath(const app::WindowSeam& window) {
  return PathIn(window.HomeFolder, kRestoreRecordName);
}

void Record(const app::WindowSeam& window, const std::string& temp) {
  const std::string path = RecordPath(window);
  platform::File record = platform::File::Open(
      path, platform::FileExists(path) ? platform::OpenMode::kAppend : platform::OpenMode::kCreate);
  platform::WriteTextLine(record, temp);
  record.Close();
}

// Best effort, read-only or not.
void RemoveRecordedFiles(const app::WindowSeam& window, const platform::FolderBoundary& icq) {
  const std::string record_path = RecordPath(window);
  if (!platform::FileExists(record_path)) return;
  platform::TextReader record(record_path);
  std::string path;
  while (record.ReadLine(path)) {
    const std::optional<std::uint32_t> attributes = platform::GetAttributes(path);
    if (!attributes || (*attributes & platform::faDirectory) || !icq.Contains(path)) continue;
    if (*attributes & platform::faReadOnly) {
      static_cast<void>(platform::SetAttributes(path, *attributes & ~platform::faReadOnly));
    }
    static_cast<void>(platform::DeleteFile(path));
  }
  record.Close();
  static_cast<void>(platform::DeleteFile(record_path));
}

// `count`: the entries it restores, the list's or those that match `only`.
class Restorer {
 public:
  Restorer(app::WindowSeam& window, std::int64_t count, ListScan scan, const RestoreTuning& tuning,
           const std::string& only)
      : window_(window),
        count_(count),
        icq_folder_(window.ICQPath),
        scan_(std::move(scan)),
        only_(only),
        placement_(window, count, tuning) {
    if (platform::FolderHandle::Open(window.BackupPath, &backup_folder_) == 0) {
      backup_folder_.TakeNamesAsSpelt();
    }
  }

  std::uint64_t Taken() const { return taken_; }

  // False when the restore stops at the entry.
  bool Entry(std::uint64_t number, const std::string& line) {
    const std::string label = " Entry " + std::to_string(number);
    ListEntry entry;
    switch (ReadListEntry(line, &entry)) {
      case EntryFault::kUnreadable:
        return Stop([&] { ShowListDamaged(window_, label + " cannot be read!"); });
      case EntryFault::kBadSize:
        return Stop([&] { ShowListDamaged(window_, label + " has a wrong size!"); });
      case EntryFault::kBadPath:
        return Refuse(number, entry, " would be written outside", "      the ICQ Folder:");
      case EntryFault::kBadName:
        return Refuse(number, entry, " has a name Windows", "      does not allow:");
      case EntryFault::kNone:
        break;
    }
    if (!only_.empty() && !EntryMatches(only_, entry.folder_part, entry.name)) return true;
    const std::uint64_t place_number = ++taken_;

    const std::string folder = window_.ICQPath + "\\" + entry.folder_part;
    const std::string target = folder + "\\" + entry.name;
    TargetFolder& known = Folder(folder);
    if (!known.listed && CannotBeEntered(known.search_code)) {
      return Stop([&] { ReportCannotOpenFolder(window_, folder); });
    }
    const std::string temp_name = TemporaryNameIn(entry.folder_part, known);
    const std::string temp = folder + "\\" + temp_name;
    // The engine cuts longer names, which would send the data to another file.
    if (target.size() > lz::kMaxNameLength || temp.size() > lz::kMaxNameLength) {
      return Refuse(number, entry, " has a path too long", "      for the ICQ Folder:");
    }
    if (!known.listed) return RefuseLink(number, entry);  // only a listed folder is judged
    if (!known.StillHeld(entry.folder_part) && !OpenFolders(number, entry, known.levels)) {
      known.levels.clear();
      return false;
    }
    const std::shared_ptr<const platform::FolderHandle> folder_held = known.Held();
    const std::string spelt = known.Spelt(entry.name);
    if (!known.NameStaysInside(spelt, icq_folder_)) return RefuseLink(number, entry);

    window_.AppendLine(app::ShortPath(target));
    const std::string compressed = CompressedFilePath(window_.BackupPath, number);
    platform::File source;
    const int open_code = entry.size == 0 ? 0 : OpenCompressed(number, compressed, source);
    if (open_code == platform::kFileNotFound || open_code == platform::kInvalidFilename) {
      return Stop([&] {
        ShowAboutBackup(window_,
                        {" Problem :", " Backup Files incomplete!", " ", " ",
                         " Note :", " Do not restore old backup files made",
                         " with the 16 bit Varn ICQ Backup!", " Use Torq Restore instead!"});
      });
    }
    if (!HasRoomFor(entry.size)) return Stop([&] { ShowUnableToRestore(window_); });
    std::int64_t decoded = 0;
    UnpackedLengths lengths{entry.size, 0};
    try {
      if (open_code != 0) platform::RaiseIoError(open_code);
      if (!known.recorded) {
        Record(window_, temp);
        known.recorded = true;
      }
      decoded = Decode(source, folder_held, temp_name, entry.size, place_number, lengths);
    } catch (const platform::EInOutError& error) {
      if (error.ErrorCode() == platform::kDiskFull) {
        ShowUnableToRestore(window_);
      } else if (error.ErrorCode() != platform::kOperationAborted) {
        app::ErrorScreen(window_, " Cannot restore : ", app::ShortPath(target) + "!",
                         " " + std::string(error.what()) + "!", " ");
      }
      throw;
    }
    const std::string upper = platform::AsciiUpper(spelt);
    const bool replaces = known.entries.count(upper) != 0 || known.made.count(upper) != 0;
    known.made.emplace(upper, spelt);
    window_.DeleteLine(kPathLine);

    const RestoredFile restored{place_number, folder_held, entry.name, temp_name, spelt, replaces};
    if (lengths.written != entry.size) {
      return Stop(
          [&] {
            ShowAboutBackup(window_, {" Problem:", " Filesize Different!"});
          },
          &restored);
    }
    // Below 0: a CRC-32 that differs or a body that does not decode.
    if (decoded < 0 || lengths.stated != lengths.written) {
      return Stop(
          [&] {
            ShowAboutBackup(window_,
                            {" Problem:", " Backup File damaged:", app::ShortPath(compressed) + "!",
                             " ", " ", " Note:", " Its data file was left unchanged;",
                             "      the files before it are restored!"});
          },
          &restored);
    }
    return Place(restored);
  }

  // False, with its report, when that failed.
  bool Finish() {
    if (Failed(placement_.Drain())) return false;
    RemoveLeftovers();
    return !Failed(placement_.FlushFolders());
  }

  // What is in flight goes in place all the same.
  void FinishAfterError() noexcept {
    try {
      if (!Failed(placement_.Drain())) Failed(placement_.FlushFolders());
    } catch (...) {
    }
  }

 private:
  // The first of icq.tmp, icq-1.tmp, ... that no entry bears and the folder did not hold.
  std::string TemporaryNameIn(const std::string& folder_part, const TargetFolder& folder) const {
    const auto listed = scan_.temporary_like.find(platform::AsciiUpper(folder_part));
    const auto taken = [&](const std::string& name) {
      const std::string upper = platform::AsciiUpper(name);
      return folder.entries.count(upper) != 0 ||
             (listed != scan_.temporary_like.end() && listed->second.count(upper) != 0);
    };
    std::string name = kTempName;
    for (int n = 1; taken(name); ++n) name = "icq-" + std::to_string(n) + ".tmp";
    return name;
  }

  // Once what is in flight is in place; if that fails, its report stands and `written` goes.
  bool Stop(const std::function<void()>& report, const RestoredFile* written = nullptr) {
    if (!Failed(placement_.Drain(written))) report();
    return false;
  }

  bool Refuse(std::uint64_t number, const ListEntry& entry, const char* problem,
              const char* second_line) {
    return Stop([&] {
      ShowAboutBackup(window_, {" Problem:", " Entry " + std::to_string(number) + problem,
                                second_line, app::ShortPath(EntryText(entry)) + "!", " ", " ",
                                " Note:", " Nothing has been written for it!"});
    });
  }

  bool RefuseLink(std::uint64_t number, const ListEntry& entry) {
    return Refuse(number, entry, " leads out of the ICQ Folder", "      through a link:");
  }

  // Level by level from the ICQ folder, a link followed only into it. Missing levels are
  // made; one that cannot be is reported and the walk goes on, so the deepest report stays.
  bool OpenFolders(std::uint64_t number, const ListEntry& entry, FolderLevels& levels) {
    levels.clear();
    if (!root_) {
      platform::FolderHandle icq;
      if (platform::FolderHandle::Open(window_.ICQPath, &icq) != 0) {
        return Stop([&] { ShowUnableToRestore(window_); });
      }
      icq.TakeNamesAsSpelt();
      root_ = std::make_shared<const platform::FolderHandle>(std::move(icq));
    }
    std::shared_ptr<const platform::FolderHandle> level = root_;
    levels.push_back(root_);
    bool go_on = true;
    std::string path = window_.ICQPath;
    for (const std::string& name : Levels(entry.folder_part)) {
      path += "\\" + name;
      platform::FolderHandle next;
      int code = level ? level->OpenFolder(name, &next, root_.get()) : platform::kInvalidFilename;
      if (code == platform::kNameIsLink) return RefuseLink(number, entry);
      if (CannotBeEntered(code)) return Stop([&] { ReportCannotOpenFolder(window_, path); });
      if (code != 0 && level) {
        // What is in flight first, so a report here stands as it would alone.
        if (Failed(placement_.Drain())) return false;
        code = level->CreateFolder(name);
        if (code == 0) placement_.Changed(level);
        // What stands there now tells: a link may have been swapped in.
        if (code == 0 || code == platform::kAlreadyExists) {
          code = level->OpenFolder(name, &next, root_.get());
          if (code == platform::kNameIsLink) return RefuseLink(number, entry);
        }
      }
      if (code != 0) {
        go_on = app::ErrorScreen(window_, " Cannot create folder: ", app::ShortPath(path) + "!",
                                 " Make sure your disk is not full!", " ");
        level = nullptr;  // nothing below it can be made
        continue;
      }
      next.TakeNamesAsSpelt();
      level = std::make_shared<const platform::FolderHandle>(std::move(next));
      levels.push_back(level);
    }
    return go_on && level;
  }

  // Counted down, and asked again when the entry would not fit (replaced files give room).
  bool HasRoomFor(std::int64_t size) {
    const auto room = static_cast<unsigned long long>(size);
    if (!free_space_ || room >= *free_space_) {
      free_space_ = FreeSpace(window_.ICQPath);
      if (!free_space_) return true;
    }
    if (room >= *free_space_) return false;
    *free_space_ -= room;
    return true;
  }

  // Through the held backup folder, else by its path.
  int OpenCompressed(std::uint64_t number, const std::string& path, platform::File& source) {
    if (backup_folder_.IsOpen() &&
        backup_folder_.OpenFile(CompressedFileName(number), &source) == 0) {
      return 0;
    }
    return platform::File::TryOpen(path, platform::OpenMode::kRead, &source);
  }

  // UnpackInto's result; an error leaves no half-decoded file behind.
  std::int64_t Decode(platform::File& source,
                      const std::shared_ptr<const platform::FolderHandle>& folder,
                      const std::string& temp_name, std::int64_t size, std::uint64_t place_number,
                      UnpackedLengths& lengths) {
    // The name held no file when the restore came: a file there now is its own.
    platform::File copy;
    int code = folder->CreateFile(temp_name, &copy);
    if (code == platform::kAlreadyExists) {
      static_cast<void>(placement_.RemoveLeftover(folder, temp_name));
      code = folder->CreateFile(temp_name, &copy);
    }
    if (code != 0) platform::RaiseIoError(code);
    if (size == 0) {
      copy.Close();
      return 0;
    }
    VerifiedDecompression verified;
    const GaugeStep gauge = placement_.EntriesInFlight() == 0
                                ? GaugeStep{GaugeAt(place_number, count_), size}
                                : GaugeStep{};
    try {
      return UnpackInto(window_, source, copy, gauge, &lengths);
    } catch (const platform::EInOutError&) {
      try {
        copy.Close();  // first: Windows deletes no open file
      } catch (const platform::EInOutError&) {
      }
      static_cast<void>(placement_.RemoveLeftover(folder, temp_name));
      throw;
    }
  }

  // The success report says the files are safe: the last is placed at once, folders flushed.
  bool Place(const RestoredFile& file) {
    const bool reaches_count = file.number >= static_cast<std::uint64_t>(count_);
    if (Failed(placement_.Place(file, reaches_count))) return false;
    if (!reaches_count) return true;
    if (!Finish()) return false;
    app::Report(window_, {" ", " Restoration Successful!", " ", " ",
                          " Note:", " Register your UIN with ICQ and your",
                          " ICQ will be up and running again!"});
    return true;
  }

  // True, after its report, when the placement failed; a file the roll-back left raises.
  bool Failed(const std::optional<PlacementFailure>& failure) {
    if (!failure) return false;
    const std::string path = app::ShortPath(failure->path) + "!";
    if (failure->code == 0) {
      app::ErrorScreen(window_, " Restored files could not be saved: ", path,
                       " Make sure your disk is not full", "      and is still connected!");
    } else if (failure->code == platform::kSharingViolation ||
               failure->code == platform::kAccessDenied) {
      // Most likely held open by ICQ, or read-only.
      app::Report(window_, {" ", " Error!", " ", " Restore unsuccessful!", " ", " ",
                            " Note :", " ICQ appears to be active!",
                            " No ICQ flower should be visible", " in the system tray..."});
    } else {
      app::ErrorScreen(window_, " Cannot replace the data file: ", path,
                       " Make sure your disk is not full", "      and is still connected!");
    }
    if (failure->undo_code != 0) RaiseNotRemoved(failure->undo_code, failure->undo_path);
    return true;
  }

  // Copies that a killed restore staged, from every folder this one wrote to.
  void RemoveLeftovers() {
    for (auto& [path, folder] : folders_) {
      if (folder.leftovers_removed) continue;
      folder.leftovers_removed = true;
      const std::shared_ptr<const platform::FolderHandle> held = folder.Held();
      if (!held) continue;  // never opened: nothing was written there
      for (const auto& [upper, name] : folder.entries) {
        if (!IsStagedName(name) || Listed(upper) || !folder.NameStaysInside(name, icq_folder_)) {
          continue;
        }
        if (int code = placement_.RemoveLeftover(held, name)) {
          RaiseNotRemoved(code, path + "\\" + name);
        }
      }
    }
  }

  // In any folder: a folder may be reached by two spellings of its path.
  bool Listed(const std::string& upper_name) const {
    return std::any_of(scan_.temporary_like.begin(), scan_.temporary_like.end(),
                       [&](const auto& folder) { return folder.second.count(upper_name) != 0; });
  }

  TargetFolder& Folder(const std::string& folder) {
    const auto [it, added] = folders_.try_emplace(folder);
    TargetFolder& found = it->second;
    if (!added) return found;
    found.path = folder;
    platform::DirectorySearch search;
    platform::SearchRec rec;
    int code = search.FindFirst(folder + "\\*.*", platform::faAnyFile, &rec);
    // A folder still to be made holds nothing; one that cannot be read is not judged.
    found.listed =
        code == 0 || code == platform::kInvalidFilename || code == platform::kNoMoreFiles;
    found.search_code = code;
    for (; code == 0; code = search.FindNext(&rec)) {
      if (rec.name != "." && rec.name != "..") {
        found.entries.emplace(platform::AsciiUpper(rec.name), rec.name);
      }
    }
    return found;
  }

  app::WindowSeam& window_;
  const std::int64_t count_;
  const platform::FolderBoundary icq_folder_;
  const ListScan scan_;
  const std::string only_;
  std::uint64_t taken_ = 0;
  Placement placement_;
  std::map<std::string, TargetFolder> folders_;         // by the folder's path as the list forms it
  std::shared_ptr<const platform::FolderHandle> root_;  // the ICQ folder
  std::optional<unsigned long long> free_space_;
  platform::FolderHandle backup_folder_;
};

}  // namespace

bool EntryMatches(const std::string& pattern, const std::string& folder_part,
                  const std::string& name) {
  std::string wanted = platform::AsciiUpper(pattern);
  std::replace(wanted.begin(), wanted.end(), '/', '\\');
  const bool whole_path = wanted.find('\\') != std::string::npos;
  const std::string path = whole_path && !folder_part.empty() ? folder_part + "\\" + name : name;
  return lz::WildcardMatch(wanted, platform::AsciiUpper(path));
}

RestoreOutcome RestoreFiles(app::WindowSeam& window, const RestoreTuning& tuning,
                            const std::string& only) {
  const std::string list_path = PathIn(window.BackupPath, kListName);
  platform::TextReader list(list_path);
  std::string header;
  list.ReadLine(header);
  const std::optional<std::int64_t> count = ListCount(header);
  std::string line;
  bool have_line = list.ReadLine(line);
  if (!count) {
    ShowListDamaged(window, " Its first line has no file count!");
    return RestoreOutcome::kFailed;
  }
  if (*count == 0 && have_line) {
    ShowListDamaged(window, " It counts 0 files but lists some!");
    return RestoreOutcome::kFailed;
  }
  ListScan scan = ScanList(list_path, only);
  const std::int64_t taken = only.empty() ? *count : scan.matching;
  if (taken == 0 && !only.empty()) {
    ShowAboutBackup(window,
                    {" Problem:", " No file in the backup matches:", app::ShortPath(only) + "!"});
    return RestoreOutcome::kFailed;
  }

  RemoveRecordedFiles(window, platform::FolderBoundary(window.ICQPath));
  Restorer restorer(window, taken, std::move(scan), tuning, only);
  std::uint64_t number = 0;
  try {
    for (ListEntry entry; have_line; have_line = list.ReadLine(line)) {
      // The backup ends every line: a last one without its end that is short of the count,
      // or no entry, is cut off.
      if (!list.LineEnded() &&
          (std::cmp_less(number + 1, *count) || ReadListEntry(line, &entry) != EntryFault::kNone)) {
        break;
      }
      if (!restorer.Entry(++number, line)) return RestoreOutcome::kFailed;
    }
    if (!restorer.Finish()) return RestoreOutcome::kFailed;
  } catch (...) {
    restorer.FinishAfterError();
    throw;
  }
  list.Close();
  static_cast<void>(platform::DeleteFile(RecordPath(window)));  // every copy is in place
  if (restorer.Taken() >= static_cast<std::uint64_t>(taken)) return RestoreOutcome::kSucceeded;
  ShowAboutBackup(window, {" Problem:", " Backup File List incomplete!",
                           " It lists " + std::to_string(number) + " of its " +
                               std::to_string(*count) + " files!",
                           " ", " ", " Note:", " The files it lists are restored;",
                           "      the others are missing from it!"});
  return RestoreOutcome::kIncomplete;
}

RestoreOutcome RestoreClick(app::WindowSeam& window, const RestoreTuning& tuning,
                            const std::string& only) {
  if (!StartIcqAction(window, " 2. use the Auto Search function!")) return RestoreOutcome::kFailed;
  const std::optional<platform::RunLocks> locks = LockActionFolders(window, /*icq_folder=*/true);
  if (!locks || !FindList(window)) return RestoreOutcome::kFailed;
  app::SavePrefs(window);
  app::AppendLines(
      window,
      {" Restoring ICQ Data Files...", " ", " This may take a few minutes...", " ", " ",
       " Note:", " 1. Try not to run other programs as", "      this will slow down the process.",
       " 2. If you are multi-tasking, Torq32 may", "      appear not to be responsing. Just",
       "      let it complete itself.", " ", " Processing File:"});
  if (!window.WarnOkCancel(kWarningCaption, kWarningText)) {
    app::Report(window, {" ", " ICQ Restoration Cancelled!"});
    return RestoreOutcome::kCancelled;
  }
  return RestoreFiles(window, tuning, only);
}

RestoreOutcome RestoreClick(app::WindowSeam& window, const std::string& only) {
  return RestoreClick(window, {}, only);
}

}  // namespace backup
