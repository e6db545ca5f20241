// What marks a folder as the ICQ folder, and how an action reads a folder text from the
// window: one home for both, for the actions and AutoSearch alike.
#pragma once

#include <string>

namespace app {

inline constexpr char kProgramName[] = "icq.exe";  // the ICQ folder is the one holding it

// A folder text with one trailing backslash removed, if it has one ("C:\Backup\" reads
// as "C:\Backup"; "" stays "").
inline std::string WithoutTrailingBackslash(std::string folder) {
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

}  // namespace app
