// The Restore button: puts a backup (icqlist.txt and its icqN.lzz files) back into the ICQ
// folder, entry by entry. Each file is decoded into a temporary file in its target folder,
// checked against the CRC-32 in its header and put in place by one rename once flushed
// (backup/placement.h), so a data file is wholly old or wholly new. Every file is made
// through its folder held open, each folder opened from the ICQ folder without following a
// link out of it; entries that would write outside the ICQ folder are refused.
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

// Reads ICQPath and BackupPath from the selectors, checks for icq.exe and icqlist.txt,
// saves them, writes the notes, asks the OK/Cancel warning and, on OK, restores. The
// restore stops at the first failure with its report; entries already in place stay.
// Errors of the list, of pref.cfg and of the engine pass through; so does a copy that a
// failure cannot delete, raised as EInOutError naming it after the report.
// A non-empty `only` restores the entries that match it alone (EntryMatches).
RestoreOutcome RestoreClick(app::WindowSeam& window, const std::string& only = "");

// Whether an entry's path (folder part "\" name) matches the pattern: "*" and "?"
// wildcards, letter case ignored, "/" taken as "\". A pattern without a separator is
// matched against the name alone.
bool EntryMatches(const std::string& pattern, const std::string& folder_part,
                  const std::string& name);

}  // namespace backup
