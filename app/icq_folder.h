// What marks a folder as the ICQ folder, and how an action reads a folder text.
#pragma once

#include <string>

namespace app {

inline constexpr char kProgramName[] = "icq.exe";  // the ICQ folder is the one holding it

// A folder text with one trailing backslash removed ("C:\Backup\" reads as "C:\Backup").
inline std::string WithoutTrailingBackslash(std::string folder) {
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

}  // namespace app
