#include "backup/action_locks.h"

#include <string>

#include "app/reports.h"
#include "backup/backup_commit.h"

namespace backup {

bool LockFolder(app::WindowSeam& window, platform::RunLocks& locks, const std::string& folder) {
  // An empty text names no folder (the current directory would stand in for it).
  if (folder.empty() || locks.Take(folder) != platform::FolderLock::kInUse) return true;
  return app::ErrorScreen(window, " Folder in use : ", app::ShortPath(folder) + "!",
                          " Wait: another copy of the program is using this folder!",
                          " Try again once it has finished!");
}

std::optional<platform::RunLocks> LockActionFolders(app::WindowSeam& window, bool icq_folder) {
  platform::RunLocks locks;
  if (!LockFolder(window, locks, window.HomeFolder) ||
      !LockFolder(window, locks, window.BackupPath) ||
      (icq_folder && !LockFolder(window, locks, window.ICQPath))) {
    return std::nullopt;
  }
  FinishStagedBackup(window.BackupPath);
  return locks;
}

}  // namespace backup
