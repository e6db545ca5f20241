// What a folder list shows, for both windows.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace app {

struct FolderLine {
  std::string text;   // what the line shows: "C:\" for the root, else one folder's name
  std::string path;   // the Windows path text the line stands for
  int level = 0;      // depth below the drive root
  bool open = false;  // on the path to the current folder (an open folder's picture)
};

struct FolderLines {
  std::vector<FolderLine> lines;
  std::size_t current = 0;  // the line of the current folder
};

// The lines of a list standing at `folder` ("C:\ICQ", or "C:\"): the root, each folder
// down to it, then its sub-folders not hidden and with names Windows allows, in the
// search's order.
FolderLines ReadFolderLines(const std::string& folder);

// The drive letter of a folder, upper case; 0 for an empty text.
char DriveOf(const std::string& folder);
}  // namespace app
