// Checks a backup without restoring it: the list, and every compressed file it needs,
// decoded in full to nowhere. Writes nothing; reads the list and each file once.
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
// must be one the restore would write. Every entry of size above 0 needs its icqN.lzz:
// a compressed file (method 2, 3 or 4) whose stored name is the list's name (cut to 128
// characters), whose length is the header plus its body size, and whose body decodes to
// the header's length and CRC-32, which match the list's size. Problems are told in
// list order. Never raises for a damaged or unreadable file: that is a problem found.
VerifyResult VerifyBackup(const std::string& backup_path);

// torq32-cli verify: checks the backup named by the BackupFolderList text (one trailing
// backslash removed; the settings are not saved) and leaves one screen line per problem
// and a last line with the totals, "412 files verified, 0 damaged". True when sound.
bool VerifyClick(app::WindowSeam& window);

}  // namespace backup
