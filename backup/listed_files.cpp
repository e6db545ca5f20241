#include "backup/listed_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <deque>
#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

#include "app/reports.h"
#include "backup/backup_files.h"
#include "backup/collect_files.h"
#include "backup/pack_file.h"
#include "platform/find.h"
#include "platform/folder_handle.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"

namespace backup {
namespace {

// Index of the screen line that names the file being compressed, just below
// " Processing File:".
constexpr int kFileInProgressLine = 15;

}  // namespace

void ReportDiskFull(app::WindowSeam& window) {
  app::Report(window, {" ", " Error!", " ", " Backup Unsuccessful!", " ", " ",
                       " Note:", " Make sure your disk is not full!"});
}

namespace {

// Free space is compared with the file's whole size; a path that names no drive (a
// network path) has no figure, and then the check is skipped.
// The most a compressed file can take on the disk for a source of `size` bytes: the
// header, the coder's one flag byte per eight literals, and whole blocks.
std::uint64_t MostDiskSpace(std::int64_t size) {
  constexpr std::uint64_t kBlock = 4096;
  const std::uint64_t bytes = 257 + static_cast<std::uint64_t>(size) * 9 / 8 + 16;
  return (bytes + 2 * kBlock - 1) / kBlock * kBlock;
}

// The loop that CompressListedFilesInOrder runs (listed_files.h).
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
        flusher_(flusher) {
    if (workers_.Count() > 0) {
      existing_ = StoredFileNumbers(window_.BackupPath, {extension_}, std::int64_t{1} << 62);
      // The files started ahead are made in the folder held open, with no path to look up;
      // without it none starts ahead.
      static_cast<void>(platform::FolderHandle::Open(window_.BackupPath, &folder_));
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
      } catch (const platform::EInOutError&) {
        // A stop, or a file that cannot be written (a full disk): no cut file stays.
        AbandonAtStop();
        throw;
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

 private:
  // One list line from its reading to its turn.
  struct Slot {
    std::uint64_t number = 0;
    FileLineFields fields;
    std::string source, destination;
    std::int64_t list_start = -1;  // size of the list before this line
    std::int64_t list_size = -1;   // size of the list once this line is in it
    std::exception_ptr failure;    // reading or writing this line failed
    bool started = false;          // handed to a worker
    bool made_empty = false;       // its compressed file was made empty before that
    bool begun = false;            // compressed on this thread, in its turn
    bool done = false;             // the worker's result is in
    std::int64_t bytes = 0;
    std::exception_ptr error;  // what the worker's engine raised
    platform::File written;    // the worker's compressed file, open for its flush
  };

  // Lines read ahead of the file in progress at most; a bound on memory only.
  static constexpr std::size_t kReadAhead = 256;
  // Closer than this to the free space, it is asked again: other programs write too.
  static constexpr std::uint64_t kNearlyFull = 64 << 20;

  // Reads lines and starts compressions ahead while workers are free. Without workers
  // it reads one line at a time, when the last one has had its turn.
  void Fill() {
    const bool ahead = workers_.Count() > 0;
    for (;;) {
      bool blocked = false;
      if (ahead) blocked = !StartAhead();
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
      const std::optional<FileLineFields> fields = SplitFileLine(line);
      if (!fields) throw std::runtime_error("'" + line + "' is not a valid file line");
      slot.fields = *fields;
      slot.source = window_.ICQPath + "\\" + fields->folder_part + "\\" + fields->name;
      slot.destination = CompressedFilePath(window_.BackupPath, slot.number, extension_);
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
      if (workers_.Busy() >= workers_.Capacity()) return true;
      if (std::binary_search(existing_.begin(), existing_.end(), slot.number)) return false;
      if (!RoomAhead(static_cast<std::uint64_t>(slot.fields.size) + reserved)) return false;
      // Both files are opened here and handed to the worker, which looks up no name.
      platform::File source, made;
      platform::FileFacts facts;
      if (!OpenSourceToPack(slot.source, &source, &facts)) return false;
      if (!folder_.IsOpen() ||
          folder_.CreateFile(CompressedFileName(slot.number, extension_), &made) != 0) {
        return false;
      }
      slot.made_empty = true;
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

  // Room for `need` bytes by the free space asked last, less the most that the files
  // started since then take: asked again only when that figure comes near.
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

  // The file's turn: the steps of the plain loop for one list line.
  bool Commit(Slot& slot) {
    if (slot.failure) std::rethrow_exception(slot.failure);
    original_total += slot.fields.size;
    if (slot.fields.size <= 0) return true;  // an empty file keeps its number, gets no file
    bool go_on = true;
    if (slot.started) {
      // Started ahead only with room for it: the free-space test passes.
      window_.AppendLine(app::ShortPath(slot.source));
      // The gauge moves through the file as its worker reports the bytes it has done.
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
      // A worker's count ends with its result: the rest of the file is counted here.
      if (slot.fields.size > counted) window_.CountBytes(slot.fields.size - counted);
      compressed_total += slot.bytes;
    } else {
      const std::optional<unsigned long long> free = FreeSpace(window_.BackupPath);
      if (free && static_cast<unsigned long long>(slot.fields.size) >= *free) {
        ReportDiskFull(window_);
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
    slot.written = platform::File();
    if (platform::GetFileSize(slot.destination) == 0) {
      static_cast<void>(platform::DeleteFile(slot.destination));  // best effort, as the stop
    }
    slot.made_empty = false;
  }

  void Flush(Slot& slot) {
    if (slot.written.IsOpen()) {
      flusher_.Add(std::move(slot.written));
    } else {
      flusher_.Add(slot.destination);
    }
  }

  // The backup stops at the front slot: waits for the workers, then removes what was
  // done ahead of it. Best effort: the stop itself is what the user is told.
  void TakeBackAhead() {
    while (workers_.Busy() > 0) Store(workers_.Wait([this] { window_.Refresh(); }));
    const Slot& stopped = slots_.front();
    for (Slot& slot : slots_) {
      if (&slot != &stopped && slot.started) {
        slot.written = platform::File();  // closed first: Windows deletes no open file
        static_cast<void>(platform::DeleteFile(slot.destination));
      }
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
    for (Slot& slot : slots_) {
      if (slot.started || slot.made_empty || slot.begun) {
        slot.written = platform::File();
        static_cast<void>(platform::DeleteFile(slot.destination));
      }
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
  const char* const extension_;
  PackWorkers& workers_;
  platform::BackgroundFlush& flusher_;
  std::vector<std::uint64_t> existing_;  // the destinations in the folder before the backup
  platform::FolderHandle folder_;        // the backup folder, while files start ahead
  std::deque<Slot> slots_;
  std::uint64_t next_number_ = 1;
  bool free_asked_ = false;
  std::optional<unsigned long long> free_;
  std::uint64_t started_since_asked_ = 0;
  bool input_done_ = false;
};

}  // namespace

bool CompressListedFilesInOrder(app::WindowSeam& window, platform::TextReader& pending,
                                ListWriter& list, std::uint32_t total, const char* extension,
                                PackWorkers& workers, platform::BackgroundFlush& flusher,
                                ListedFilesMade& made) {
  ListedFiles files(window, pending, list, total, extension, workers, flusher);
  const bool go_on = files.Run();
  made = {files.original_total, files.compressed_total};
  return go_on;
}

}  // namespace backup
