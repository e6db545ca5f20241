// Puts a restore's verified files in place of their data files, each by one rename once it
// is on the disk, while the restore goes on decoding the next ones.
//
// Place takes an entry's verified temporary file. Normally the file is renamed aside to its
// staged name, torq32-N.tmp (N the entry's number) in its folder, and flushed on a worker
// thread; up to kEntriesInFlight staged files wait, and each replaces its data file, in
// entry order, once it is on the disk. A read-only data file is replaced like any other. Otherwise it is flushed and renamed over its data
// file at once, after every entry handed over before it.
//
// What is on the disk when a call answers:
// - No failure: the entries placed so far have replaced their data files; those in flight
//   wait as staged files; every other data file is as it was. After Drain nothing is in
//   flight; after FlushFolders the folders' entries are durable too.
// - A failure (PlacementFailure): the entries before the failing one are in place; its data
//   file and those of every entry after it are as they were. Its verified copy is back
//   under its temporary name (deleted when the data file refused to be replaced), the
//   staged copies after it and the caller's `discard` are
//   deleted: what a restore that stopped at the failing entry leaves. Where that roll-back
//   could not delete or rename a file, the failure names the first such file (undo_code).
// - The process killed at any moment: every data file is wholly old or wholly new; staged
//   copies may be left, for the next restore to delete (IsStagedName, RemoveLeftover).
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
// every step of the placement acts on that folder, wherever its path leads meanwhile.
struct RestoredFile {
  std::uint64_t number = 0;  // the entry's ordinal in the list
  std::shared_ptr<const platform::FolderHandle> folder;
  std::string name;
  std::string temp;  // the name of the temporary file that holds the copy
  std::string on_disk;  // the data file's name as the folder spells it (the folder takes names as spelt)
  bool replaces = true;  // false: the folder had no entry of that name
  std::string Target() const { return folder->Path() + "\\" + name; }
};

// Why a placement stopped the restore.
struct PlacementFailure {
  enum class Kind {
    kNotSaved,     // a file or a folder could not be flushed
    kNotReplaced,  // the rename over the data file was refused with `code`
  };
  Kind kind = Kind::kNotSaved;
  int code = 0;
  std::string path;  // the data file, or the folder that could not be flushed
  // 0, or the code of the roll-back's first delete or rename that failed, and its file.
  int undo_code = 0;
  std::string undo_path;
};

// True for a name Place stages a file under: "torq32-", an entry number, ".tmp"
// ("torq32-12.tmp"), a form no data file of ICQ's has.
bool IsStagedName(const std::string& name);

class Placement {
 public:
  // Told the number of each entry once it is in place, in entry order.
  using Placed = std::function<void(std::uint64_t number)>;
  // Called before the placement waits for a flush (the window repaints meanwhile).
  using Waiting = std::function<void()>;

  // Without background flushing every file is placed at once. The stand-in answers for
  // the worker's flushes (tests).
  Placement(bool flush_in_background, platform::BackgroundFlush::StandIn flush_stand_in,
            Placed placed, Waiting waiting);
  ~Placement();  // what is still in flight stays staged, as after a crash
  Placement(const Placement&) = delete;
  Placement& operator=(const Placement&) = delete;

  // Hands the file over; with `at_once`, and for names like the restore's own files, it
  // is in place before the call answers.
  [[nodiscard]] std::optional<PlacementFailure> Place(const RestoredFile& file, bool at_once);
  // Puts every entry in flight in place. When one fails, the temporary file of `discard`
  // (an entry the caller has written since) is deleted with the copies after it.
  [[nodiscard]] std::optional<PlacementFailure> Drain(const RestoredFile* discard = nullptr);
  // Entries handed over and not yet in place.
  std::size_t EntriesInFlight() const { return in_flight_.size(); }
  // A folder whose entries the caller changed (it made a folder there).
  void Changed(const std::shared_ptr<const platform::FolderHandle>& folder);
  // Makes durable the entries of every folder placed into, changed or removed from since.
  [[nodiscard]] std::optional<PlacementFailure> FlushFolders();
  // Deletes a file of the restore's own from the folder (a copy an earlier restore staged
  // and never put in place, a temporary file it left), read-only or not; 0 once it is
  // gone, else the code of the refusal.
  [[nodiscard]] int RemoveLeftover(const std::shared_ptr<const platform::FolderHandle>& folder,
                                   const std::string& name);

 private:
  struct InFlight {
    RestoredFile file;
    std::string staged;  // where the verified copy waits for its flush
    std::future<int> synced;
  };

  std::optional<PlacementFailure> PlaceNow(const RestoredFile& file);
  std::future<int> Flushed(const RestoredFile& file, const std::string& staged);
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
