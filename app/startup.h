// The window's start-up sequence (FormCreate), on the window seam.
#pragma once

#include "app/window_seam.h"

namespace app {

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
