// The Backup button: collects the ICQ data files named in back.dat into icqlist.tmp, then
// compresses file N of the list into icqN.lzz beside the list icqlist.txt in the backup folder.
#pragma once

#include "app/window_seam.h"

namespace backup {

enum class BackupOutcome {
  kSucceeded,  // every file and the list are on disk
  kCancelled,  // the user refused to overwrite the earlier backup
  kFailed,     // an error report
};

// Backs up ICQPath into BackupPath, flushed before the success report. Errors are told on the
// screen and pass through; an earlier backup stays whole until the new one replaces it.
BackupOutcome BackupClick(app::WindowSeam& window);

}  // namespace backup
