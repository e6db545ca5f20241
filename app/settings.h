// The settings file pref.cfg in the home folder: two CR LF lines, the ICQ-folder
// setting and the backup-folder setting, each a folder path without a trailing
// backslash or the word "none".
#pragma once

#include <string>

#include "app/window_seam.h"

namespace app {

// The setting that means "no folder chosen"; compared exactly, case-sensitively.
inline constexpr char kNoFolder[] = "none";

// True when the path names an existing folder. False for a file, a missing path or an
// empty text. Never raises.
bool PathIsFolder(const std::string& path) noexcept;

// Fills window.ICQPath and window.BackupPath from HomeFolder + "\pref.cfg"; both become
// "none" when the file does not exist, a missing line reads as empty text. Raises
// EInOutError when the file exists but cannot be opened, read or closed.
void ReadPrefs(WindowSeam& window);

// Creates or replaces HomeFolder + "\pref.cfg" with ICQPath and BackupPath as they stand.
// Raises EInOutError when it cannot be written.
void SavePrefs(const WindowSeam& window);

}  // namespace app
