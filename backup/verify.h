// Checks a backup without restoring it: the list, and every compressed file it needs,
// decoded in full to nowhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/window_seam.h"

namespace backup {

struct VerifyResult {
  std::vector<std::string> problems;  // one line per problem, naming the file and the fault
  std::uint64_t files = 0;            // entries of the list
  std::uint64_t damaged = 0;          // entries with at least one problem
  bool Sound() const { return problems.empty(); }
};

// The list must be readable, its header's count must match its entries, and every entry
// must be one the restore would write. Every entry of size above 0 needs its icqN.lzz,
// whose body decodes to its header's length and CRC-32, which match the list's size; the
// other header fields explain a damage. Problems are told in list order; a damaged or
// unreadable file is a problem found, never an error raised.
VerifyResult VerifyBackup(const std::string& backup_path);

// torq32-cli verify: checks the backup of the BackupFolderList text (the settings are not
// saved): one screen line per problem and a last line with the totals, "412 files
// verified, 0 damaged". True when sound.
bool VerifyClick(app::WindowSeam& window);

}  // namespace backup
