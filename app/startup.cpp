#include "app/startup.h"

#include "app/plugin.h"
#include "app/reports.h"
#include "app/settings.h"
#include "platform/drives.h"

namespace app {

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
