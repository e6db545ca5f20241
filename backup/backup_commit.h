// A backup over an earlier one is written beside it under names of its own and put in the
// earlier one's place only once it is whole and on the disk: whatever stops or kills it,
// the folder holds the earlier backup or the new one, never neither.
//
//   icqlist.new  the new list, as the backup writes it
//   icqN.new     the new backup's compressed file N, to become icqN.lzz
//   icqlist.del  the earlier backup's files that go once the new one is in place
//   icqlist.put  the new list once it, every icqN.new and icqlist.del are flushed: its
//                appearance, one rename of icqlist.new, is the commit
//
// FinishStagedBackup rolls back a folder with icqlist.new or icqlist.del but no
// icqlist.put (icqN.new, icqlist.del, icqlist.new deleted), and rolls forward one with
// icqlist.put (the earlier icqlist.txt deleted, each icqN.new renamed over icqN.lzz, the
// files icqlist.del names deleted, the folder flushed, icqlist.put renamed to icqlist.txt,
// the folder flushed, icqlist.del deleted). Each step can be taken again, so a roll cut
// short is finished by the next. The calls rely on the run lock.
#pragma once

#include <string>
#include <vector>

namespace backup {

// Every action on a backup folder calls it before it reads or writes there; when it
// answers, the folder is clean. Raises EInOutError when a step fails; the folder is then in
// a state the next call takes up again.
void FinishStagedBackup(const std::string& backup_path);

// One backup written beside the earlier one: the caller writes the list at ListPath() and
// file N as CompressedFilePath(backup_path, N, kStagedExtension), flushes them, and then
// calls Commit and PutInPlace.
class StagedBackup {
 public:
  // earlier_files: the earlier backup's files that go once the new one is in place (its
  // list apart, which always goes).
  StagedBackup(std::string backup_path, std::vector<std::string> earlier_files);
  // Unless committed, deletes everything staged: the earlier backup stays whole.
  ~StagedBackup();
  StagedBackup(const StagedBackup&) = delete;
  StagedBackup& operator=(const StagedBackup&) = delete;

  std::string ListPath() const;  // icqlist.new

  // First checks that every file the roll forward deletes or replaces can go; false when
  // one refuses (read-only, held, a write-protected disk), everything staged then deleted.
  // True: committed, and durable. Raises EInOutError when its own writes fail.
  bool Commit();
  // Rolls the committed backup forward: 0, or the code of the step that failed (the
  // folder stays committed, for the next action to finish).
  [[nodiscard]] int PutInPlace();

 private:
  std::string backup_path_;
  std::vector<std::string> earlier_files_;
  bool committed_ = false;
};

}  // namespace backup
