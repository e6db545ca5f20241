// Puts a restore's verified files in place of their data files, each by one rename once it
// is on the disk, while the restore goes on decoding the next ones. Normally a file is
// renamed aside to its staged name, torq32-N.tmp (N the entry's number), flushed on a
// worker thread, and replaces its data file in entry order once on the disk; up to
// kEntriesInFlight wait so.
//
// Without a failure, the entries placed so far have replaced their data files and every
// other data file is as it was. On a failure, the entries before the failing one are in
// place and the others as they were: its copy is back under its temporary name (deleted
// when the data file refused to be replaced), the staged copies after it and `discard` are
// deleted. Killed at any moment, every data file is wholly old or wholly new; staged copies
// may be left for the next restore to delete (IsStagedName, RemoveLeftover).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/background_flush.h"
#include "platform/folder_handle.h"

namespace backup {

// Staged files waiting for their flush at most; a bound on what a crash can leave.
inline constexpr std::size_t kEntriesInFlight = 64;

// One entry's verified copy and the data file it replaces, both in a folder held open:
// every step acts on that folder, wherever its path leads meanwhile.
struct RestoredFile {
  std::uint64_t number = 0;  // the entry's ordinal in the list
  std::shared_ptr<const platform::FolderHandle> folder;
  std::string name;
  std::string temp;      // the temporary file that holds the copy
  std::string on_disk;   // the data file's name as the folder spells it
  bool replaces = true;  // false: the folder had no entry of that name
  std::string Target() const { return folder->Path() + "\\" + name; }
};

// Why a placement stopped the restore.
struct PlacementFailure {
  // 0: a file or a folder could not be flushed; else the code the rename over the data
  // file was refused with.
  int code = 0;
  std::string path;  // the data file, or the folder that could not be flushed
  // The code of the roll-back's first delete or rename that failed, and its file.
  int undo_code = 0;
  std::string undo_path;
};

// True for a name Place stages a file under: "torq32-", an entry number, ".tmp".
bool IsStagedName(const std::string& name);

class Placement {
 public:
  using Placed = std::function<void(std::uint64_t number)>;  // each entry once in place
  using Waiting = std::function<void()>;  // before a wait for a flush (the window repaints)

  Placement(bool flush_in_background, platform::BackgroundFlush::StandIn flush_stand_in,
            Placed placed, Waiting waiting);
  ~Placement();  // what is still in flight stays staged, as after a crash
  Placement(const Placement&) = delete;
  Placement& operator=(const Placement&) = delete;

  // Hands the file over; with `at_once`, or without background flush, it is in place when
  // the call answers.
  [[nodiscard]] std::optional<PlacementFailure> Place(const RestoredFile& file, bool at_once);
  // Puts every entry in flight in place; on a failure `discard`'s temporary file goes too.
  [[nodiscard]] std::optional<PlacementFailure> Drain(const RestoredFile* discard = nullptr);
  std::size_t EntriesInFlight() const { return in_flight_.size(); }
  // A folder whose entries the caller changed (it made a folder there).
  void Changed(const std::shared_ptr<const platform::FolderHandle>& folder);
  // Makes durable the entries of every folder placed into, changed or removed from since.
  [[nodiscard]] std::optional<PlacementFailure> FlushFolders();
  // Deletes a file of the restore's own (a staged copy or temporary file an earlier restore
  // left), read-only or not; 0 once it is gone, else the code of the refusal.
  [[nodiscard]] int RemoveLeftover(const std::shared_ptr<const platform::FolderHandle>& folder,
                                   const std::string& name);

 private:
  struct InFlight {
    RestoredFile file;
    std::string staged;  // where the verified copy waits for its flush
    std::future<int> synced;
  };

  std::optional<PlacementFailure> PlaceNow(const RestoredFile& file);
  std::optional<PlacementFailure> CompleteOldest(const RestoredFile* discard);
  void RollBack(const InFlight& failed, const RestoredFile* discard, PlacementFailure& failure);
  void Done(const RestoredFile& file);

  Placed placed_;
  Waiting waiting_;
  std::unique_ptr<platform::BackgroundFlush> background_;
  std::deque<InFlight> in_flight_;
  // Upper-cased full path -> the folder.
  std::map<std::string, std::shared_ptr<const platform::FolderHandle>> unflushed_;
};

}  // namespace backup
