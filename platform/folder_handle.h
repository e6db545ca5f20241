// Folders held open, for a run that must write into one folder tree and nowhere else: a
// path looked up anew can be sent elsewhere by a folder swapped for a link meanwhile, a
// held folder's calls act on its own entries and never follow a link at the name given.
// Names are one component, looked up exactly, else ignoring letter case. Answers are 0 or
// a code as in files.h; each call counts as the files.h operation it stands for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/files.h"

namespace platform {

// The entry is a link (a reparse point on Windows) that the call will not follow.
inline constexpr int kNameIsLink = 1920;  // ERROR_CANT_ACCESS_FILE

class FolderHandle {
 public:
  FolderHandle() = default;
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  ~FolderHandle();

  // The folder at a path, links on the way followed: the top of the tree, which the
  // caller trusts. 3 when it is missing or no folder, 5 when it may not be entered (or a
  // test holds it). One open operation.
  [[nodiscard]] static int Open(const std::string& path, FolderHandle* out);

  bool IsOpen() const { return handle_ >= 0; }
  // The folder's Windows path: as opened, then "\" and each sub-folder's name as asked.
  const std::string& Path() const { return path_; }

  // The sub-folder `name`, opened through this one. A link there answers kNameIsLink,
  // unless `within` is given and the folder the link leads to lies in that one (judged on
  // the folder opened, so a link swapped in meanwhile cannot lead out). 2 when the entry
  // is missing, 3 when it is no folder, 5 when it may not be entered. One open operation.
  [[nodiscard]] int OpenFolder(const std::string& name, FolderHandle* out,
                               const FolderHandle* within = nullptr) const;
  // Makes the sub-folder `name`: 183 when an entry of that name exists. One CreateFolder.
  [[nodiscard]] int CreateFolder(const std::string& name) const;

  // A new file `name` for reading and writing: 183 when an entry of that name exists, a
  // link too (a dangling one as well). One create operation.
  [[nodiscard]] int CreateFile(const std::string& name, File* out) const;
  // The existing plain file `name` for reading (on Windows with write access too where the
  // file allows it, for FlushFileBuffers): kNameIsLink for a link, 5 for anything
  // but a plain file, 2 when missing, 32 when held. One open operation.
  [[nodiscard]] int OpenFile(const std::string& name, File* out) const;

  // Attributes of the entry itself, as GetAttributes gives them (a link is a system
  // entry); nullopt when there is none. Not counted.
  std::optional<std::uint32_t> Attributes(const std::string& name) const;
  // As SetAttributes, on a plain file only (kNameIsLink for a link).
  [[nodiscard]] int SetAttributes(const std::string& name, std::uint32_t attributes) const;
  // As DeleteFile; a link is deleted itself, never what it leads to.
  [[nodiscard]] int DeleteFile(const std::string& name) const;
  // As RenameFile, from one entry of this folder to another; a link at `to` is replaced
  // itself, never what it leads to.
  [[nodiscard]] int Rename(const std::string& from, const std::string& to,
                           bool replace_existing) const;
  // As FlushFolder: makes the folder's entries durable.
  [[nodiscard]] int Flush() const;

  // From now on file names are taken as the disk spells them, not looked up in other
  // letter cases: for a caller that keeps its own listing. Sub-folders are still looked up.
  void TakeNamesAsSpelt() { names_as_spelt_ = true; }

  // True when the folder is still where it was opened, no link on the way, as the system
  // tells in one call (POSIX); false where it cannot tell (then ask Holds level by level).
  bool StillAtItsPath() const;

  // True when both hold the same folder, however it was reached.
  bool SameFolder(const FolderHandle& other) const;
  // True when the entry `name`, spelt as on the disk, is now the sub-folder `sub` itself
  // (no link to it), which the layer does not hold: `sub` as OpenFolder would open it
  // again, with no folder opened for the answer on POSIX. Not counted.
  bool Holds(const std::string& name, const FolderHandle& sub) const;

 private:
  friend class BackgroundFlush;
  std::intptr_t handle_ = -1;
  std::string path_;       // Windows path text
  std::string host_path_;  // where it was opened: for the layer's holds and kept listings
  // Device and inode on POSIX, taken at the open for the questions asked once per entry.
  std::pair<std::uint64_t, std::uint64_t> identity_;
  bool names_as_spelt_ = false;
};

}  // namespace platform
