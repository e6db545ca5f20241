#include "backup/placement.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>
#include <utility>

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/io_error.h"

namespace backup {
namespace {

// The program's own form, like its lock file: no user's file is taken for a staged copy.
constexpr std::string_view kStagedPrefix = "torq32-";
constexpr std::string_view kStagedSuffix = ".tmp";

// One flush of many files costs the disk about what one of a single file costs.
constexpr std::size_t kFlushBatch = 16;
constexpr std::chrono::milliseconds kFlushGathering{50};
// Staged files waiting for their flush at most; a bound on what a crash can leave.
constexpr std::size_t kEntriesInFlight = 64;

PlacementFailure Failure(const std::string& path, int code = 0) {
  PlacementFailure failure;
  failure.code = code;
  failure.path = path;
  return failure;
}

std::string StagedName(std::uint64_t number) {
  return std::string(kStagedPrefix) + std::to_string(number) + std::string(kStagedSuffix);
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

// A read-only data file is replaced like any other: its attribute is lifted for a second try
// and put back when that is refused too.
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

}  // namespace

bool IsStagedName(const std::string& name) {
  if (name.size() <= kStagedPrefix.size() + kStagedSuffix.size() ||
      !name.starts_with(kStagedPrefix) || !name.ends_with(kStagedSuffix) ||
      name[kStagedPrefix.size()] == '0') {
    return false;
  }
  return std::all_of(name.begin() + kStagedPrefix.size(), name.end() - kStagedSuffix.size(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

Placement::Placement(bool flush_in_background, platform::BackgroundFlush::StandIn flush_stand_in,
                     Placed placed, Waiting waiting)
    : placed_(std::move(placed)), waiting_(std::move(waiting)) {
  if (flush_in_background) {
    background_ = std::make_unique<platform::BackgroundFlush>(std::move(flush_stand_in),
                                                              kFlushGathering, kFlushBatch);
  }
}

Placement::~Placement() = default;

std::optional<PlacementFailure> Placement::Place(const RestoredFile& file, bool at_once) {
  // A data file named like a staged copy goes in place at once: later, it would replace it.
  if (background_ && !at_once && !IsStagedName(platform::AsciiLower(file.name))) {
    const std::string staged = StagedName(file.number);
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

std::optional<PlacementFailure> Placement::PlaceNow(const RestoredFile& file) {
  waiting_();
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

std::optional<PlacementFailure> Placement::CompleteOldest(const RestoredFile* discard) {
  InFlight entry = std::move(in_flight_.front());
  in_flight_.pop_front();
  if (entry.synced.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    background_->Hurry();
    waiting_();
  }
  PlacementFailure failure = Failure(entry.file.Target());
  if (entry.synced.get() == 0) {
    failure.code =
        ReplaceDataFile(*entry.file.folder, entry.staged, entry.file.on_disk, entry.file.replaces);
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
void Placement::RollBack(const InFlight& failed, const RestoredFile* discard,
                         PlacementFailure& failure) {
  if (!in_flight_.empty()) background_->Hurry();
  for (InFlight& later : in_flight_) {
    later.synced.wait();
    NoteUndo(failure, RemoveFile(*later.file.folder, later.staged), *later.file.folder,
             later.staged);
  }
  in_flight_.clear();
  if (discard) {
    NoteUndo(failure, RemoveFile(*discard->folder, discard->temp), *discard->folder, discard->temp);
  }
  const platform::FolderHandle& folder = *failed.file.folder;
  NoteUndo(failure,
           failure.code != 0 ? RemoveFile(folder, failed.staged)
                             : folder.Rename(failed.staged, failed.file.temp, true),
           folder, failed.staged);
}

std::optional<PlacementFailure> Placement::Drain(const RestoredFile* discard) {
  while (!in_flight_.empty()) {
    if (std::optional<PlacementFailure> failure = CompleteOldest(discard)) return failure;
  }
  return std::nullopt;
}

void Placement::Done(const RestoredFile& file) {
  Changed(file.folder);
  placed_(file.number);
}

void Placement::Changed(const std::shared_ptr<const platform::FolderHandle>& folder) {
  // Flushed once, however the list spells it.
  unflushed_.emplace(platform::AsciiUpper(platform::ExpandFileName(folder->Path())), folder);
}

std::optional<PlacementFailure> Placement::FlushFolders() {
  while (!unflushed_.empty()) {
    const std::shared_ptr<const platform::FolderHandle> folder = unflushed_.begin()->second;
    unflushed_.erase(unflushed_.begin());
    if (folder->Flush() != 0) return Failure(folder->Path());
  }
  return std::nullopt;
}

int Placement::RemoveLeftover(const std::shared_ptr<const platform::FolderHandle>& folder,
                              const std::string& name) {
  const int code = RemoveFile(*folder, name);
  if (code == 0) Changed(folder);
  return code;
}

}  // namespace backup
