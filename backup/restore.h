// The Restore button: puts a backup (icqlist.txt and its icqN.lzz files) back into the
// ICQ folder, entry by entry, through the temporary file icq.tmp in each target folder.
//
// Beyond the original: every decompressed file is checked against the CRC-32 in its
// header before it replaces anything; entries that would write outside the ICQ folder
// are refused, and every file is made, renamed and flushed through its folder held open
// (platform/folder_handle.h), each folder opened from the ICQ folder without following a
// link out of it, so that a folder swapped for a link meanwhile gets nothing written
// through it; the data file is replaced by one rename of the flushed temporary file, so
// it is never missing; the folders are flushed before the success report. Copies that
// an earlier restore staged and never put in place (it was killed) are deleted from the
// folders this one writes to before it reports success (backup/placement.h), and the
// temporary files it recorded (icqtemp.lst in the home folder) before it starts; a
// user's file named like one (icq.tmp, icq12.tmp) is left alone. A read-only data file
// is replaced like any other. A disk that fills up while a copy is written is told with
// the free-space report, and the copy removed.
#pragma once

#include <string>

#include "app/window_seam.h"

namespace backup {

enum class RestoreOutcome {
  kSucceeded,   // every entry up to the list's count is in place (the success report)
  kCancelled,   // the user cancelled the warning
  kIncomplete,  // the list ended before its count: its entries are in place, and a report
  kFailed,      // an error report
};

// RestoreClick: reads ICQPath and BackupPath from the window's selectors (one trailing
// backslash removed), checks for icq.exe and icqlist.txt, saves them with SavePrefs,
// writes the notes, asks the OK/Cancel warning and, on OK, runs RestoreFiles. Errors of
// the list file, of pref.cfg and of the engine (EInOutError, EQuarnLZError) pass through
// and end the restore; entries already in place stay in place.
//
// A non-empty `only` restores the matching entries alone (torq32-cli restore --only),
// with every check of the full restore; the others are left as they are. See
// EntryMatches for the pattern.
//
// On OK the restore stops at the first failure with its report. A list whose header has
// no count, or a count of 0 with entries after it, is refused before anything is written
// (the gauge could not be worked out from it); so is an `only` that no entry matches. One
// that ends before its count is reported after its last entry. A copy it staged that a
// failure cannot delete or turn back into the temporary file raises EInOutError naming
// it, after the failure's report; so does an earlier restore's copy that cannot be
// deleted, in place of the success report.
RestoreOutcome RestoreClick(app::WindowSeam& window, const std::string& only = "");

// Whether an entry's path (folder part "\" name, as the list holds it) matches the
// pattern: "*" and "?" wildcards, letter case ignored, "/" taken as "\". A pattern
// without a separator is matched against the name alone.
bool EntryMatches(const std::string& pattern, const std::string& folder_part,
                  const std::string& name);

}  // namespace backup
