// The Restore button: puts a backup (icqlist.txt and its icqN.lzz files) back into the ICQ
// folder. Each file is decoded beside its data file, checked against its CRC-32 and put in
// place by one rename once flushed, so a data file is wholly old or wholly new.
#pragma once

#include <string>

#include "app/window_seam.h"

namespace backup {

enum class RestoreOutcome {
  kSucceeded,   // every entry up to the list's count is in place
  kCancelled,   // the user cancelled the warning
  kIncomplete,  // the list ended before its count: its entries are in place
  kFailed,      // an error report
};

// Checks the folders, asks the warning and restores, stopping at the first failure with its
// report (entries already in place stay). A non-empty `only` restores the matching entries.
RestoreOutcome RestoreClick(app::WindowSeam& window, const std::string& only = "");

// "*" and "?" wildcards, case ignored, "/" taken as "\"; a pattern without a separator is
// matched against the name alone.
bool EntryMatches(const std::string& pattern, const std::string& folder_part,
                  const std::string& name);

}  // namespace backup
