// Folder texts as the actions read them from the window.
#pragma once

#include <string>

#include "app/icq_folder.h"
#include "app/window_seam.h"
#include "platform/drives.h"

namespace backup {

// True for a folder text whose meaning depends on the current directory: a relative
// one ("Backup"), or one from the root of the current drive ("\Backup").
inline bool DependsOnCurrentDir(const std::string& folder) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (folder.empty()) return false;
  if (folder.size() >= 2 && folder[1] == ':') return false;
  return !(folder.size() >= 2 && separator(folder[0]) && separator(folder[1]));
}

// The backup folder an action uses: the text of BackupFolderList, one trailing backslash
// removed. A text that depends on the current directory (which the walks move) is first
// made a full path, and the edit box shows it: the action uses one folder throughout.
inline std::string ReadBackupFolder(app::WindowSeam& window) {
  std::string text = window.BackupFolderText();
  if (DependsOnCurrentDir(text)) {
    text = platform::ExpandFileName(text);
    window.SetBackupFolderText(text);
  }
  return app::WithoutTrailingBackslash(text);
}

// The start of every action on the backup folder: the screen cleared down to one blank
// line, the gauge at 0, window.BackupPath read.
inline void StartBackupFolderAction(app::WindowSeam& window) {
  window.ClearScreen();
  window.AppendLine(" ");
  window.SetGauge(0);
  window.BackupPath = ReadBackupFolder(window);
}

}  // namespace backup
