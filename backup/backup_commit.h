// A backup over an earlier one is written beside it (icqlist.new, icqN.new) and committed by
// one rename of its list to icqlist.put, once it and icqlist.del (the earlier files that go)
// are on the disk; the roll forward then puts it in place. Every step can be taken again, so
// a killed backup leaves the earlier backup or the new one, never neither.
#pragma once

#include <string>
#include <vector>

namespace backup {

// Before an action uses a backup folder (under its run lock): rolls a staged backup back, or
// forward once committed. Raises EInOutError when a step fails.
void FinishStagedBackup(const std::string& backup_path);

// The caller writes the list at ListPath() and file N as icqN.new, then calls Commit.
class StagedBackup {
 public:
  // earlier_files: the earlier backup's compressed files that go once the new one is in place.
  StagedBackup(std::string backup_path, std::vector<std::string> earlier_files);
  ~StagedBackup();  // unless committed, deletes everything staged
  StagedBackup(const StagedBackup&) = delete;
  StagedBackup& operator=(const StagedBackup&) = delete;

  std::string ListPath() const;

  // True once committed and in place. False when a file that the roll forward replaces or
  // deletes refuses to go (everything staged deleted), or the roll forward failed (the next
  // action finishes it). Raises EInOutError when its own writes fail.
  bool Commit();

 private:
  std::string backup_path_;
  std::vector<std::string> earlier_files_;
  bool committed_ = false;
};

}  // namespace backup
