// A backup over an earlier one is written beside it under names of its own and put in
// the earlier one's place only once it is whole and on the disk: whatever stops or kills
// it, the folder holds the earlier backup or the new one, never neither.
//
// The names, in the backup folder beside the earlier icqlist.txt, icqN.lzz and icqN.lz:
//   icqlist.new  the new list, as the backup writes it
//   icqN.new     the new backup's compressed file N, to become icqN.lzz
//   icqlist.del  the earlier backup's files that go once the new one is in place, one
//                name a line
//   icqlist.put  the new list once it, every icqN.new and icqlist.del are complete and
//                flushed: its appearance, one rename of icqlist.new, is the commit
//
// The states of a folder, and what FinishStagedBackup makes of each:
//   clean      none of these names: nothing to do.
//   staged     icqlist.new or icqlist.del, maybe icqN.new files, no icqlist.put: a backup
//              that had not committed; the earlier backup is untouched. Rolled back: the
//              icqN.new files, then icqlist.del, then icqlist.new are deleted.
//   committed  icqlist.put. Rolled forward: the earlier icqlist.txt is deleted (while
//              icqlist.put exists an icqlist.txt is always the earlier list), each icqN.new
//              is renamed over icqN.lzz, the files icqlist.del names are deleted, the
//              folder flushed, icqlist.put renamed to icqlist.txt, the folder flushed,
//              icqlist.del deleted. Each step can be taken again, so a roll forward cut
//              short is finished by the next one, and the result is the same.
// A program that knows nothing of these names finds, at every moment, the earlier list
// with its files, no list, or the new list with its files.
//
// The calls rely on the run lock: no other run changes the folder meanwhile.
#pragma once

#include <string>
#include <vector>

namespace backup {

// Finishes or undoes what a backup left in the folder, as above; every action on a
// backup folder calls it before it reads or writes there. An empty path, a missing
// folder and a clean one cost a few look-ups. When it answers the folder is clean. Raises
// EInOutError when a step fails (a read-only file, a write-protected disk); the folder is
// then in one of the states above, for the next call to take up again.
void FinishStagedBackup(const std::string& backup_path);

// One backup written beside the earlier one. The caller writes the list at ListPath()
// and file N as CompressedFilePath(backup_path, N, kStagedExtension), flushes them, and
// then calls Commit and PutInPlace.
class StagedBackup {
 public:
  // For a folder that FinishStagedBackup has left clean, holding an earlier backup.
  // earlier_files: the names of the earlier backup's files that go once the new one is in
  // place (its list apart, which always goes).
  StagedBackup(std::string backup_path, std::vector<std::string> earlier_files);
  // Unless committed, deletes everything staged (best effort, as after a kill the next
  // run would): the earlier backup stays whole.
  ~StagedBackup();
  StagedBackup(const StagedBackup&) = delete;
  StagedBackup& operator=(const StagedBackup&) = delete;

  std::string ListPath() const;  // icqlist.new

  // Takes the staged state to the committed one, for a list and files flushed and closed.
  // First checks that every file the placement deletes or replaces can go: the earlier
  // list, the earlier files and each icqN.lzz that an icqN.new replaces (an earlier
  // file that a new one replaces is not deleted after it). False when one refuses
  // (read-only, held, a write-protected disk): everything staged is then deleted and the
  // earlier backup is whole. True: committed, and durable. Raises EInOutError when its own
  // writes fail; before the commit the destructor then rolls back, after it (a folder
  // flush that failed) the next run rolls forward.
  bool Commit();
  // Rolls the committed backup forward: when it answers 0, the folder holds exactly the
  // new backup and what the earlier one does not own. Else the code of the step that
  // failed; the folder stays committed, for the next action to finish.
  [[nodiscard]] int PutInPlace();

 private:
  std::string backup_path_;
  std::vector<std::string> earlier_files_;
  bool committed_ = false;
};

}  // namespace backup
