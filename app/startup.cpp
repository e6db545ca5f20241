#include "app/startup.h"

#include "app/plugin.h"
#include "app/reports.h"
#include "app/settings.h"
#include "platform/drives.h"

namespace app {

std::optional<std::string> StartFolderRefusal() {
  const std::optional<std::string> folder = platform::StartFolderOnNoDrive();
  if (!folder) return std::nullopt;
  std::string drives;
  for (const platform::DriveMapping& drive : platform::Drives()) {
    drives += (drives.empty() ? "" : ", ") + std::string(1, drive.letter) + ": " + drive.host_root;
  }
  return "The folder " + *folder + " is on no drive (" +
         (drives.empty() ? std::string("there are none") : drives) +
         "). Start the program in a folder on one of the drives: it keeps its settings there.";
}

void FormCreate(WindowSeam& window) {
  window.HomeFolder = platform::GetCurrentDir();
  ReadPrefs(window);
  ReadPlugin(window);  // by bare name: no selector has moved yet

  window.ClearScreen();
  Banner(window);

  if (window.ICQPath != kNoFolder && PathIsFolder(window.ICQPath)) {
    window.MoveICQFolder(window.ICQPath);
  }
  if (window.BackupPath == kNoFolder) {
    window.SetBackupFolderText(window.BackupFolder());
  } else if (PathIsFolder(window.BackupPath)) {
    window.MoveBackupFolder(window.BackupPath);
  }
  // A saved backup folder that is gone leaves the edit box at its initial text.
}

}  // namespace app
