// The settings file pref.cfg in the home folder: the ICQ folder's line, then the backup
// folder's, each a path or "none" (compared case-sensitively).
#pragma once

#include <string>

#include "app/window_seam.h"

namespace app {

inline constexpr char kNoFolder[] = "none";

// True when the path names an existing folder.
bool PathIsFolder(const std::string& path) noexcept;

// Fills window.ICQPath and window.BackupPath from HomeFolder's pref.cfg: "none" without
// the file, empty text for a missing line. Raises EInOutError.
void ReadPrefs(WindowSeam& window);

// Writes ICQPath and BackupPath to HomeFolder's pref.cfg. Raises EInOutError.
void SavePrefs(const WindowSeam& window);

}  // namespace app
