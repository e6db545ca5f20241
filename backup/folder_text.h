// Folder texts as the actions read them from the window.
#pragma once

#include <string>

#include "app/icq_folder.h"
#include "app/window_seam.h"
#include "platform/drives.h"

namespace backup {

// The backup folder text, one trailing backslash removed. One relative to the current
// directory (which the walks move) is made a full path first, shown in the edit box.
inline std::string ReadBackupFolder(app::WindowSeam& window) {
  std::string text = window.BackupFolderText();
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (!text.empty() && !(text.size() >= 2 && text[1] == ':') &&
      !(text.size() >= 2 && separator(text[0]) && separator(text[1]))) {
    text = platform::ExpandFileName(text);
    window.SetBackupFolderText(text);
  }
  return app::WithoutTrailingBackslash(text);
}

// The start of every action on the backup folder.
inline void StartBackupFolderAction(app::WindowSeam& window) {
  window.ClearScreen();
  window.AppendLine(" ");
  window.SetGauge(0);
  window.BackupPath = ReadBackupFolder(window);
}

}  // namespace backup
