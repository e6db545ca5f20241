#include "backup/placement.h"

#include <cctype>
#include <chrono>
#include <utility>

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/io_error.h"

namespace backup {
namespace {

// Names of the form icq.tmp or icqN.tmp, which the restore itself uses in a folder.
bool IsTemporaryName(const std::string& name) {
  const std::string upper = platform::AsciiUpper(name);
  if (upper.size() < 7 || !upper.starts_with("ICQ") || !upper.ends_with(".TMP")) return false;
  for (std::size_t i = 3; i + 4 < upper.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(upper[i]))) return false;
  }
  return true;
}

PlacementFailure NotSaved(const std::string& path) {
  PlacementFailure failure;
  failure.path = path;
  return failure;
}

PlacementFailure NotReplaced(int code, const std::string& path) {
  PlacementFailure failure;
  failure.kind = PlacementFailure::Kind::kNotReplaced;
  failure.code = code;
  failure.path = path;
  return failure;
}

std::string StagedName(std::uint64_t number) { return "icq" + std::to_string(number) + ".tmp"; }

// 0 once the file is gone. A restored copy carries its data file's attributes, and a
// read-only one refuses to be deleted until that is cleared.
int RemoveFile(const platform::FolderHandle& folder, const std::string& name) {
  const std::optional<std::uint32_t> attributes = folder.Attributes(name);
  if (!attributes) return 0;
  if (*attributes & platform::faReadOnly) {
    if (int code = folder.SetAttributes(name, *attributes & ~platform::faReadOnly)) return code;
  }
  const int code = folder.DeleteFile(name);
  return code == platform::kFileNotFound ? 0 : code;
}

std::string PathIn(const platform::FolderHandle& folder, const std::string& name) {
  return folder.Path() + "\\" + name;
}

std::future<int> Answered(int code) {
  std::promise<int> answer;
  answer.set_value(code);
  return answer.get_future();
}

// The roll-back goes on past a file it cannot delete or rename; the first one is told.
void NoteUndo(PlacementFailure& failure, int code, const std::string& path) {
  if (code == 0 || failure.undo_code != 0) return;
  failure.undo_code = code;
  failure.undo_path = path;
}

}  // namespace

bool IsStagedName(const std::string& name) {
  constexpr std::size_t kPrefix = 3, kSuffix = 4;  // "icq", ".tmp"
  if (name.size() <= kPrefix + kSuffix || !name.starts_with("icq") || !name.ends_with(".tmp")) {
    return false;
  }
  if (name[kPrefix] == '0') return false;  // numbers have no leading zeros
  for (std::size_t i = kPrefix; i + kSuffix < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

Placement::Placement(bool flush_in_background, platform::BackgroundFlush::StandIn flush_stand_in,
                     Placed placed, Waiting waiting)
    : placed_(std::move(placed)), waiting_(std::move(waiting)) {
  if (flush_in_background) {
    background_ = std::make_unique<platform::BackgroundFlush>(std::move(flush_stand_in));
  }
}

Placement::~Placement() = default;

// Entries named like the restore's own files go in place at once, after everything in
// flight: a data file icq7.tmp put in place would replace entry 7's staged copy.
std::optional<PlacementFailure> Placement::Place(const RestoredFile& file, bool at_once) {
  if (background_ && !at_once && !IsTemporaryName(file.name)) {
    const std::string staged = StagedName(file.number);
    const int code = file.folder->Rename(file.temp, staged, false);
    if (code == 0) {
      in_flight_.push_back({file, staged, Flushed(file, staged)});
      if (in_flight_.size() <= kEntriesInFlight) return std::nullopt;
      return CompleteOldest(nullptr);
    }
    if (code != platform::kAlreadyExists) {
      if (std::optional<PlacementFailure> failure = Drain(&file)) return failure;
      return NotReplaced(code, file.Target());
    }
  }
  if (std::optional<PlacementFailure> failure = Drain(&file)) return failure;
  return PlaceNow(file);
}

// The staged copy goes to the worker open, so that its flush cannot meet another file.
std::future<int> Placement::Flushed(const RestoredFile& file, const std::string& staged) {
  platform::File copy;
  if (int code = file.folder->OpenFile(staged, &copy)) return Answered(code);
  return background_->Submit(std::move(copy));
}

std::optional<PlacementFailure> Placement::PlaceNow(const RestoredFile& file) {
  waiting_();
  try {
    platform::File copy;
    if (file.folder->OpenFile(file.temp, &copy) != 0) return NotSaved(file.Target());
    copy.Flush();
    copy.Close();
  } catch (const platform::EInOutError&) {
    return NotSaved(file.Target());
  }
  if (int code = file.folder->Rename(file.temp, file.name, true)) {
    return NotReplaced(code, file.Target());
  }
  Done(file);
  return std::nullopt;
}

std::optional<PlacementFailure> Placement::CompleteOldest(const RestoredFile* discard) {
  InFlight entry = std::move(in_flight_.front());
  in_flight_.pop_front();
  if (entry.synced.wait_for(std::chrono::seconds(0)) != std::future_status::ready) waiting_();
  PlacementFailure failure;
  if (entry.synced.get() != 0) {
    failure = NotSaved(entry.file.Target());
  } else if (int code = entry.file.folder->Rename(entry.staged, entry.file.name, true)) {
    failure = NotReplaced(code, entry.file.Target());
  } else {
    Done(entry.file);
    return std::nullopt;
  }
  RollBack(entry, discard, failure);
  return failure;
}

// The entries after the failed one are dropped (their data files stay as they were),
// `discard` is deleted, and the failed entry's copy goes back to its temporary name.
void Placement::RollBack(const InFlight& failed, const RestoredFile* discard,
                         PlacementFailure& failure) {
  for (InFlight& later : in_flight_) {
    later.synced.wait();
    const platform::FolderHandle& folder = *later.file.folder;
    NoteUndo(failure, RemoveFile(folder, later.staged), PathIn(folder, later.staged));
  }
  in_flight_.clear();
  if (discard) {
    const platform::FolderHandle& folder = *discard->folder;
    NoteUndo(failure, RemoveFile(folder, discard->temp), PathIn(folder, discard->temp));
  }
  const platform::FolderHandle& folder = *failed.file.folder;
  NoteUndo(failure, folder.Rename(failed.staged, failed.file.temp, true),
           PathIn(folder, failed.staged));
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
    if (folder->Flush() != 0) return NotSaved(folder->Path());
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
