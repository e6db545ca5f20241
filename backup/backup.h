// The Backup button: collects the ICQ data files named in back.dat into icqlist.tmp, then
// compresses file N of the list into icqN.lzz in the backup folder beside the list
// icqlist.txt, and reports on the message screen.
#pragma once

#include "app/window_seam.h"

namespace backup {

// How a backup ended, for callers that need more than the message screen.
enum class BackupOutcome {
  kSucceeded,  // the success report: every file and the list are on disk
  kCancelled,  // the user refused to overwrite the earlier backup
  kFailed,     // an error report
};

// Reads ICQPath and BackupPath from the selectors, checks them, saves them, collects the
// data files and backs them up, flushed to disk before the report. A back.dat entry that
// leads out of the ICQ folder is refused first. Input/output and engine errors pass through
// and end the backup (told on the screen first, but for a stop). Over an earlier backup the
// new one takes its place once whole and on the disk (backup_commit.h): one that stops,
// fails or is killed leaves the earlier one whole.
BackupOutcome BackupClick(app::WindowSeam& window);

}  // namespace backup
