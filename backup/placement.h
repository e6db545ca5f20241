// Puts a restore's verified files in place of their data files, each by one rename once on
// the disk: staged as torq32-N.tmp and flushed on a worker thread while the restore decodes
// the next ones, then renamed in entry order. On a failure, the entries before the failing
// one are in place and the others as they were. Killed, every data file is wholly old or
// wholly new; the next restore deletes the staged copies left.
#pragma once

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

// "torq32-", an entry number, ".tmp".
bool IsStagedName(const std::string& name);

class Placement {
 public:
  using Placed = std::function<void(std::uint64_t number)>;
  using Waiting = std::function<void()>;  // before a wait for a flush

  Placement(bool flush_in_background, platform::BackgroundFlush::StandIn flush_stand_in,
            Placed placed, Waiting waiting);
  ~Placement();  // what is still in flight stays staged, as after a crash
  Placement(const Placement&) = delete;
  Placement& operator=(const Placement&) = delete;

  // With `at_once`, or without background flush, the file is in place when this answers.
  [[nodiscard]] std::optional<PlacementFailure> Place(const RestoredFile& file, bool at_once);
  // Every entry in flight in place; on a failure `discard`'s temporary file goes too.
  [[nodiscard]] std::optional<PlacementFailure> Drain(const RestoredFile* discard = nullptr);
  std::size_t EntriesInFlight() const { return in_flight_.size(); }
  // A folder whose entries the caller changed, for FlushFolders.
  void Changed(const std::shared_ptr<const platform::FolderHandle>& folder);
  [[nodiscard]] std::optional<PlacementFailure> FlushFolders();
  // Deletes a file an earlier restore left, read-only or not; 0, or the refusal's code.
  [[nodiscard]] int RemoveLeftover(const std::shared_ptr<const platform::FolderHandle>& folder,
                                   const std::string& name);

 private:
  struct InFlight {
    RestoredFile file;
    std::string staged;
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
  std::map<std::string, std::shared_ptr<const platform::FolderHandle>> unflushed_;
};

}  // namespace backup
