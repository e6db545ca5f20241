// Folder texts as the actions read them from the window.
#pragma once

#include <string>

namespace backup {

// A folder text with one trailing backslash removed, if it has one ("C:\Backup\" reads
// as "C:\Backup"; "" stays "").
inline std::string WithoutTrailingBackslash(std::string folder) {
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

}  // namespace backup
