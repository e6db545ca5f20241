#include "backup/action_locks.h"

#include <string>

#include "app/reports.h"

namespace backup {
namespace {

void ReportFolderInUse(app::WindowSeam& window, const std::string& folder) {
  app::ErrorScreen(window, " Folder in use : ", app::ShortPath(folder) + "!",
                   " Wait: another copy of the program is using this folder!",
                   " Try again once it has finished!");
}

}  // namespace

std::optional<platform::RunLocks> LockActionFolders(app::WindowSeam& window) {
  platform::RunLocks locks;
  for (const std::string* folder : {&window.HomeFolder, &window.BackupPath}) {
    // An empty text names no folder (the current directory would stand in for it).
    if (folder->empty()) continue;
    if (locks.Take(*folder) == platform::FolderLock::kInUse) {
      ReportFolderInUse(window, *folder);
      return std::nullopt;
    }
  }
  return locks;
}

}  // namespace backup
