// The window's start-up sequence (FormCreate), on the window seam.
#pragma once

#include <optional>
#include <string>

#include "app/window_seam.h"

namespace app {

// The programs keep pref.cfg and back.dat in the folder they start in, which must lie on
// a drive. Answers the report for a start folder on no drive, naming the folder and the
// drives; nullopt when a drive holds it. The programs stop on it before FormCreate.
std::optional<std::string> StartFolderRefusal();

// Runs the start-up in its order: HomeFolder := the current directory; pref.cfg gives
// ICQPath and BackupPath; back.dat gives SupportedVersions; the screen is cleared and
// the banner written; each selector is pointed at its saved folder when that still
// exists (BackupPath "none" shows the backup list's folder in the edit box instead).
//
// An EInOutError from pref.cfg or back.dat passes through before the screen is
// touched: the caller shows its message and opens the window as it stands, without
// the banner and with the selectors where they started.
void FormCreate(WindowSeam& window);

}  // namespace app
