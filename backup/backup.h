// The Backup button: checks the two folders, collects the ICQ data files named in
// back.dat into icqlist.tmp, then compresses file N of the list into icqN.lzz in the
// backup folder beside the list icqlist.txt, and reports on the message screen.
#pragma once

#include "app/window_seam.h"

namespace backup {

// How a backup ended, for callers that need more than the message screen
// (torq32-cli's exit status).
enum class BackupOutcome {
  kSucceeded,  // the success report: every file and the list are on disk
  kCancelled,  // the user refused to overwrite the earlier backup
  kFailed,     // an error report
};

// BackupClick: reads ICQPath and BackupPath from the window's selectors (one trailing
// backslash removed), checks them, saves them with SavePrefs, collects the data files
// and backs them up. Errors of a checked file operation (EInOutError) and of the
// engine pass through and end the backup; icqlist.tmp is then left behind. An
// EInOutError other than a stop is told on the screen first: the free-space report for a
// full disk, else the backup folder and the cause; a first backup it ends leaves no list.
// A back.dat entry that leads out of the ICQ folder is refused before anything is done.
//
// The backup asks before replacing an earlier backup, writes icqlist.txt and the icqN.lzz
// files, flushes them to disk and writes the report. Over an earlier backup the new one
// is written beside it and takes its place once whole and on the disk (backup_commit.h):
// a backup that stops, fails or is killed leaves the earlier one whole and, by the next
// action on the folder, nothing of its own.
BackupOutcome BackupClick(app::WindowSeam& window);

}  // namespace backup
