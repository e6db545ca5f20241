// Checks a backup without restoring it: every compressed file is decoded to nowhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/window_seam.h"

namespace backup {

struct VerifyResult {
  std::vector<std::string> problems;  // one line each, naming the file and the fault
  std::uint64_t files = 0;
  std::uint64_t damaged = 0;  // entries with at least one problem
  bool Sound() const { return problems.empty(); }
};

// The list's count must match its entries, each one the restore would write; every entry of
// size above 0 needs its icqN.lzz, decoding to its header's length and CRC-32 and the list's
// size. Problems are told in list order; a damaged or unreadable file raises nothing.
VerifyResult VerifyBackup(const std::string& backup_path);

// torq32-cli verify: one screen line per problem, then "412 files verified, 0 damaged".
bool VerifyClick(app::WindowSeam& window);

}  // namespace backup
