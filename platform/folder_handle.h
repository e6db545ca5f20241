// Folders held open, for a run that must write into one folder tree and nowhere else: a
// held folder's calls act on its own entries, never through a folder swapped for a link
// meanwhile nor a link at the name. Names are one component, looked up exactly, else
// ignoring letter case. Answers as in files.h; each call counts as the operation it is.
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

  // The trusted top of the tree, links on the way followed: 3 when it is missing or no
  // folder, 5 when it may not be entered (or a test holds it).
  [[nodiscard]] static int Open(const std::string& path, FolderHandle* out);

  bool IsOpen() const { return handle_ >= 0; }
  // The folder's Windows path: as opened, then "\" and each sub-folder's name as asked.
  const std::string& Path() const { return path_; }

  // A link there answers kNameIsLink, unless the folder it leads to lies in `within`
  // (judged on the folder opened: a link swapped in meanwhile cannot lead out). 2 when
  // missing, 3 when no folder, 5 when it may not be entered.
  [[nodiscard]] int OpenFolder(const std::string& name, FolderHandle* out,
                               const FolderHandle* within = nullptr) const;
  // 183 when an entry of that name exists.
  [[nodiscard]] int CreateFolder(const std::string& name) const;

  // A new file for reading and writing: 183 when any entry, a dangling link too, has the name.
  [[nodiscard]] int CreateFile(const std::string& name, File* out) const;
  // A plain file for reading (on Windows writing too where allowed, for FlushFileBuffers):
  // kNameIsLink for a link, 5 for anything but a plain file, 2 when missing, 32 when held.
  [[nodiscard]] int OpenFile(const std::string& name, File* out) const;

  // Of the entry itself (a link is a system entry); nullopt when none. Not counted.
  std::optional<std::uint32_t> Attributes(const std::string& name) const;
  // As SetAttributes, on a plain file only (kNameIsLink for a link).
  [[nodiscard]] int SetAttributes(const std::string& name, std::uint32_t attributes) const;
  // As DeleteFile; a link is deleted itself, never what it leads to.
  [[nodiscard]] int DeleteFile(const std::string& name) const;
  // As RenameFile within this folder; a link at `to` is replaced itself.
  [[nodiscard]] int Rename(const std::string& from, const std::string& to,
                           bool replace_existing) const;
  [[nodiscard]] int Flush() const;  // as FlushFolder

  // File names are from now on taken as spelt on the disk, for a caller that keeps its own
  // listing; sub-folders are still looked up.
  void TakeNamesAsSpelt() { names_as_spelt_ = true; }

  // True when the folder is still where it was opened, no link on the way, told in one
  // call (POSIX); false where it cannot tell (then ask Holds level by level).
  bool StillAtItsPath() const;

  // True when both hold the same folder, however it was reached.
  bool SameFolder(const FolderHandle& other) const;
  // True when the entry `name`, spelt as on the disk, is now the sub-folder `sub` itself,
  // not a link to it (no folder opened for the answer on POSIX). Not counted.
  bool Holds(const std::string& name, const FolderHandle& sub) const;

 private:
  friend class BackgroundFlush;
  // Make *out of a handle just opened; answer 0.
  static int Hold(std::intptr_t handle, std::string path, std::string host_path,
                  std::pair<std::uint64_t, std::uint64_t> identity, FolderHandle* out);
  int Adopt(std::intptr_t handle, const std::string& name, File* out) const;  // a file of it
  std::intptr_t handle_ = -1;
  std::string path_;       // Windows path text
  std::string host_path_;  // where it was opened
  // Device and inode on POSIX, taken at the open.
  std::pair<std::uint64_t, std::uint64_t> identity_;
  bool names_as_spelt_ = false;
};

}  // namespace platform
